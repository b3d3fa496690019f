#include "cli/cli_runner.h"

#include "cli/port_list.h"
#include "firmware/open_file.h"
#include "link/tkvrs.h"
#include "shell/command_line.h"
#include "shell/session.h"
#include "update/application.h"

namespace korvex::cli {

namespace {

// The panel's answer to "Restarting panel" when the starter answered the connection.
constexpr const char* kOkVerdict = "   ok";

// Presets the port as the automatic mode does, so that no port dialog (which would probe
// every port of the machine) is needed; the faster rates are allowed.
void PresetPort(update::Application& app, const std::string& port) {
  app.Link().KVRS.SetSelectedPort(port);
  app.Link().FastRsEnabled = true;
  app.Link().RateIndex = 0;
}

}  // namespace

CliRunner::CliRunner(TerminalOperator& op, shell::Clock& clock, link::SerialDevice& device,
                     std::uint32_t randomSeed, std::FILE* err)
    : op_(op), clock_(clock), device_(device), seed_(randomSeed), err_(err) {}

void CliRunner::Complain(const std::string& text) {
  std::fprintf(err_, "korvex-cli: %s\n", text.c_str());
  std::fflush(err_);
}

int CliRunner::Finish(int code, const std::string& meaning) {
  op_.Finish();
  op_.PrintLine("Exit code " + std::to_string(code) + ": " +
                (meaning.empty() ? ExitCodeMeaning(code) : meaning) + ".");
  return code;
}

int CliRunner::Run(const CliCommand& command) {
  options_ = command.options;
  switch (command.kind) {
    case CliCommandKind::kHelp:
      std::fputs(HelpText().c_str(), stdout);
      return shell::kExitNone;
    case CliCommandKind::kUsage:
      Complain(command.error + " (korvex-cli --help tells more)");
      return shell::kExitNone;
    case CliCommandKind::kTest:
      return RunTest(command.operands[0], command.operands[1]);
    case CliCommandKind::kRestart:
      return RunRestart(command.operands[0]);
    case CliCommandKind::kCheck:
      return RunCheck(command.operands[0]);
    case CliCommandKind::kPorts:
      return RunPorts();
    case CliCommandKind::kRun:
      break;
  }
  return RunCommandLine(command);
}

int CliRunner::RunCommandLine(const CliCommand& command) {
  const shell::StartPlan plan = shell::PlanStart(command.operands);
  update::Application app(op_, clock_, device_, seed_);
  app.Session().Options = options_;
  op_.SetStopHandler([&app] { app.Session().StopRequested = true; });
  op_.SetFileAnswer(std::nullopt);
  const update::StartResult result = app.Start(plan);
  op_.SetStopHandler({});
  switch (plan.mode) {
    case shell::StartMode::kEndWithoutRun:
      Complain("the FSK option names a byte above 0x3F or not four hexadecimal digits: no run");
      break;
    case shell::StartMode::kInteractiveWithAbout:
      Complain("no run: give FILE PORT with " + PortKindsText() +
               " (korvex-cli --help tells more)");
      break;
    case shell::StartMode::kInteractiveWithFile:
    case shell::StartMode::kUnattendedRun:
      break;
  }
  (void)result;  // the terminal never goes on interactively
  return Finish(app.ExitCode());
}

std::optional<std::string> CliRunner::PortOperand(const std::string& port) {
  std::optional<std::string> portName = shell::PortNameFromParameter(port);
  if (!portName) {
    if (const auto number = shell::ComPortNumberOfName(port))
      portName = "COM" + std::to_string(*number);
  }
  if (!portName) Complain("not " + PortKindsText() + ": " + port);
  return portName;
}

int CliRunner::RunTest(const std::string& file, const std::string& port) {
  const std::optional<std::string> portName = PortOperand(port);
  if (!portName) return shell::kExitPortFailed;
  update::Application app(op_, clock_, device_, seed_);
  app.Session().Options = options_;
  op_.SetStopHandler([&app] { app.Session().StopRequested = true; });
  app.Session().Info1.KVinit();
  app.Session().FirmwareFileName = file;
  PresetPort(app, *portName);
  app.TestClick();
  op_.SetStopHandler({});
  return Finish(app.ExitCode());
}

int CliRunner::RunRestart(const std::string& port) {
  const std::optional<std::string> portName = PortOperand(port);
  if (!portName) return shell::kExitPortFailed;
  update::Application app(op_, clock_, device_, seed_);
  app.Session().Options = options_;
  op_.SetStopHandler([&app] { app.Session().StopRequested = true; });
  app.Session().Info1.KVinit();
  PresetPort(app, *portName);
  app.RestartClick();
  op_.SetStopHandler({});
  // The window's Restart leaves the exit code alone; a script needs the outcome, which the
  // verdict of the "Restarting panel" line carries.
  int code = app.ExitCode();
  if (code != shell::kExitNone) return Finish(code);
  if (app.Session().Info1.StatusText() == kOkVerdict)
    return Finish(shell::kExitNone, "the panel was restarted");
  return Finish(shell::kExitNoConnection, op_.StopAsked()
                                              ? "the restart was stopped"
                                              : "the panel's starter did not answer the restart");
}

int CliRunner::RunCheck(const std::string& file) {
  update::Application app(op_, clock_, device_, seed_);
  app.Session().Options = options_;
  op_.SetStopHandler([&app] { app.Session().StopRequested = true; });
  app.Session().Info1.KVinit();
  app.Session().FirmwareFileName = file;
  app.AllDisable();
  const bool accepted = firmware::OpenFile(app.Session(), app.Image(), false);
  app.AllEnable();
  op_.SetStopHandler({});
  return accepted ? Finish(shell::kExitNone, "the file is accepted")
                  : Finish(shell::kExitBadFile, "the file is not accepted");
}

int CliRunner::RunPorts() {
  for (const std::string& line : PortListLines(device_.ListPorts())) op_.PrintLine(line);
  return shell::kExitNone;
}

}  // namespace korvex::cli
