#include "display/kv_status.h"

#include <algorithm>

namespace korvex::display {

namespace {

constexpr std::size_t kMaxText = 255;

std::string CutAtColon(const std::string& text) {
  return text.substr(0, text.find(':'));
}

}  // namespace

void TKVStatus::KVinit(int columns, int rows) {
  columns_ = std::clamp(columns, 1, 255);
  rows_ = std::clamp(rows, 1, 256);
  KVclear();
}

void TKVStatus::KVclear() {
  statusText_.clear();
  lines_.assign(static_cast<std::size_t>(rows_), Line{});
  currentLine_ = 0;
  shadedFrom_.reset();
  Changed();
}

void TKVStatus::WriteLine(const std::string& text, bool newLine, bool append) {
  statusText_.clear();
  if (newLine) {
    ++lineSerial_;
    if (currentLine_ < rows_) {
      ++currentLine_;
    } else {
      std::rotate(lines_.begin(), lines_.begin() + 1, lines_.end());
    }
  }
  if (currentLine_ == 0) return;  // a rewrite before any line has nowhere to go
  std::string full = append ? lastText_ + text : text;
  if (full.size() > kMaxText) full.resize(kMaxText);
  lastText_ = full;

  Line& line = lines_[static_cast<std::size_t>(currentLine_ - 1)];
  line.text = full;
  if (line.text.size() < static_cast<std::size_t>(columns_)) {
    line.text.append(static_cast<std::size_t>(columns_) - line.text.size(), ' ');
  }
  line.text.resize(static_cast<std::size_t>(columns_));
  line.attributes.fill(kAttrPlain);
  lastProgress_ = -100;
  shadedFrom_.reset();
  SetTitle(caption_ + " - " + full);
  Changed();
}

void TKVStatus::KVstatus(const std::string& text, int width, std::uint8_t attribute) {
  if (currentLine_ == 0) return;
  statusText_ = text;
  const std::size_t columns = static_cast<std::size_t>(columns_);
  std::string s = text.substr(0, columns);
  while (s.size() < columns && static_cast<int>(s.size()) < width) s.insert(0, 1, ' ');
  while (s.rfind("  ", 0) != 0 && s.size() < columns) s.insert(0, 1, ' ');

  Line& line = lines_[static_cast<std::size_t>(currentLine_ - 1)];
  line.text = line.text.substr(0, columns - s.size()) + s;
  std::fill(line.attributes.begin() + static_cast<std::ptrdiff_t>(columns - s.size()),
            line.attributes.begin() + static_cast<std::ptrdiff_t>(columns), attribute);
  shadedFrom_.reset();
  SetTitle(caption_);
  Changed();
}

void TKVStatus::KVprogress(std::int32_t position, std::int32_t maximum, std::int32_t step) {
  if (currentLine_ == 0) return;
  std::int64_t percentage =
      maximum != 0 ? static_cast<std::int64_t>(position) * 100 / maximum : position;
  percentage = std::clamp<std::int64_t>(percentage, 0, 100);
  if (percentage - lastProgress_ < step) return;
  lastProgress_ = static_cast<int>(percentage);
  const std::string t = std::to_string(percentage) + "%";
  statusText_ = t;

  Line& line = lines_[static_cast<std::size_t>(currentLine_ - 1)];
  const std::size_t keep = static_cast<std::size_t>(columns_) - t.size();
  line.text = line.text.substr(0, keep) + t;
  shadedFrom_ = lastProgress_;
  SetTitle(caption_ + " - " + t + " - " + line.text.substr(0, keep));
  Changed();
}

std::vector<std::string> TKVStatus::Lines() const {
  std::vector<std::string> out;
  for (int i = 0; i < currentLine_; ++i) {
    std::string text = lines_[static_cast<std::size_t>(i)].text;
    text.erase(text.find_last_not_of(' ') + 1);
    out.push_back(std::move(text));
  }
  return out;
}

void TKVStatus::SetTitle(const std::string& text) {
  title_ = CutAtColon(text);
  if (listener_) listener_->SetApplicationTitle(title_);
}

void TKVStatus::Changed() {
  if (listener_) listener_->StatusPanelChanged(*this);
}

}  // namespace korvex::display
