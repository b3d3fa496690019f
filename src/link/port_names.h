// Where the machine's serial ports come from on POSIX systems, and how a COM number maps to
// a device. The port list shows device paths: the real serial devices under /sys/class/tty
// (those with a device behind them; ttyS entries only when a UART answers), plus any device
// named by a KORVEX_COM<n> environment variable (for example a simulator's pseudo-terminal).
// The COM number n of the command line resolves to $KORVEX_COM<n> when set, else to
// /dev/ttyS<n-1>. Every source is injectable so tests never read the real machine.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/serial_device.h"

namespace korvex::link {

// Looks up one environment variable; nullopt when it is not set.
using EnvLookup = std::function<std::optional<std::string>(const std::string& name)>;

// The process environment.
EnvLookup ProcessEnvironment();

inline constexpr std::string_view kComPortEnvPrefix = "KORVEX_COM";
inline constexpr int kMaxComNumber = 255;

// n for a name "COM<n>" (capital letters, decimal n 1..255 without leading zeros), else
// nullopt.
std::optional<int> ComNumberOfName(std::string_view name);

// The device path of COM number n (1..255).
std::string ResolveComPort(int n, const EnvLookup& env);

// The device to open for a port name: "COM<n>" resolves as above, anything else (a device
// path) is used as it is.
std::string ResolvePortName(const std::string& name, const EnvLookup& env);

struct PortListSources {
  std::filesystem::path sysClassTty = "/sys/class/tty";
  std::filesystem::path devDir = "/dev";
  std::filesystem::path byIdDir = "/dev/serial/by-id";
  EnvLookup env;  // empty: no KORVEX_COM<n> ports
  // Whether this user may open a device for reading and writing; empty: every one.
  std::function<bool(const std::filesystem::path& device)> mayOpen;
};

// The serial ports found through `sources`, each once, in no particular order.
std::vector<PortInfo> ListPosixPorts(const PortListSources& sources);

}  // namespace korvex::link
