#include "support/status_recorder.h"

#include <string>

#include "display/kv_status.h"

namespace korvex::testing {

namespace {

std::string Trimmed(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

}  // namespace

void RecordingOperator::StatusPanelChanged(const display::TKVStatus& panel) {
  if (panel.CurrentLine() == 0) return;
  const std::string text = Trimmed(panel.LineAt(panel.CurrentLine()).text);
  if (panel.LineSerial() != lastSerial_ || lines.empty()) {
    lastSerial_ = panel.LineSerial();
    lines.push_back({text, {}, {}, text});
  } else if (panel.ShadedFromPercent()) {
    lines.back().progress.push_back(*panel.ShadedFromPercent());
  } else {
    const auto& attributes = panel.LineAt(panel.CurrentLine()).attributes;
    lines.back().statuses.push_back(
        {panel.StatusText(), attributes[static_cast<std::size_t>(panel.Columns() - 1)]});
  }
  lines.back().text = text;
  if (onStatusChange) onStatusChange(lines.back());
}

void RecordingOperator::ShowWaitDialog(bool visible) {
  ScriptedOperator::ShowWaitDialog(visible);
  waitDialogAt.emplace_back(visible, clock_ ? clock_->NowMs() : 0);
}

const RecordedLine* RecordingOperator::Line(const std::string& caption) const {
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (it->caption == caption) return &*it;
  }
  return nullptr;
}

std::vector<std::string> RecordingOperator::Captions() const {
  std::vector<std::string> captions;
  for (const RecordedLine& line : lines) captions.push_back(line.caption);
  return captions;
}

}  // namespace korvex::testing
