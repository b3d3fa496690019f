// korvex: the window program. Creates the main window with its port and wait dialogs, takes
// the command line, and either goes on interactively (with the named file checked at once,
// or with the about text) or makes one unattended Program run and ends with its exit code.
#include <QApplication>
#include <QIcon>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/form_flash.h"
#include "link/system_serial_device.h"
#include "shell/command_line.h"
#include "shell/real_clock.h"
#include "shell/run_options.h"
#include "shell/session.h"
#include "update/application.h"

int main(int argc, char** argv) {
  using namespace korvex;
  QApplication qtApp(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(shell::kApplicationTitle));
  // Ties the window to the installed desktop entry (korvex.desktop) and its icon; run from
  // the build tree, where no icon theme holds "korvex", the window keeps the default icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("korvex"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("korvex")));

  // The main window first (it becomes the application's main window), with the port dialog
  // and the wait dialog it owns; none is shown yet.
  gui::TFormFlash window;

  shell::RealClock clock;
  const std::unique_ptr<link::SerialDevice> device = link::MakeSystemSerialDevice();
  // The random numbers (retry delays, the link token) start from the clock.
  const auto seed =
      static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
  update::Application app(window, clock, *device, seed);
  window.SetApplication(&app);

  // The parameters as the system hands them over (Qt may have taken its own options out);
  // the "--" run options come out first, so the command-line forms keep their meaning.
  const std::vector<std::string> args(argv + 1, argv + argc);
  const shell::OptionSplit split = shell::TakeRunOptions(args);
  if (!split.error.empty()) {
    window.ShowMessageBox("Command line: " + split.error + ".", shell::MessageKind::kError, true);
    window.SetApplication(nullptr);
    return shell::kExitNone;
  }
  app.Session().Options = split.options;
  window.ShowRunOptions();
  const shell::StartPlan plan = shell::PlanStart(split.params);

  // The window is shown before any file check or run, so the status panel shows its progress.
  if (plan.mode != shell::StartMode::kEndWithoutRun) window.ShowCentred();
  if (app.Start(plan) == update::StartResult::kInteractive) {
    QApplication::exec();
  }
  window.SetApplication(nullptr);
  return app.ExitCode();
}
