// The main window: fixed geometry, captions, menu and shortcuts, the mirrored "do not scan"
// option, the lock while an operation runs, closing, and the keys that reach the
// application only while it is busy.
#include "gui/form_flash.h"

#include <gtest/gtest.h>

#include <QMenuBar>
#include <QStatusBar>

#include "gui/placement.h"
#include "gui_test_support.h"
#include "shell/about.h"
#include "window_bench.h"

namespace korvex::gui {
namespace {

using testing::Click;
using testing::CtrlS;
using testing::Key;
using testing::ModalAnswerer;
using testing::WindowBench;

TEST(FormFlashTest, CaptionsAndFixedClientArea) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  w.ShowCentred();
  EXPECT_EQ(w.windowTitle().toStdString(), "KORVEX  (1.24 2025-03-12 SK)");
  EXPECT_EQ(w.ApplicationTitle().toStdString(), "KORVEX");

  EXPECT_EQ(w.centralWidget()->geometry().size(), QSize(806, 366 - 24));
  EXPECT_EQ(w.statusBar()->height(), 24);
  EXPECT_EQ(w.width(), 806);
  EXPECT_EQ(w.height(), w.menuBar()->height() + 366);
  EXPECT_EQ(w.statusBar()->geometry().bottom(), w.height() - 1);
  // Not resizable, not maximisable.
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST(FormFlashTest, ControlsSitWhereTheyBelongWithTheirHints) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  struct Place {
    QWidget* widget;
    QRect rect;
    const char* hint;
  };
  const Place places[] = {
      {w.Iopen(), QRect(8, 8, 31, 31), "Open File"},
      {w.Iprogram(), QRect(48, 8, 31, 31), "Program"},
      {w.Itest(), QRect(88, 8, 31, 31), "Test"},
      {w.Irestart(), QRect(128, 8, 31, 31), "Restart"},
      {w.Istop(), QRect(168, 8, 31, 31), "Stop"},
      {w.Lver(), QRect(200, 16, 598, 25), ""},
      {w.Info1(), QRect(8, 52, 790, 268), ""},
      {w.CBdonotscan(), QRect(8, 322, 233, 17), ""},
  };
  for (const Place& place : places) {
    EXPECT_EQ(place.widget->geometry(), place.rect) << place.hint;
    EXPECT_EQ(place.widget->toolTip().toStdString(), place.hint);
  }
  EXPECT_EQ(w.CBdonotscan()->text().toStdString(), "Do &not scan COM ports");
  EXPECT_TRUE(w.Lver()->alignment() & Qt::AlignRight);
  EXPECT_TRUE(w.Lver()->font().bold());
  EXPECT_EQ(w.StatusPanel0()->width(), 652);
}

TEST(FormFlashTest, MenuCaptionsAndShortcuts) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  EXPECT_EQ(w.Programowanie1()->title().toStdString(), "&Programming");
  EXPECT_EQ(w.Pomoc1()->title().toStdString(), "&Help");
  struct Item {
    QAction* action;
    const char* caption;
    QKeySequence shortcut;
  };
  const Item items[] = {
      {w.Open2(), "&Open File", QKeySequence(Qt::CTRL | Qt::Key_O)},
      {w.Program2(), "&Program", QKeySequence(Qt::CTRL | Qt::Key_P)},
      {w.Test2(), "&Test", QKeySequence(Qt::CTRL | Qt::Key_T)},
      {w.Restart2(), "&Restart", QKeySequence(Qt::CTRL | Qt::Key_R)},
      {w.Stop2(), "&Stop\tCtrl+S", QKeySequence()},
      {w.DoNotScan(), "Do &not scan COM ports", QKeySequence(Qt::CTRL | Qt::Key_N)},
      {w.Koniec2(), "&Exit", QKeySequence(Qt::ALT | Qt::Key_F4)},
      {w.Oprogramie2(), "&About", QKeySequence()},
  };
  for (const Item& item : items) {
    EXPECT_EQ(item.action->text().toStdString(), item.caption);
    EXPECT_EQ(item.action->shortcut(), item.shortcut) << item.caption;
  }
  EXPECT_FALSE(w.Stop2()->isEnabled());
  EXPECT_TRUE(w.Programowanie1()->actions().contains(w.Koniec2()));
  EXPECT_TRUE(w.Pomoc1()->actions().contains(w.Oprogramie2()));
}

TEST(FormFlashTest, TheCheckBoxAndTheMenuItemMirrorEachOtherAndSwitchOffTheScan) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  w.ShowCentred();
  ASSERT_FALSE(bench.app->Link().FormFlashRS.DoNotScan());

  Click(w.CBdonotscan());
  EXPECT_TRUE(w.CBdonotscan()->isChecked());
  EXPECT_TRUE(w.DoNotScan()->isChecked());
  EXPECT_TRUE(bench.app->Link().FormFlashRS.DoNotScan());

  w.DoNotScan()->trigger();
  EXPECT_FALSE(w.DoNotScan()->isChecked());
  EXPECT_FALSE(w.CBdonotscan()->isChecked());
  EXPECT_FALSE(bench.app->Link().FormFlashRS.DoNotScan());
}

TEST(FormFlashTest, AnOperationLocksEverythingButStopAndTheEndUnlocks) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  w.ShowCentred();
  TKVImage* operations[] = {w.Iopen(), w.Iprogram(), w.Itest(), w.Irestart()};

  bench.app->AllDisable();
  EXPECT_FALSE(w.Programowanie1()->menuAction()->isEnabled());
  EXPECT_FALSE(w.Pomoc1()->menuAction()->isEnabled());
  EXPECT_FALSE(w.Program2()->isEnabled());
  EXPECT_FALSE(w.CBdonotscan()->isVisible());
  for (TKVImage* button : operations) {
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(button->PictureName().startsWith("II_"));
  }
  EXPECT_TRUE(w.Istop()->isEnabled());
  EXPECT_EQ(w.Istop()->PictureName(), "IA_stop");
  EXPECT_FALSE(w.Stop2()->isEnabled());

  bench.app->AllEnable();
  EXPECT_TRUE(w.Programowanie1()->menuAction()->isEnabled());
  EXPECT_TRUE(w.Pomoc1()->menuAction()->isEnabled());
  EXPECT_TRUE(w.Program2()->isEnabled());
  EXPECT_TRUE(w.CBdonotscan()->isVisible());
  const char* active[] = {"IA_open", "IA_prog", "IA_test", "IA_rest"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(operations[i]->isEnabled());
    EXPECT_EQ(operations[i]->PictureName().toStdString(), active[i]);
  }
  EXPECT_FALSE(w.Istop()->isEnabled());
  EXPECT_EQ(w.Istop()->PictureName(), "II_stop");
  EXPECT_FALSE(w.Stop2()->isEnabled());
  EXPECT_EQ(w.StatusPanel1()->text().toStdString(), " ");  // no port chosen
}

TEST(FormFlashTest, ClosingIsRefusedWhileBusyAndAllowedWhenIdle) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  w.ShowCentred();
  bench.app->AllDisable();
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  bench.app->AllEnable();
  EXPECT_TRUE(w.close());
  EXPECT_FALSE(w.isVisible());
}

TEST(FormFlashTest, StopAndCtrlSAskAbortOnlyWhileBusy) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  w.ShowCentred();
  ModalAnswerer answerer;

  // Idle: Stop is disabled and Ctrl+S does nothing.
  Click(w.Istop());
  CtrlS(&w);
  CtrlS(w.Info1());
  EXPECT_TRUE(answerer.boxes.empty());

  bench.app->AllDisable();
  answerer.answer = [](const std::string&) { return false; };
  CtrlS(w.Info1());  // typed while the focus is anywhere in the window
  EXPECT_EQ(answerer.yesNoBoxes, std::vector<std::string>{"Abort ?"});
  EXPECT_FALSE(bench.app->Session().StopRequested);

  answerer.answer = [](const std::string&) { return true; };
  Click(w.Istop());
  EXPECT_EQ(answerer.yesNoBoxes.size(), 2u);
  EXPECT_TRUE(bench.app->Session().StopRequested);

  // Other keys are not taken.
  Key(&w, Qt::Key_S);
  Key(&w, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(answerer.boxes.size(), 2u);
  bench.app->AllEnable();
}

TEST(FormFlashTest, EnterAndEscReachTheApplicationOnlyWhileBusy) {
  WindowBench bench;
  bench.EnableServiceMode();
  TFormFlash& w = *bench.window;
  w.ShowCentred();
  shell::Session& session = bench.app->Session();

  Key(&w, Qt::Key_Return);
  Key(&w, Qt::Key_Escape);
  EXPECT_FALSE(session.StForceKey);
  EXPECT_FALSE(session.StKeepKey);

  bench.app->AllDisable();
  Key(w.Info1(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_TRUE(session.StForceKey);
  EXPECT_FALSE(session.StKeepKey);
  Key(&w, Qt::Key_Escape);
  EXPECT_TRUE(session.StKeepKey);
  bench.app->AllEnable();
}

TEST(FormFlashTest, TheStartWithoutAFileShowsTheAboutTextWithStopInactive) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  ModalAnswerer answerer;
  bool stopActiveDuringBox = true;
  bool programEnabledDuringBox = true;
  answerer.seen = [&](const std::string&) {
    stopActiveDuringBox = w.Istop()->isEnabled() || w.Istop()->PictureName() != "II_stop";
    programEnabledDuringBox = w.Iprogram()->isEnabled();
  };

  w.ShowCentred();
  EXPECT_EQ(bench.app->Start(shell::PlanStart(std::vector<std::string>{})),
            update::StartResult::kInteractive);
  EXPECT_EQ(answerer.boxes, std::vector<std::string>{"KORVEX 1.24 2025-03-12 SK\n"
                                                     "Firmware updating software for SOLANTA"});
  EXPECT_FALSE(stopActiveDuringBox);
  EXPECT_FALSE(programEnabledDuringBox);
  EXPECT_TRUE(w.Iprogram()->isEnabled());
  EXPECT_EQ(bench.app->ExitCode(), 0);

  // The next operation has Stop again.
  bench.app->AllDisable();
  EXPECT_TRUE(w.Istop()->isEnabled());
  bench.app->AllEnable();

  w.Oprogramie2()->trigger();
  EXPECT_EQ(answerer.boxes.size(), 2u);
}

TEST(FormFlashTest, TheStatusPanelDrivesTheApplicationTitle) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  display::TKVStatus& info1 = bench.app->Session().Info1;
  info1.KVinit();
  info1.KVadd("Program in file: 1.24");
  EXPECT_EQ(w.ApplicationTitle().toStdString(), "KORVEX  (1.24 2025-03-12 SK) - Program in file");
  info1.KVstatus("   ok", 0, 0);
  EXPECT_EQ(w.ApplicationTitle().toStdString(), "KORVEX  (1.24 2025-03-12 SK)");
}

TEST(FormFlashTest, TheStartWithAFileShowsItsCheckDescriptionAndPath) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  ASSERT_EQ(bench.StartWithFile(), update::StartResult::kInteractive);
  const std::vector<std::string> lines = bench.app->Session().Info1.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().rfind("File checking", 0), 0u) << lines.front();
  EXPECT_FALSE(w.Lver()->text().isEmpty());
  EXPECT_TRUE(w.Lver()->isEnabled());
  EXPECT_EQ(w.StatusPanel0()->text().toStdString(), " " + bench.filePath);
  EXPECT_TRUE(w.Iprogram()->isEnabled());
}

TEST(FormFlashTest, OpenAsksForTheFileInItsDialogAndChecksIt) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  ModalAnswerer answerer;
  std::string title;
  QStringList filters;
  QString folder;
  answerer.chooseFile = [&](QFileDialog& dialog) {
    title = dialog.windowTitle().toStdString();
    filters = dialog.nameFilters();
    folder = dialog.directory().absolutePath();
    dialog.selectFile(QString::fromStdString(bench.filePath));
    static_cast<QDialog&>(dialog).accept();  // as the dialog's Open button does
  };
  w.ShowCentred();
  bench.app->Start(shell::PlanStart(std::vector<std::string>{}));  // the about text

  w.Open2()->trigger();
  EXPECT_EQ(answerer.fileDialogs, 1);
  EXPECT_EQ(title, "Choose SOLANTA program");
  EXPECT_EQ(filters, QStringList{"SOLANTA program (*.qfw)"});
  // No file yet: the dialog starts in the program's own folder.
  EXPECT_EQ(folder, QCoreApplication::applicationDirPath());
  EXPECT_EQ(bench.app->Session().FirmwareFileName, bench.filePath);
  EXPECT_EQ(w.StatusPanel0()->text().toStdString(), " " + bench.filePath);
  EXPECT_FALSE(w.Lver()->text().isEmpty());

  // Cancelling the dialog keeps the file.
  answerer.chooseFile = [](QFileDialog& dialog) { dialog.reject(); };
  Click(w.Iopen());
  EXPECT_EQ(answerer.fileDialogs, 2);
  EXPECT_EQ(bench.app->Session().FirmwareFileName, bench.filePath);
}

TEST(FormFlashTest, AMissingFileIsReportedAndTheWindowStaysOpen) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  ModalAnswerer answerer;
  w.ShowCentred();
  const std::string missing = (bench.dir.Path() / "missing.qfw").string();
  EXPECT_EQ(bench.app->Start(shell::PlanStart(std::vector<std::string>{missing})),
            update::StartResult::kInteractive);
  ASSERT_EQ(answerer.boxes.size(), 1u);
  EXPECT_EQ(answerer.boxes[0], "Selected file does not exist.\n(" + missing + ")");
  EXPECT_EQ(bench.app->ExitCode(), 1);
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(w.Iopen()->isEnabled());
}

TEST(FormFlashTest, TheWindowLiesOnTheScreensAvailableArea) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  w.move(-300, -200);
  w.ShowCentred();
  const QRect available = AvailableArea(w);
  const QRect frame = w.frameGeometry();
  ASSERT_TRUE(available.isValid());
  // Centred where it fits; never beyond the area's left or top edge where it does not (the
  // offscreen screen is narrower than the window).
  EXPECT_GE(frame.left(), available.left());
  EXPECT_GE(frame.top(), available.top());
  if (frame.width() <= available.width()) {
    EXPECT_LE(frame.right(), available.right());
  }
  if (frame.height() <= available.height()) {
    EXPECT_LE(frame.bottom(), available.bottom());
    EXPECT_NEAR(frame.center().y(), available.center().y(), 1);
  }
}

TEST(FormFlashTest, BoxesAtStartUpAreCentredOverTheWindow) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  ModalAnswerer answerer;
  std::vector<QPoint> boxCentres;
  answerer.seen = [&](const std::string&) {
    if (const QWidget* box = QApplication::activeModalWidget()) {
      boxCentres.push_back(box->frameGeometry().center());
    }
  };
  w.ShowCentred();
  const std::string missing = (bench.dir.Path() / "missing.qfw").string();
  bench.app->Start(shell::PlanStart(std::vector<std::string>{missing}));
  bench.app->AboutClick();
  ASSERT_EQ(boxCentres.size(), 2u);
  for (const QPoint& centre : boxCentres) {
    EXPECT_NEAR(centre.x(), w.frameGeometry().center().x(), 2);
    EXPECT_NEAR(centre.y(), w.frameGeometry().center().y(), 2);
  }
}

TEST(FormFlashTest, OperationKeysActWhileTheWaitDialogHasTheFocus) {
  WindowBench bench;
  bench.EnableServiceMode();
  TFormFlash& w = *bench.window;
  w.ShowCentred();
  ModalAnswerer answerer;
  answerer.answer = [](const std::string&) { return true; };
  shell::Session& session = bench.app->Session();

  bench.app->AllDisable();
  w.ShowWaitDialog(true);
  Key(w.FormWait()->StaticText1(), Qt::Key_Return);
  Key(w.FormWait(), Qt::Key_Escape);
  CtrlS(w.FormWait());
  EXPECT_TRUE(session.StForceKey);
  EXPECT_TRUE(session.StKeepKey);
  EXPECT_EQ(answerer.yesNoBoxes, std::vector<std::string>{"Abort ?"});
  EXPECT_TRUE(session.StopRequested);
  EXPECT_TRUE(w.FormWait()->isVisible());  // Esc did not reach the dialog itself
  w.ShowWaitDialog(false);
  bench.app->AllEnable();
}

TEST(FormFlashTest, TheWindowTitleFollowsTheLastLineAndTheProgress) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  display::TKVStatus& info1 = bench.app->Session().Info1;
  const std::string caption = "KORVEX  (1.24 2025-03-12 SK)";
  EXPECT_EQ(w.windowTitle().toStdString(), caption);
  info1.KVinit();
  info1.KVadd("FLASH programming");
  EXPECT_EQ(w.windowTitle().toStdString(), caption + " - FLASH programming");
  info1.KVprogress(45, 100, 1);
  EXPECT_EQ(w.windowTitle().toStdString().rfind(caption + " - 45% - FLASH programming", 0), 0u);
  info1.KVstatus("   ok", 0, 0);
  EXPECT_EQ(w.windowTitle().toStdString(), caption);
}

TEST(FormFlashTest, TheReadBackAndBackUpItemsSetTheRunOptions) {
  WindowBench bench;
  TFormFlash& w = *bench.window;
  w.ShowCentred();
  shell::RunOptions& options = bench.app->Session().Options;
  QAction* readBack = w.MenuAction(view::MenuCommand::kVerifyReadBack);
  QAction* backUp = w.MenuAction(view::MenuCommand::kBackUp);
  EXPECT_EQ(readBack->text().toStdString(), "&Verify by reading back");
  EXPECT_EQ(backUp->text().toStdString(), "&Back up panel to folder...");

  readBack->trigger();
  EXPECT_EQ(options.verify, shell::VerifyMode::kReadBack);
  readBack->trigger();
  EXPECT_EQ(options.verify, shell::VerifyMode::kBlockChecks);
  EXPECT_FALSE(readBack->isChecked());

  // Ticking the back-up asks for the folder once; cancelling leaves it off.
  ModalAnswerer answerer;
  const QString folder = QString::fromStdString(bench.dir.Path().string());
  answerer.chooseFile = [&](QFileDialog& dialog) {
    dialog.selectFile(folder);
    static_cast<QDialog&>(dialog).accept();
  };
  backUp->trigger();
  EXPECT_EQ(answerer.fileDialogs, 1);
  EXPECT_EQ(options.backupDir, folder.toStdString());
  EXPECT_TRUE(backUp->isChecked());
  backUp->trigger();  // unticked without a question
  EXPECT_EQ(answerer.fileDialogs, 1);
  EXPECT_TRUE(options.backupDir.empty());
  answerer.chooseFile = [](QFileDialog& dialog) { dialog.reject(); };
  backUp->trigger();
  EXPECT_TRUE(options.backupDir.empty());
  EXPECT_FALSE(backUp->isChecked());

  // Options given on the command line show as ticks; both items are locked during a run.
  options.verify = shell::VerifyMode::kReadBack;
  options.backupDir = "/tmp/backups";
  w.ShowRunOptions();
  EXPECT_TRUE(readBack->isChecked());
  EXPECT_TRUE(backUp->isChecked());
  bench.app->AllDisable();
  EXPECT_FALSE(readBack->isEnabled());
  EXPECT_FALSE(backUp->isEnabled());
  bench.app->AllEnable();
}

}  // namespace
}  // namespace korvex::gui
