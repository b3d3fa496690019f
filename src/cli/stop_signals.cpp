#ifndef _WIN32

#include "cli/stop_signals.h"

#include <ctime>

namespace korvex::cli {

StopSignals::StopSignals() {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  sigprocmask(SIG_BLOCK, &signals_, &previousMask_);
  // A program started in the background by a shell inherits SIGINT ignored, and an ignored
  // signal is discarded even while blocked; the default action keeps it pending for Poll.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  sigaction(SIGINT, &byDefault, &previousInt_);
  sigaction(SIGTERM, &byDefault, &previousTerm_);
}

StopSignals::~StopSignals() {
  // Discard what is still pending so that restoring the mask does not end the process.
  const timespec noWait{0, 0};
  while (sigtimedwait(&signals_, nullptr, &noWait) > 0) {
  }
  sigaction(SIGINT, &previousInt_, nullptr);
  sigaction(SIGTERM, &previousTerm_, nullptr);
  sigprocmask(SIG_SETMASK, &previousMask_, nullptr);
}

bool StopSignals::Poll() {
  const timespec noWait{0, 0};
  bool arrived = false;
  int signal = 0;
  while ((signal = sigtimedwait(&signals_, nullptr, &noWait)) > 0) {
    if (taken_) {
      // Asked twice: end now, the way the signal ends any program.
      sigset_t one;
      sigemptyset(&one);
      sigaddset(&one, signal);
      std::signal(signal, SIG_DFL);
      sigprocmask(SIG_UNBLOCK, &one, nullptr);
      std::raise(signal);
    }
    taken_ = true;
    arrived = true;
  }
  return arrived;
}

}  // namespace korvex::cli

#endif  // !_WIN32
