// A korvex-panel program serving a simulated panel on a pseudo-terminal, for end-to-end
// tests and benchmarks: started with its options, ready once it has printed its port's path,
// and ended with SIGTERM (after which it writes the dumps it was asked for).
#pragma once

#ifndef _WIN32

#include <chrono>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace korvex::testing {

class PanelProcess {
 public:
  explicit PanelProcess(std::string programPath) : programPath_(std::move(programPath)) {}

  // Starts the panel with `options` and waits until it names its port. False (with the
  // program's output in Output()) when it does not start or names no device.
  bool Start(const std::vector<std::string>& options,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // The pseudo-terminal the panel serves, e.g. /dev/pts/5.
  const std::string& PortPath() const { return portPath_; }
  // Ends the panel and waits for it; the result carries its exit status and output.
  ProcessResult Stop(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  const std::string& Output() const { return process_.Output(); }
  ChildProcess& Process() { return process_; }

 private:
  std::string programPath_;
  ChildProcess process_;
  std::string portPath_;
};

}  // namespace korvex::testing

#endif  // _WIN32
