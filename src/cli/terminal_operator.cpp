#include "cli/terminal_operator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "cli/terminal.h"

namespace korvex::cli {

namespace {

constexpr const char* kRed = "\033[1;31m";
constexpr const char* kGreen = "\033[1;32m";
constexpr const char* kBold = "\033[1m";
constexpr const char* kReset = "\033[0m";
constexpr const char* kClearLine = "\r\033[K";
constexpr int kBarWidth = 24;
// Continuation lines of a message are indented under its text.
constexpr const char* kContinuationIndent = "    ";

std::string TrimmedRight(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

const char* ColourOf(std::uint8_t attribute) {
  switch (attribute) {
    case display::kAttrBoldRed:
      return kRed;
    case display::kAttrBoldGreen:
      return kGreen;
    case display::kAttrBold:
      return kBold;
    default:
      return nullptr;
  }
}

const char* LabelOf(shell::MessageKind kind) {
  switch (kind) {
    case shell::MessageKind::kError:
      return "ERROR";
    case shell::MessageKind::kInformation:
      return "INFO";
    case shell::MessageKind::kWarning:
      return "WARNING";
    case shell::MessageKind::kConfirmation:
      break;
  }
  return "QUESTION";
}

// A message box text on printed lines: carriage returns and line feeds both break the
// line, an empty row stays empty, and every row after the first is indented.
std::string MessageLines(const std::string& text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;  // CR LF is one break
      result += '\n';
      if (i + 1 < text.size() && text[i + 1] != '\r' && text[i + 1] != '\n')
        result += kContinuationIndent;
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace

OutputStyle StyleFor(std::FILE* out) {
  OutputStyle style;
  const TerminalTraits terminal = PrepareTerminal(out);
  // Without escape sequences the line in progress cannot be redrawn: plain lines, as piped.
  if (!terminal.isTerminal || !terminal.takesEscapes) return style;
  style.live = true;
  const char* term = std::getenv("TERM");
  const char* noColour = std::getenv("NO_COLOR");
  style.colour = (term == nullptr || std::strcmp(term, "dumb") != 0) &&
                 (noColour == nullptr || noColour[0] == '\0');
  style.width = terminal.width;
  return style;
}

bool AnswerFor(const std::string& question) {
  return !EndsWith(question, kCancelQuestionEnd);
}

TerminalOperator::TerminalOperator(std::FILE* out, OutputStyle style) : out_(out), style_(style) {}

void TerminalOperator::Write(const std::string& text) {
  std::fputs(text.c_str(), out_);
  std::fflush(out_);
}

void TerminalOperator::ProcessMessages() {
  if (pollStop_ && pollStop_() && !stopAsked_) {
    stopAsked_ = true;
    FlushPending();
    ClearLive();
    Write("Stop requested.\n");
  }
  if (stopAsked_ && onStop_) onStop_();
  if (waitShown_ && style_.live) {
    // The wait line counts whole seconds: redraw when the count moves on.
    const auto now = SteadyClock::now();
    if (now - lastWaitDraw_ >= std::chrono::seconds(1)) {
      lastWaitDraw_ += std::chrono::seconds(1);
      DrawLive();
    }
  }
}

bool TerminalOperator::ShowMessageBox(const std::string& text, shell::MessageKind kind,
                                      bool okOnly) {
  FlushPending();
  ClearLive();
  const bool answer = !okOnly && AnswerFor(text);
  std::string line = std::string(LabelOf(kind)) + ": " + MessageLines(text);
  if (!okOnly) line += std::string(" -> ") + (answer ? "Yes" : "No");
  Write(line + "\n");
  DrawLive();
  return answer;
}

std::optional<std::string> TerminalOperator::ChooseFirmwareFile(const std::string&) {
  if (!fileAnswer_) PrintLine("No firmware file given.");
  return fileAnswer_;
}

std::optional<shell::PortChoice> TerminalOperator::ChoosePort(shell::PortDialogState&,
                                                              const shell::PortRescan&) {
  if (!portAnswer_) {
    PrintLine("No port given.");
    return std::nullopt;
  }
  // The faster rates are allowed, as in the unattended run.
  return shell::PortChoice{*portAnswer_, true};
}

void TerminalOperator::ShowDescription(const std::string& text) {
  if (text.empty()) return;
  PrintLine("Firmware: " + text);
}

void TerminalOperator::ShowWaitDialog(bool visible) {
  waitShown_ = visible;
  waitStart_ = lastWaitDraw_ = SteadyClock::now();
  DrawLive();
}

void TerminalOperator::StatusPanelChanged(const display::TKVStatus& panel) {
  if (panel.CurrentLine() == 0) {  // cleared: what was in progress is complete
    Finish();
    return;
  }
  if (pendingValid_ && panel.LineSerial() != pendingSerial_) Finish();
  pendingValid_ = true;
  pendingSerial_ = panel.LineSerial();
  pending_ = panel.LineAt(panel.CurrentLine());
  pendingPercent_ = panel.ShadedFromPercent();
  DrawLive();
}

void TerminalOperator::Finish() {
  if (!pendingValid_) return;
  ClearLive();
  if (TrimmedRight(pending_.text) != printedText_ || printedText_.empty())
    PrintPanelLine(pending_.text, pending_.attributes.data());
  pendingValid_ = false;
  pendingPercent_.reset();
  printedText_.clear();
}

void TerminalOperator::FlushPending() {
  if (!pendingValid_) return;
  const std::string shown = TrimmedRight(pending_.text);
  if (shown.empty() || shown == printedText_) return;
  ClearLive();
  PrintPanelLine(pending_.text, pending_.attributes.data());
  printedText_ = shown;
}

void TerminalOperator::PrintLine(const std::string& text) {
  FlushPending();
  ClearLive();
  Write(text + "\n");
  DrawLive();
}

void TerminalOperator::PrintPanelLine(const std::string& text, const std::uint8_t* attributes) {
  const std::string shown = TrimmedRight(text);
  std::string line;
  const char* current = nullptr;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const char* colour = style_.colour ? ColourOf(attributes[i]) : nullptr;
    if (colour != current) {
      line += colour != nullptr ? colour : kReset;
      current = colour;
    }
    line += shown[i];
  }
  if (current != nullptr) line += kReset;
  Write(line + "\n");
}

void TerminalOperator::DrawLive() {
  if (!style_.live) return;
  std::string shown = pendingValid_ ? TrimmedRight(pending_.text) : std::string();
  if (shown == printedText_ && !waitShown_) shown.clear();
  if (pendingPercent_) {
    // The percentage at the line's end becomes a bar followed by the percentage.
    const std::string tail = std::to_string(*pendingPercent_) + "%";
    if (EndsWith(shown, tail)) shown = TrimmedRight(shown.substr(0, shown.size() - tail.size()));
    const int filled = *pendingPercent_ * kBarWidth / 100;
    shown += " [" + std::string(static_cast<std::size_t>(filled), '#') +
             std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " + tail;
  }
  if (waitShown_) {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - waitStart_).count();
    shown +=
        (shown.empty() ? "" : "   ") + std::string("Wait... ") + std::to_string(seconds) + " s";
  }
  if (shown.empty()) {
    ClearLive();
    return;
  }
  if (style_.width > 1 && shown.size() >= static_cast<std::size_t>(style_.width))
    shown.resize(static_cast<std::size_t>(style_.width - 1));
  Write(kClearLine + shown);
  liveShown_ = true;
}

void TerminalOperator::ClearLive() {
  if (!liveShown_) return;
  Write(kClearLine);
  liveShown_ = false;
}

}  // namespace korvex::cli
