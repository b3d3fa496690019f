#include "link/usb_latency.h"

#include <fstream>
#include <system_error>

#ifdef __linux__
#include <sys/ioctl.h>
#endif

namespace korvex::link {

#ifdef __linux__
SerialInfoCalls SystemSerialInfoCalls() {
  return {[](int fd, serial_struct& info) { return ioctl(fd, TIOCGSERIAL, &info); },
          [](int fd, const serial_struct& info) { return ioctl(fd, TIOCSSERIAL, &info); }};
}

bool RequestLowLatency(int fd, const SerialInfoCalls& calls) {
  serial_struct info{};
  if (calls.get(fd, info) < 0) return false;
  if ((info.flags & ASYNC_LOW_LATENCY) != 0) return true;
  info.flags |= ASYNC_LOW_LATENCY;
  return calls.set(fd, info) == 0;
}
#endif

std::optional<int> AdapterLatencyTimerMs(const std::filesystem::path& sysClassTty,
                                         const std::string& devicePath) {
  std::error_code ec;
  std::filesystem::path device = std::filesystem::canonical(devicePath, ec);
  if (ec) device = devicePath;
  const std::filesystem::path timerFile =
      sysClassTty / device.filename() / "device" / "latency_timer";
  std::ifstream in(timerFile);
  int ms = 0;
  if (!(in >> ms) || ms < 0) return std::nullopt;
  return ms;
}

std::string LatencyNote(const std::string& devicePath, int timerMs) {
  const int costSeconds = (kExchangesPerFullRun * timerMs + 500) / 1000;
  const std::string tty = std::filesystem::path(devicePath).filename().string();
  return "The USB serial adapter " + devicePath + " holds received bytes for " +
         std::to_string(timerMs) + " ms (latency_timer), which adds about " +
         std::to_string(costSeconds) +
         " s to a full run. To set it to 1 ms, install the udev rule " + kLatencyRuleFile +
         " (the package installs it in /usr/lib/udev/rules.d) or run: echo 1 | sudo tee "
         "/sys/bus/usb-serial/devices/" +
         tty + "/latency_timer";
}

}  // namespace korvex::link
