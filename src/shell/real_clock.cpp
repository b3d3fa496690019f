#include "shell/real_clock.h"

#include <thread>

namespace korvex::shell {

std::uint32_t RealClock::TickMs() {
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void RealClock::SleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace korvex::shell
