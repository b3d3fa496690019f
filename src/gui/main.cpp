// korvex: the window program. Creates the main window with its port and wait dialogs, takes
// the command line, and either goes on interactively (with the named file checked at once,
// or with the about text) or makes one unattended Program run and ends with its exit code.
#include <QApplication>
#include <QIcon>
#include <QScreen>

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
#include "view/geometry.h"
#include "view/layout.h"

namespace {

// Qt enlarges the fixed-size window by the screen's density; on a small dense screen (1280
// pixels wide at twice the density) it would not fit and its edges would be off the screen.
// There the application is made again at the largest scale at which the window fits.
std::unique_ptr<QApplication> MakeApplicationThatFits(int& argc, char** argv) {
  auto app = std::make_unique<QApplication>(argc, argv);
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return app;
  const double scale = screen->devicePixelRatio();
  const QRect available = screen->availableGeometry();
  const korvex::view::Size device{static_cast<int>(available.width() * scale),
                                  static_cast<int>(available.height() * scale)};
  const korvex::view::Size window{
      korvex::view::kMainClient.width + korvex::view::kMainFrameAllowance.width,
      korvex::view::kMainClient.height + korvex::view::kMainFrameAllowance.height};
  const double fitting = korvex::view::FittingScale(window, device, scale);
  if (fitting >= scale) return app;

  bool given = false;
  const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&given);
  app.reset();
  qputenv("QT_SCALE_FACTOR", QByteArray::number((given ? factor : 1.0) * fitting / scale));
  return std::make_unique<QApplication>(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace korvex;
  const std::unique_ptr<QApplication> qtApp = MakeApplicationThatFits(argc, argv);
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
