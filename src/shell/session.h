// The state of the application shell that every operation shares: the operator and clock
// seams, the status panel, the exit code and the flags of the main window and command line.
// One instance per process (each test builds its own); nothing here is global.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "display/kv_status.h"
#include "shell/clock.h"
#include "shell/operator.h"
#include "shell/run_options.h"
#include "shell/service_mode.h"

namespace korvex::shell {

inline constexpr const char* kApplicationTitle = "KORVEX";
inline constexpr const char* kWindowCaption = "KORVEX  (1.24 2025-03-12 SK)";

// Exit codes of the process; an unattended run is judged by them alone.
enum ExitCodeValue : std::int32_t {
  kExitNone = 0,            // nothing set another code
  kExitBadFile = 1,         // firmware file missing or invalid
  kExitPortFailed = 2,      // the COM port cannot be opened or set
  kExitNoConnection = 3,    // the starter cannot be reached or a request failed
  kExitUpdateFailed = 4,    // starter too old, ST update failed, or starter update failed
  kExitNothingWritten = 5,  // run ended normally, nothing written
  kExitWritten = 6,         // run ended normally, something was written
};

class Session {
 public:
  Session(Operator& op, Clock& clock, std::uint32_t randomSeed)
      : op_(op), clock_(clock), random_(randomSeed), Info1(kWindowCaption) {
    Info1.SetListener(&op_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Operator& Op() { return op_; }
  Clock& Time() { return clock_; }
  // A random integer 0..n-1 (retry delays, the link token).
  int Random(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  // Shows a message box through the operator.
  bool ShowMessageBox(const std::string& text, MessageKind kind, bool okOnly) {
    return op_.ShowMessageBox(text, kind, okOnly);
  }
  void ProcessMessages() { op_.ProcessMessages(); }

  // The service test mode (decided once per session) and its log.
  bool ServiceTestMode() { return Service.ServiceTestMode(); }
  void WriteLog(std::string_view message) { Service.WriteLog(message); }

 private:
  Operator& op_;
  Clock& clock_;
  std::mt19937 random_;

 public:
  display::TKVStatus Info1;  // the status panel
  std::int32_t ExitCode = kExitNone;
  std::string FirmwareFileName;

  // Main window flags.
  bool StopRequested = false;
  bool ProgramMode = false;
  bool PortReady = false;
  bool StForceKey = false;
  bool StKeepKey = false;

  // Command-line flags of the unattended mode.
  bool CommCodesResetRequested = false;
  bool StOnlyRequested = false;
  bool StSkipRequested = false;
  bool FskGiven = false;
  std::uint8_t FskPlus = 0;
  std::uint8_t FskMinus = 0;

  // The "--" options of the command line (or the window's menu).
  RunOptions Options;

  // Service test mode and log; tests replace it to pin the paths and the date.
  ServiceMode Service;
};

}  // namespace korvex::shell
