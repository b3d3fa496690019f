// One KORVEX process without its drawing: the session, the firmware image, the serial link,
// the starter commands and the run context, and the operations the main window's buttons,
// menu and keys start. Front ends (window, terminal) build one Application on their operator,
// clock and serial device and call these operations; everything they show arrives through
// the operator.
#pragma once

#include <cstdint>
#include <filesystem>

#include "firmware/firmware_image.h"
#include "link/link.h"
#include "link/serial_device.h"
#include "link/starter.h"
#include "shell/clock.h"
#include "shell/command_line.h"
#include "shell/operator.h"
#include "shell/session.h"
#include "update/run_context.h"
#include "update/run_phases.h"
#include "update/run_report.h"
#include "update/session_link_host.h"

namespace korvex::update {

// What the front end does after Start.
enum class StartResult {
  kInteractive,  // go on with interactive use (the operator drives the operations)
  kEnd,          // end the process with ExitCode()
};

class Application {
 public:
  Application(shell::Operator& op, shell::Clock& clock, link::SerialDevice& device,
              std::uint32_t randomSeed);
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  shell::Session& Session() { return session_; }
  firmware::FirmwareImage& Image() { return image_; }
  link::Link& Link() { return link_; }
  link::Starter& Starter() { return starter_; }
  Context& RunContext() { return context_; }

  // The dispatch of the program start: with a file (checked at once), one unattended
  // Program run on the plan's port (then kEnd), the about text, or an end without a run.
  // The caller has taken the command line with shell::PlanStart; the status panel is
  // initialised here.
  StartResult Start(const shell::StartPlan& plan);

  // Locks the operator's controls except Stop (Operator::SetOperationRunning(true, true)) and
  // clears StopRequested.
  void AllDisable();
  // Unlocks the controls; forgets the chosen port when the last port check failed or the
  // operator stopped; shows the port on the status bar.
  void AllEnable();
  // True between AllDisable and AllEnable: Stop and the keys act, closing is refused.
  bool OperationRunning() const { return operationRunning_; }
  // Whether the main window may close now (not while an operation runs).
  bool CanClose() const { return !operationRunning_; }

  // The operations of the buttons and menu items.
  void OpenClick();     // file dialog, then the file check
  void ProgramClick();  // a Program run; the port is closed after it
  void TestClick();     // a comparison (Test) run; the port is closed after it
  void RestartClick();  // restart the panel only (the outcome is on the status panel)
  // The Restart operation with its outcome, for front ends that report it.
  RestartOutcome Restart();
  // Reads the panel's FLASH and settings into files in `dir` (korvex-cli dump); writes
  // nothing to the panel. The port is closed after it.
  void ReadOutClick(const std::filesystem::path& dir);
  void StopClick();   // "Abort ?"; Yes sets StopRequested (only while an operation runs)
  void AboutClick();  // the about box

  // A key typed in the main window. Only while an operation runs: Enter (13) sets
  // StForceKey and Esc (27) sets StKeepKey in service test mode; Ctrl+S (19) acts as Stop.
  void KeyPress(char key);

  std::int32_t ExitCode() const { return session_.ExitCode; }

  // Writes the report of the operation that just ended to Options.reportFile (when one is
  // named) with `exitCode` as its outcome; a failure to write is said as a notice. The
  // operations call it themselves with the session's exit code; a front end that decides
  // another code (the terminal's restart) writes it again with that one.
  void WriteReport(const std::string& operation, std::int32_t exitCode);

 private:
  // The runs of ProgramClick/TestClick and the automatic mode share this bracket.
  void RunProgramming(bool programMode);
  // AllDisable, with Stop and the keys acting only when `stopActive`.
  void Lock(bool stopActive);
  // Closes the phases of the operation and writes its report.
  void EndOperation(const std::string& operation);

  shell::Session session_;
  SessionLinkHost linkHost_;
  PhaseRecorder recorder_;
  firmware::FirmwareImage image_;
  link::Link link_;
  link::Starter starter_;
  Context context_;
  bool operationRunning_ = false;
  bool stopActive_ = false;
};

}  // namespace korvex::update
