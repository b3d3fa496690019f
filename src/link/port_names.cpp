#include "link/port_names.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace korvex::link {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kComPrefix = "COM";

// First line of a small sysfs attribute, or nullopt when it cannot be read.
std::optional<std::string> ReadAttribute(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
    line.pop_back();
  }
  return line;
}

// A ttyS entry exists for every legacy port slot; only those with a UART behind them (a
// non-zero type) are real ports.
bool HasUart(const fs::path& ttyDir) {
  const auto type = ReadAttribute(ttyDir / "type");
  if (!type || type->empty()) return false;
  return type->find_first_not_of('0') != std::string::npos;
}

bool IsSerialDevice(const fs::path& ttyDir, const std::string& name) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(ttyDir / "device", ec))) return false;
  if (name.rfind("ttyS", 0) == 0) return HasUart(ttyDir);
  return true;
}

// Device name (e.g. "ttyUSB0") -> descriptive link name from /dev/serial/by-id.
std::optional<std::string> DescriptionFromById(const fs::path& byIdDir, const std::string& device) {
  std::error_code ec;
  for (fs::directory_iterator it(byIdDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code linkError;
    const fs::path target = fs::read_symlink(it->path(), linkError);
    if (!linkError && target.filename() == device) return it->path().filename().string();
  }
  return std::nullopt;
}

}  // namespace

EnvLookup ProcessEnvironment() {
  return [](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
}

std::optional<int> ComNumberOfName(std::string_view name) {
  if (name.substr(0, kComPrefix.size()) != kComPrefix) return std::nullopt;
  const std::string_view digits = name.substr(kComPrefix.size());
  if (digits.empty() || digits.size() > 3 || digits[0] == '0') return std::nullopt;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n > kMaxComNumber) return std::nullopt;
  return n;
}

std::string ResolveComPort(int n, const EnvLookup& env) {
  if (env) {
    if (auto path = env(std::string(kComPortEnvPrefix) + std::to_string(n));
        path && !path->empty()) {
      return *path;
    }
  }
  return "/dev/ttyS" + std::to_string(n - 1);
}

std::string ResolvePortName(const std::string& name, const EnvLookup& env) {
  if (auto n = ComNumberOfName(name)) return ResolveComPort(*n, env);
  return name;
}

std::vector<PortInfo> ListPosixPorts(const PortListSources& sources) {
  std::vector<PortInfo> ports;
  std::error_code ec;
  for (fs::directory_iterator it(sources.sysClassTty, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string device = it->path().filename().string();
    if (!IsSerialDevice(it->path(), device)) continue;
    PortInfo port{(sources.devDir / device).string(), ""};
    if (auto description = DescriptionFromById(sources.byIdDir, device)) {
      port.description = *description;
    }
    ports.push_back(std::move(port));
  }
  if (sources.env) {
    for (int n = 1; n <= kMaxComNumber; ++n) {
      const std::string variable = std::string(kComPortEnvPrefix) + std::to_string(n);
      const auto path = sources.env(variable);
      if (!path || path->empty()) continue;
      std::error_code existsError;
      if (!fs::exists(*path, existsError)) continue;
      bool listed = false;
      for (PortInfo& port : ports) {
        if (port.name == *path) {
          listed = true;
          if (port.description.empty()) port.description = variable;
        }
      }
      if (!listed) ports.push_back({*path, variable});
    }
  }
  if (sources.mayOpen) {
    for (PortInfo& port : ports) port.mayOpen = sources.mayOpen(port.name);
  }
  return ports;
}

}  // namespace korvex::link
