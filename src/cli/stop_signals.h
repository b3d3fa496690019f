// Ctrl+C (SIGINT) and a polite kill (SIGTERM) as the terminal's Stop button. While an object
// of this class lives the two signals are blocked, so they never interrupt the program at a
// random point; the front end takes them with Poll() at its message-processing points, the
// same points where a window would notice a pressed Stop button. A second signal after the
// first one was taken ends the process at once, for a run that does not come to an end.
#pragma once

#include <csignal>

namespace korvex::cli {

class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // True when a stop signal arrived since the last call. The first signal ever taken is
  // reported; any later one restores the signal's default action and raises it again.
  bool Poll();

 private:
  sigset_t signals_{};
  sigset_t previousMask_{};
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
  bool taken_ = false;
};

}  // namespace korvex::cli
