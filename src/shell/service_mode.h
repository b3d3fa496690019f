// The hidden service test mode and its monthly log. The mode is on when a marker file holds
// exactly the access text; it is decided on first use and kept for the life of the object.
// The log gets one line per written panel, in a folder the program never creates.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "shell/wall_clock.h"

namespace korvex::shell {

// The marker file's whole content: the access text, CR, LF.
inline constexpr std::string_view kServiceMarkerText = "Jolt 93\r\n";

// Environment variables that redirect the marker file and the log folder (tests, packaging).
inline constexpr const char* kServiceMarkerEnvVar = "KORVEX_TEST_MARKER";
inline constexpr const char* kServiceLogDirEnvVar = "KORVEX_LOG_DIR";

#ifdef _WIN32
inline constexpr const char* kDefaultServiceMarkerPath = "c:\\windows\\test.cfg";
inline constexpr const char* kDefaultServiceLogFolder = "C:\\KORVEX_LOG";
#else
inline constexpr const char* kDefaultServiceMarkerPath = "/etc/korvex/test.cfg";
inline constexpr const char* kDefaultServiceLogFolder = "/var/log/korvex";
#endif

struct ServicePaths {
  std::string markerPath;
  std::string logFolder;

  // The platform's paths, each replaced by its environment variable when that is set and
  // not empty.
  static ServicePaths FromEnvironment();
};

// "KORVEX_yyyy_mm.log" for the month of `moment`.
std::string ServiceLogFileName(const DateTime& moment);
// "yyyy-mm-dd hh:nn:ss: " + message, cut to 255 characters, without the line end.
std::string ServiceLogLine(const DateTime& moment, std::string_view message);

class ServiceMode {
 public:
  // Paths from the environment (read now, once), local time.
  ServiceMode();
  explicit ServiceMode(ServicePaths paths);
  // `wallClock` must outlive this object and its copies.
  ServiceMode(ServicePaths paths, WallClock& wallClock);

  // Whether the service test mode is on; the first call reads the marker file.
  bool ServiceTestMode();

  // Appends one stamped line to the month's log file when the mode is on. Creates the file
  // when missing, never the folder; a line that cannot be written is silently lost.
  void WriteLog(std::string_view message);

  const ServicePaths& Paths() const { return paths_; }

 private:
  DateTime Now() const;

  ServicePaths paths_;
  WallClock* wallClock_ = nullptr;  // null: the system's local time
  std::optional<bool> testMode_;    // empty until determined
};

}  // namespace korvex::shell
