// Time as the program sees it: a millisecond tick and a sleep. Production uses the monotonic
// clock; tests use a virtual clock that jumps when the code waits.
#pragma once

#include <cstdint>

namespace korvex::shell {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start; callers only take differences of its low 16 bits.
  virtual std::uint32_t TickMs() = 0;
  virtual void SleepMs(std::uint32_t ms) = 0;
};

}  // namespace korvex::shell
