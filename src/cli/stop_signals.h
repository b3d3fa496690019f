// Ctrl+C as the terminal's Stop button. On POSIX systems SIGINT and a polite kill (SIGTERM)
// are blocked while an object of this class lives, so they never interrupt the program at a
// random point; the front end takes them with Poll() at its message-processing points, the
// same points where a window would notice a pressed Stop button. On Windows a console control
// handler takes Ctrl+C, Ctrl+Break and the closing of the console window the same way.
// A second stop after the first one ends the process at once, for a run that does not come
// to an end: by the signal on POSIX systems, with kInterruptedExitCode on Windows.
#pragma once

#ifndef _WIN32
#include <csignal>
#endif

namespace korvex::cli {

// The exit code of a program ended by a second Ctrl+C on Windows: the shells' code for an
// interrupted program (128 + SIGINT), never one of the run's own codes.
inline constexpr int kInterruptedExitCode = 130;

class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // True when a stop arrived since the last call. The first stop ever taken is reported; any
  // later one ends the process.
  bool Poll();

 private:
#ifndef _WIN32
  sigset_t signals_{};
  sigset_t previousMask_{};
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
  bool taken_ = false;
#endif
};

}  // namespace korvex::cli
