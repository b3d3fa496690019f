#include "support/panel_process.h"

#ifndef _WIN32

#include <signal.h>

namespace korvex::testing {

bool PanelProcess::Start(const std::vector<std::string>& options,
                         std::chrono::milliseconds timeout) {
  std::vector<std::string> argv{programPath_};
  argv.insert(argv.end(), options.begin(), options.end());
  if (!process_.Start(argv)) return false;
  // The panel's first line of output is its port's path.
  const std::optional<std::string> line = process_.ReadLine(timeout);
  if (!line || line->rfind("/dev/", 0) != 0) return false;
  portPath_ = *line;
  return true;
}

ProcessResult PanelProcess::Stop(std::chrono::milliseconds timeout) {
  if (!process_.Running()) return process_.Wait(std::chrono::milliseconds(0));
  process_.Signal(SIGTERM);
  return process_.Wait(timeout);
}

}  // namespace korvex::testing

#endif  // _WIN32
