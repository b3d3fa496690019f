// USB serial adapters hold back received bytes until their latency timer runs out (16 ms by
// default on common chips), and every exchange of a run waits for that. On Linux the port is
// opened with the driver's low-latency flag, and the adapter's timer is read from sysfs so
// that a slow one can be named once, with its cost and its fix.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace korvex::link {

// A timer above this holds up the exchanges noticeably.
inline constexpr int kFastLatencyMs = 1;
// About this many exchanges make a full Program run; each waits for the timer once.
inline constexpr int kExchangesPerFullRun = 2000;
// The rule in the repository (installed by the package) that sets the timer to 1 ms.
inline constexpr const char* kLatencyRuleFile = "99-korvex-serial-latency.rules";

#ifdef __linux__
// The two driver calls the low-latency request makes; tests give fakes.
struct SerialInfoCalls {
  std::function<int(int fd, serial_struct& info)> get;        // TIOCGSERIAL
  std::function<int(int fd, const serial_struct& info)> set;  // TIOCSSERIAL
};
SerialInfoCalls SystemSerialInfoCalls();

// Asks the driver of `fd` to hand received bytes over at once (ASYNC_LOW_LATENCY). True
// when the flag is set now. Drivers that refuse it (pseudo-terminals, some adapters) give
// false, which is no error: the port works as before.
bool RequestLowLatency(int fd, const SerialInfoCalls& calls);
#endif

// The latency timer in ms of the USB adapter behind `devicePath` (symbolic links such as
// /dev/serial/by-id/... are followed), read from <sysClassTty>/<tty>/device/latency_timer;
// nullopt when the device has no such timer (a UART, a pseudo-terminal, another system).
std::optional<int> AdapterLatencyTimerMs(const std::filesystem::path& sysClassTty,
                                         const std::string& devicePath);

// The line that tells the operator about a slow adapter: the timer, what it costs a full
// run, and how to set it to 1 ms.
std::string LatencyNote(const std::string& devicePath, int timerMs);

}  // namespace korvex::link
