// Running the built programs from tests and benchmarks: start a program with extra
// environment variables, read its output (standard output and error together) while it
// runs, send it signals, and wait for its end with a time limit (a program that overstays
// is killed, so a hanging program fails the test instead of hanging it).
#pragma once

#ifndef _WIN32

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvex::testing {

using Environment = std::vector<std::pair<std::string, std::string>>;

struct ProcessResult {
  int exitCode = -1;      // the exit status, or -1 when the program did not exit normally
  int signal = 0;         // the signal that ended it, or 0
  bool timedOut = false;  // it was killed because it overstayed
  std::string output;     // everything it wrote to standard output and error
};

class ChildProcess {
 public:
  ChildProcess() = default;
  // Kills and reaps a program that is still running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (a path) with argv and the current environment plus `env`. The program
  // gets no input (its standard input is /dev/null) and the signals' default actions.
  bool Start(const std::vector<std::string>& argv, const Environment& env = {});
  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  // Reads output until `text` has appeared (anywhere since the start) or the time is up;
  // true when it appeared.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
  // The next whole output line (without its line end), waiting at most `timeout`.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  // The output collected so far.
  const std::string& Output() const { return output_; }

  bool Signal(int signal);
  // Waits for the end, reading the output; kills the program after `timeout`.
  ProcessResult Wait(std::chrono::milliseconds timeout);

 private:
  // Reads what is available, waiting at most `timeout` for something; false at end of output.
  bool ReadSome(std::chrono::milliseconds timeout);
  void Reap(ProcessResult& result, bool block);

  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
  std::size_t lineStart_ = 0;
};

// Runs a program to its end.
ProcessResult RunProcess(const std::vector<std::string>& argv, const Environment& env = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(120));

}  // namespace korvex::testing

#endif  // _WIN32
