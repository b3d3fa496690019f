// korvex-cli: the terminal front end. Runs the window program's unattended command line and
// the terminal's own commands (test, restart, check, ports) without asking anything, and
// ends with the exit code of the outcome.
#include <csignal>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/cli_runner.h"
#include "cli/stop_signals.h"
#include "cli/terminal_operator.h"
#include "link/system_serial_device.h"
#include "shell/program_arguments.h"
#include "shell/real_clock.h"

int main(int argc, char** argv) {
  using namespace korvex;
  const std::vector<std::string> args = shell::ProgramArguments(argc, argv);
  const cli::CliCommand command = cli::ParseCliCommand(args);

  // Output that nobody reads any more (a closed pipe) must not end a run half-way through
  // writing a panel: the write fails quietly instead.
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);
#endif
  cli::StopSignals stopSignals;
  cli::TerminalOperator op(stdout, cli::StyleFor(stdout));
  op.SetStopSource([&stopSignals] { return stopSignals.Poll(); });

  shell::RealClock clock;
  const std::unique_ptr<link::SerialDevice> device = link::MakeSystemSerialDevice();
  std::random_device entropy;
  cli::CliRunner runner(op, clock, *device, entropy(), stderr);
  return runner.Run(command);
}
