#ifdef _WIN32

#include <atomic>

#include "cli/stop_signals.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace korvex::cli {

namespace {

// A console control handler takes no context and runs on a thread of its own, so what it
// shares with Poll lives here, in atomics. Only one StopSignals exists at a time.
std::atomic<int> stopsArrived{0};
std::atomic<bool> stopReported{false};
HANDLE runEnded = nullptr;  // set once the StopSignals object is gone

// How long the handler holds a closing console open for the run to stop; Windows ends the
// process itself some five seconds after the close.
constexpr DWORD kCloseGraceMs = 4500;

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      if (stopsArrived.fetch_add(1) > 0) ExitProcess(kInterruptedExitCode);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The window is going away: stop the run as Ctrl+C would and give it the time Windows
      // allows to come to its end (a stopped run never leaves the panel half-restarted).
      stopsArrived.fetch_add(1);
      if (runEnded != nullptr) WaitForSingleObject(runEnded, kCloseGraceMs);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

StopSignals::StopSignals() {
  stopsArrived = 0;
  stopReported = false;
  runEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopSignals::~StopSignals() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  if (runEnded != nullptr) SetEvent(runEnded);
}

bool StopSignals::Poll() {
  if (stopsArrived.load() == 0) return false;
  return !stopReported.exchange(true);
}

}  // namespace korvex::cli

#endif  // _WIN32
