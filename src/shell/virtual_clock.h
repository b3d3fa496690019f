// A clock that only moves when the code waits: a 120-second timeout costs nothing and every
// timing rule can be checked exactly. Used by the tests and by in-process simulations.
#pragma once

#include <cstdint>
#include <functional>

#include "shell/clock.h"

namespace korvex::shell {

class VirtualClock : public Clock {
 public:
  explicit VirtualClock(std::uint64_t startMs = 0) : nowMs_(startMs) {}

  std::uint32_t TickMs() override { return static_cast<std::uint32_t>(nowMs_); }
  void SleepMs(std::uint32_t ms) override { Advance(ms); }

  std::uint64_t NowMs() const { return nowMs_; }
  void Advance(std::uint64_t ms) {
    nowMs_ += ms;
    if (onAdvance_) onAdvance_(nowMs_);
  }
  // Called after every advance, so simulated peers can act at their scheduled times.
  void OnAdvance(std::function<void(std::uint64_t)> hook) { onAdvance_ = std::move(hook); }

 private:
  std::uint64_t nowMs_;
  std::function<void(std::uint64_t)> onAdvance_;
};

}  // namespace korvex::shell
