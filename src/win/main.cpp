// korvex.exe: the Win32 window program. Creates the main window with its port dialog and
// wait window, takes the command line, and either goes on interactively (with the named file
// checked at once, or with the about text) or makes one unattended Program run and ends with
// its exit code, which `start /wait` and a fixture's process call receive like a console
// program's.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/system_serial_device.h"
#include "shell/command_line.h"
#include "shell/program_arguments.h"
#include "shell/real_clock.h"
#include "shell/run_options.h"
#include "shell/session.h"
#include "update/application.h"
#include "win/main_window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace korvex;
  // The main window first, with the port dialog and the wait window it owns; none is shown.
  win::MainWindow window;

  shell::RealClock clock;
  const std::unique_ptr<link::SerialDevice> device = link::MakeSystemSerialDevice();
  // The random numbers (retry delays, the link token) start from the clock.
  const auto seed =
      static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
  update::Application app(window, clock, *device, seed);
  window.SetApplication(&app);

  // The "--" run options come out first, so the command-line forms keep their meaning.
  const shell::OptionSplit split = shell::TakeRunOptions(shell::ProgramArguments(0, nullptr));
  if (!split.error.empty()) {
    window.ShowMessageBox("Command line: " + split.error + ".", shell::MessageKind::kError, true);
    window.SetApplication(nullptr);
    return shell::kExitNone;
  }
  app.Session().Options = split.options;
  const shell::StartPlan plan = shell::PlanStart(split.params);

  // The window is shown before any file check or run, so the status panel shows its progress.
  if (plan.mode != shell::StartMode::kEndWithoutRun) window.ShowCentred();
  if (app.Start(plan) == update::StartResult::kInteractive) window.RunMessageLoop();
  window.SetApplication(nullptr);
  window.Destroy();
  return app.ExitCode();
}
