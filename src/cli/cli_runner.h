// Carries out one korvex-cli command on an Application built over the terminal operator, a
// clock and a serial device, and returns the process exit code.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/cli_command.h"
#include "cli/terminal_operator.h"
#include "link/serial_device.h"
#include "shell/clock.h"
#include "shell/run_options.h"

namespace korvex::cli {

class CliRunner {
 public:
  // `err` receives the front end's own complaints (a wrong command line); everything the
  // operations show goes through `op`.
  CliRunner(TerminalOperator& op, shell::Clock& clock, link::SerialDevice& device,
            std::uint32_t randomSeed, std::FILE* err);

  int Run(const CliCommand& command);

 private:
  int RunCommandLine(const CliCommand& command);
  int RunTest(const std::string& file, const std::string& port);
  int RunRestart(const std::string& port);
  int RunCheck(const std::string& file);
  int RunPorts();
  // The PORT operand as a port name; complains and gives nothing when it is neither a port
  // number 1..255 nor a device path.
  std::optional<std::string> PortOperand(const std::string& port);
  // Prints the result line (with `meaning`, or the code's general meaning) and returns the
  // code.
  int Finish(int code, const std::string& meaning = {});
  void Complain(const std::string& text);

  TerminalOperator& op_;
  shell::Clock& clock_;
  link::SerialDevice& device_;
  std::uint32_t seed_;
  std::FILE* err_;
  shell::RunOptions options_;  // the command's "--" options, given to every run
};

}  // namespace korvex::cli
