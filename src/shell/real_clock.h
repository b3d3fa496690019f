// The production clock: a monotonic millisecond tick (never jumps with the calendar) and a
// real sleep.
#pragma once

#include <chrono>
#include <cstdint>

#include "shell/clock.h"

namespace korvex::shell {

class RealClock : public Clock {
 public:
  RealClock() : start_(std::chrono::steady_clock::now()) {}

  // Milliseconds since this clock was made; wraps after 49 days like any 32-bit tick.
  std::uint32_t TickMs() override;
  void SleepMs(std::uint32_t ms) override;

 private:
  std::chrono::steady_clock::time_point start_;
};

}  // namespace korvex::shell
