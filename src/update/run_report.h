// The run report for fixtures (--report FILE): what ran, against which file and panel, each
// status line as a phase with its times and verdict, the exchanges on the line, what was
// written and the exit code, as JSON with stable field names. Written when the operation
// ends, also when it failed, was stopped or ran out of time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "display/kv_status.h"
#include "shell/clock.h"
#include "update/run_context.h"

namespace korvex::update {

// One status line of an operation: its caption, when it was added and when the next line
// (or the end) came, and the last verdict it showed (empty when it ended in progress).
struct PhaseRecord {
  std::string name;
  std::uint64_t startMs = 0;
  std::uint64_t endMs = 0;
  std::string verdict;
};

// Sits between the status panel and the operator: passes every change on and notes each
// new line as a phase.
class PhaseRecorder : public display::StatusListener {
 public:
  PhaseRecorder(shell::Clock& clock, display::StatusListener& next) : clock_(clock), next_(next) {}

  // Forgets the phases; times count from now.
  void Start();
  // Closes the phase in progress.
  void Finish();
  const std::vector<PhaseRecord>& Phases() const { return phases_; }

  void StatusPanelChanged(const display::TKVStatus& panel) override;
  void SetApplicationTitle(const std::string& title) override { next_.SetApplicationTitle(title); }

 private:
  std::uint64_t NowMs();

  shell::Clock& clock_;
  display::StatusListener& next_;
  std::vector<PhaseRecord> phases_;
  std::uint64_t lineSerial_ = 0;
  std::uint32_t startTick_ = 0;
  bool open_ = false;
};

// The report of the operation that just ended (`operation`: "program", "test", "restart"
// or "dump") as JSON text.
std::string RunReportJson(const Context& context, const std::string& operation,
                          const std::vector<PhaseRecord>& phases);

// Writes the report to `path` (through a temporary file renamed when complete). False with
// `error` set when it could not be written.
bool WriteRunReport(const std::filesystem::path& path, const std::string& json, std::string& error);

}  // namespace korvex::update
