#include "update/application.h"

#include "firmware/open_file.h"
#include "shell/about.h"
#include "update/panel_readout.h"
#include "update/programming_run.h"
#include "update/run_phases.h"

namespace korvex::update {

namespace {

constexpr char kEnterKey = 13;
constexpr char kCtrlSKey = 19;
constexpr char kEscKey = 27;
constexpr const char* kAbortQuestion = "Abort ?";

}  // namespace

Application::Application(shell::Operator& op, shell::Clock& clock, link::SerialDevice& device,
                         std::uint32_t randomSeed)
    : session_(op, clock, randomSeed),
      linkHost_(session_),
      recorder_(clock, op),
      link_(linkHost_, device),
      starter_(link_),
      // Stands for this instance in every link token it makes.
      context_(session_, image_, link_, starter_, static_cast<std::uint8_t>(session_.Random(256))) {
  // Every status line also becomes a phase of the run report.
  session_.Info1.SetListener(&recorder_);
}

StartResult Application::Start(const shell::StartPlan& plan) {
  session_.Info1.KVinit();
  shell::ApplyStartPlan(plan, session_);
  switch (plan.mode) {
    case shell::StartMode::kInteractiveWithFile:
      AllDisable();
      firmware::OpenFile(session_, image_, false);
      AllEnable();
      return StartResult::kInteractive;
    case shell::StartMode::kUnattendedRun:
      // The port is given: no port dialog. The run may go up to the faster bit rates.
      link_.KVRS().SetSelectedPort(plan.portName);
      AllDisable();
      link_.SetFastRsEnabled(true);
      session_.ProgramMode = true;
      session_.FirmwareFileName = plan.fileName;
      SOLANTAuniversal(context_, true);
      EndOperation("program");
      link_.KVRS().RSdone();
      operationRunning_ = false;
      stopActive_ = false;
      session_.Op().SetOperationRunning(false, false);
      return StartResult::kEnd;
    case shell::StartMode::kInteractiveWithAbout:
      Lock(false);  // nothing to stop while the about box is up
      AboutClick();
      AllEnable();
      return StartResult::kInteractive;
    case shell::StartMode::kEndWithoutRun:
      break;
  }
  return StartResult::kEnd;
}

void Application::AllDisable() {
  Lock(true);
}

void Application::Lock(bool stopActive) {
  operationRunning_ = true;
  stopActive_ = stopActive;
  session_.Op().SetOperationRunning(true, stopActive);
  session_.ProcessMessages();
  session_.StopRequested = false;
  session_.StartOperationClock();
  recorder_.Start();
  link_.ResetExchanges();
  starter_.ResetWrites();
  context_.StWritingBegan = false;
  context_.StarterWritingBegan = false;
}

void Application::EndOperation(const std::string& operation) {
  recorder_.Finish();
  WriteReport(operation, session_.ExitCode);
}

void Application::WriteReport(const std::string& operation, std::int32_t exitCode) {
  const std::string& path = session_.Options.reportFile;
  if (path.empty()) return;
  const std::int32_t kept = session_.ExitCode;
  session_.ExitCode = exitCode;
  const std::string json = RunReportJson(context_, operation, recorder_.Phases());
  session_.ExitCode = kept;
  std::string error;
  if (!WriteRunReport(path, json, error)) session_.Op().ShowNotice(error);
}

void Application::AllEnable() {
  operationRunning_ = false;
  stopActive_ = false;
  session_.Op().SetOperationRunning(false, false);
  session_.ProcessMessages();
  // The next operation asks for a port again after a failed port or a stop.
  if (!session_.PortReady || session_.StopRequested) {
    link_.KVRS().SelectNoPort();
    link_.KVRS().SetSelectedPort("");
  }
  session_.Op().SetStatusBarPort(" " + link_.KVRS().SelectedPort());
}

void Application::OpenClick() {
  AllDisable();
  firmware::OpenFile(session_, image_, true);
  AllEnable();
}

void Application::RunProgramming(bool programMode) {
  AllDisable();
  session_.ProgramMode = programMode;
  SOLANTAuniversal(context_, false);
  EndOperation(programMode ? "program" : "test");
  link_.KVRS().RSdone();
  AllEnable();
}

void Application::ProgramClick() {
  RunProgramming(true);
}

void Application::TestClick() {
  RunProgramming(false);
}

void Application::RestartClick() {
  (void)Restart();
}

RestartOutcome Application::Restart() {
  AllDisable();
  const RestartOutcome outcome = StandaloneRestart(context_);
  EndOperation("restart");
  AllEnable();
  return outcome;
}

void Application::ReadOutClick(const std::filesystem::path& dir) {
  AllDisable();
  ReadOutPanel(context_, dir);
  EndOperation("dump");
  link_.KVRS().RSdone();
  AllEnable();
}
void Application::StopClick() {
  if (!operationRunning_ || !stopActive_) return;
  if (session_.ShowMessageBox(kAbortQuestion, shell::MessageKind::kConfirmation, false)) {
    session_.StopRequested = true;
  }
}

void Application::AboutClick() {
  session_.ShowMessageBox(shell::kAboutText, shell::MessageKind::kInformation, true);
}

void Application::KeyPress(char key) {
  if (!operationRunning_ || !stopActive_) return;
  switch (key) {
    case kEnterKey:
      if (session_.ServiceTestMode()) session_.StForceKey = true;
      break;
    case kCtrlSKey:
      StopClick();
      break;
    case kEscKey:
      if (session_.ServiceTestMode()) session_.StKeepKey = true;
      break;
    default:
      break;
  }
}

}  // namespace korvex::update
