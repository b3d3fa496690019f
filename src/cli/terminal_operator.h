// The operator of the terminal front end. It prints the status panel's lines as they
// complete: on a terminal the line in progress is drawn live (with a progress bar) and
// verdicts are coloured, when piped every line is printed once as plain text. Message boxes
// become printed lines; a Yes/No question takes the answer that lets the operation go on
// (Yes, except No to the ST pass-through's "Cancel operation ?"). The file and port dialogs
// are answered from the command line. A stop source (Ctrl+C) is taken as the Stop button.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "display/kv_status.h"
#include "shell/operator.h"

namespace korvex::cli {

// How the output is drawn.
struct OutputStyle {
  bool live = false;    // redraw the line in progress in place (a terminal)
  bool colour = false;  // colour the verdicts (a terminal that takes colours)
  int width = 0;        // columns of the terminal; 0 unknown (live lines are then not cut)
};

// The style for a stream: live and coloured on a terminal (no colour for TERM=dumb or when
// NO_COLOR is set), plain otherwise.
OutputStyle StyleFor(std::FILE* out);

// The question the ST pass-through asks after a wrong answer; Yes would stop the run.
inline constexpr const char* kCancelQuestionEnd = "Cancel operation ?";

// The answer a Yes/No question takes in the terminal: the one that lets the operation go on.
bool AnswerFor(const std::string& question);

class TerminalOperator : public shell::Operator {
 public:
  TerminalOperator(std::FILE* out, OutputStyle style);
  TerminalOperator(const TerminalOperator&) = delete;
  TerminalOperator& operator=(const TerminalOperator&) = delete;

  // Polled at every message-processing point; true when the person asked to stop.
  void SetStopSource(std::function<bool()> poll) { pollStop_ = std::move(poll); }
  // Called at every message-processing point once a stop was asked (operations clear the
  // stop flag when they begin, so a stop asked early must be asked again).
  void SetStopHandler(std::function<void()> onStop) { onStop_ = std::move(onStop); }
  bool StopAsked() const { return stopAsked_; }

  // Installs a stop handler for the life of one operation and removes it however the
  // operation ends.
  class StopHandlerScope {
   public:
    StopHandlerScope(TerminalOperator& op, std::function<void()> onStop) : op_(op) {
      op_.SetStopHandler(std::move(onStop));
    }
    ~StopHandlerScope() { op_.SetStopHandler({}); }
    StopHandlerScope(const StopHandlerScope&) = delete;
    StopHandlerScope& operator=(const StopHandlerScope&) = delete;

   private:
    TerminalOperator& op_;
  };

  // What the file dialog and the port dialog answer; nullopt cancels them.
  void SetFileAnswer(std::optional<std::string> file) { fileAnswer_ = std::move(file); }
  void SetPortAnswer(std::optional<std::string> port) { portAnswer_ = std::move(port); }

  // Prints the line still in progress; call when the operation is over.
  void Finish();
  // Prints a line of the front end's own (after the line in progress, if any).
  void PrintLine(const std::string& text);

  bool ShowMessageBox(const std::string& text, shell::MessageKind kind, bool okOnly) override;
  void ShowNotice(const std::string& text) override;
  void ProcessMessages() override;
  std::optional<std::string> ChooseFirmwareFile(const std::string& presetName) override;
  void ShowDescription(const std::string& text) override;
  void StatusPanelChanged(const display::TKVStatus& panel) override;
  void SetApplicationTitle(const std::string&) override {}
  void SetStatusBarFile(const std::string&) override {}
  void SetStatusBarPort(const std::string&) override {}
  void ShowWaitDialog(bool visible) override;
  std::optional<shell::PortChoice> ChoosePort(shell::PortDialogState& state,
                                              const shell::PortRescan& rescan) override;

 private:
  using SteadyClock = std::chrono::steady_clock;

  // Prints the line in progress as it stands now, unless it was printed so already.
  void FlushPending();
  void PrintPanelLine(const std::string& text, const std::uint8_t* attributes);
  void DrawLive();
  void ClearLive();
  void Write(const std::string& text);

  std::FILE* out_;
  OutputStyle style_;
  std::function<bool()> pollStop_;
  std::function<void()> onStop_;
  bool stopAsked_ = false;
  std::optional<std::string> fileAnswer_;
  std::optional<std::string> portAnswer_;

  // The panel's current line as last seen.
  bool pendingValid_ = false;
  std::uint64_t pendingSerial_ = 0;
  display::TKVStatus::Line pending_{};
  std::optional<int> pendingPercent_;
  std::string printedText_;  // the text of the pending line as printed early, if it was

  bool liveShown_ = false;
  bool waitShown_ = false;
  SteadyClock::time_point waitStart_{};
  SteadyClock::time_point lastWaitDraw_{};
};

}  // namespace korvex::cli
