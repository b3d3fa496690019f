// An operator for run tests: the scripted operator plus a record of every status-panel line
// with the statuses (text and attribute) and progress percentages it showed, the operation
// lock, and the virtual times at which the wait dialog came and went.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "shell/virtual_clock.h"
#include "support/scripted_operator.h"

namespace korvex::testing {

struct RecordedStatus {
  std::string text;
  std::uint8_t attribute = 0;
  bool operator==(const RecordedStatus&) const = default;
};

struct RecordedLine {
  std::string caption;                   // the text the line was added with
  std::vector<RecordedStatus> statuses;  // every status shown at its end, in order
  std::vector<int> progress;             // every percentage shown, in order
  std::string text;                      // the line as last shown, trailing blanks removed

  // The last status shown, or an empty one when there was none.
  RecordedStatus Verdict() const { return statuses.empty() ? RecordedStatus{} : statuses.back(); }
};

class RecordingOperator : public ScriptedOperator {
 public:
  explicit RecordingOperator(const shell::VirtualClock* clock = nullptr) : clock_(clock) {}

  std::vector<RecordedLine> lines;
  std::vector<bool> operationRunning;
  // Virtual milliseconds at which the wait dialog was shown (true) or hidden (false).
  std::vector<std::pair<bool, std::uint64_t>> waitDialogAt;
  // Called after every change of the status panel with the line it concerns.
  std::function<void(const RecordedLine&)> onStatusChange;

  void StatusPanelChanged(const display::TKVStatus& panel) override;
  void SetOperationRunning(bool running, bool stopActive) override {
    (void)stopActive;
    operationRunning.push_back(running);
  }
  void ShowWaitDialog(bool visible) override;

  // The last line added with this caption, or nullptr.
  const RecordedLine* Line(const std::string& caption) const;
  std::vector<std::string> Captions() const;
  // Forgets the lines recorded so far (before a second run).
  void ClearLines() { lines.clear(); }

 private:
  const shell::VirtualClock* clock_;
  std::uint64_t lastSerial_ = 0;
};

}  // namespace korvex::testing
