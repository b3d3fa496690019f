#include "shell/service_mode.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "shell/file_names.h"
#include "shell/util.h"

namespace korvex::shell {

namespace {

std::string EnvironmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::string(value) : std::string(fallback);
}

// True when `path` is a regular file holding exactly the marker text.
bool MarkerPresent(const std::string& name) {
  try {
    const std::filesystem::path path = PathFromUtf8(name);
    namespace fs = std::filesystem;
    std::error_code ec;
    // Only a regular file counts: a directory or a device never holds the marker (and a
    // FIFO would block the read).
    if (!fs::is_regular_file(path, ec) || ec) return false;
    const auto size = fs::file_size(path, ec);
    if (ec || size != kServiceMarkerText.size()) return false;
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::array<char, kServiceMarkerText.size()> content{};
    file.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (file.gcount() != static_cast<std::streamsize>(content.size())) return false;
    return std::string_view(content.data(), content.size()) == kServiceMarkerText;
  } catch (...) {
    return false;
  }
}

}  // namespace

ServicePaths ServicePaths::FromEnvironment() {
  return ServicePaths{EnvironmentOr(kServiceMarkerEnvVar, kDefaultServiceMarkerPath),
                      EnvironmentOr(kServiceLogDirEnvVar, kDefaultServiceLogFolder)};
}

std::string ServiceLogFileName(const DateTime& moment) {
  char name[32];
  std::snprintf(name, sizeof name, "KORVEX_%04d_%02d.log", moment.year % 10000, moment.month % 100);
  return name;
}

std::string ServiceLogLine(const DateTime& moment, std::string_view message) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d: ", moment.year % 10000,
                moment.month % 100, moment.day % 100, moment.hour % 100, moment.minute % 100,
                moment.second % 100);
  return ShortText(std::string(stamp).append(message));
}

ServiceMode::ServiceMode() : ServiceMode(ServicePaths::FromEnvironment()) {}

ServiceMode::ServiceMode(ServicePaths paths) : paths_(std::move(paths)) {}

ServiceMode::ServiceMode(ServicePaths paths, WallClock& wallClock)
    : paths_(std::move(paths)), wallClock_(&wallClock) {}

bool ServiceMode::ServiceTestMode() {
  if (!testMode_) testMode_ = MarkerPresent(paths_.markerPath);
  return *testMode_;
}

DateTime ServiceMode::Now() const {
  if (wallClock_ != nullptr) return wallClock_->Now();
  return SystemWallClock().Now();
}

void ServiceMode::WriteLog(std::string_view message) {
  if (!ServiceTestMode()) return;
  try {
    const DateTime moment = Now();
    const std::filesystem::path file = PathFromUtf8(paths_.logFolder) / ServiceLogFileName(moment);
    // Appending creates a missing file but never a missing folder. Binary keeps CR LF exact.
    std::ofstream log(file, std::ios::binary | std::ios::app);
    if (!log) return;
    log << ServiceLogLine(moment, message) << "\r\n";
  } catch (...) {
    // A line that cannot be written is lost without a word.
  }
}

}  // namespace korvex::shell
