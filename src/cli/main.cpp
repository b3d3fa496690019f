// korvex-cli: the terminal front end. Runs the window program's unattended command line and
// the terminal's own commands (test, restart, check, ports) without asking anything, and
// ends with the exit code of the outcome.
#include <csignal>
#include <cstdio>
#include <exception>
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

namespace {

int RunCli(int argc, char** argv) {
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

}  // namespace

// A fixture reads the exit code: an exception no layer handled must end the program with a
// reason and a code of its own, never with an abort.
int main(int argc, char** argv) {
  try {
    return RunCli(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "korvex-cli: unexpected error: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "korvex-cli: unexpected error\n");
  }
  std::fprintf(stdout, "Exit code %d: %s.\n", korvex::cli::kExitUnexpectedError,
               korvex::cli::ExitCodeMeaning(korvex::cli::kExitUnexpectedError).c_str());
  return korvex::cli::kExitUnexpectedError;
}
