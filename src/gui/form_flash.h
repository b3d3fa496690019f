// The main window: five image buttons (Open, Program, Test, Restart, Stop), the firmware
// description, the status panel, the "Do not scan COM ports" option, the status bar with
// the file and the port, and the menu that repeats the buttons. It is the operator of an
// update::Application: it draws what the application reports and forwards the operator's
// clicks and keys to it; the operations themselves live in the application.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>

#include <map>
#include <optional>
#include <string>

#include "gui/form_flash_rs.h"
#include "gui/form_wait.h"
#include "gui/kv_image.h"
#include "gui/status_panel_view.h"
#include "shell/operator.h"
#include "view/layout.h"
#include "view/main_window_state.h"
#include "view/menu_model.h"

namespace korvex::update {
class Application;
}

namespace korvex::gui {

inline constexpr const char* kFileDialogTitle = "Choose SOLANTA program";
inline constexpr const char* kFileDialogFilter = "SOLANTA program (*.qfw)";
inline constexpr const char* kDoNotScanCaption = "Do &not scan COM ports";
inline constexpr const char* kBackupDialogTitle = "Choose the folder for panel back-ups";

// The characters the window hands to the application while an operation runs.
inline constexpr char kEnterChar = 13;
inline constexpr char kCtrlSChar = 19;
inline constexpr char kEscChar = 27;

class TFormFlash : public QMainWindow, public shell::Operator {
  Q_OBJECT

 public:
  // Creates the window with its port dialog and wait dialog (FormCreate); not shown yet.
  explicit TFormFlash(QWidget* parent = nullptr);
  ~TFormFlash() override;

  // The application whose operations the controls start. Set once before the window is
  // used; the window does not own it.
  void SetApplication(update::Application* app);

  // Shows the window centred on the screen's available area and entirely on it.
  void ShowCentred();

  // The title the application would show on the taskbar: "KORVEX", or the window caption
  // with the status panel's latest line.
  const QString& ApplicationTitle() const { return applicationTitle_; }

  // shell::Operator
  bool ShowMessageBox(const std::string& text, shell::MessageKind kind, bool okOnly) override;
  void ProcessMessages() override;
  std::optional<std::string> ChooseFirmwareFile(const std::string& presetName) override;
  void ShowDescription(const std::string& text) override;
  void SetDescriptionEnabled(bool enabled) override;
  void SetStatusBarFile(const std::string& text) override;
  void SetStatusBarPort(const std::string& text) override;
  void ShowWaitDialog(bool visible) override;
  void SetOperationRunning(bool running, bool stopActive) override;
  std::optional<shell::PortChoice> ChoosePort(shell::PortDialogState& state,
                                              const shell::PortRescan& rescan) override;
  // display::StatusListener
  void StatusPanelChanged(const display::TKVStatus& panel) override;
  void SetApplicationTitle(const std::string& title) override;

  // Ticks the option items as the session's run options are (after the command line).
  void ShowRunOptions();

  // The menu item that gives `command`.
  QAction* MenuAction(view::MenuCommand command) const { return actions_.at(command); }

  // The controls, by their names.
  TKVImage* Iopen() const { return iopen_; }
  TKVImage* Iprogram() const { return iprogram_; }
  TKVImage* Itest() const { return itest_; }
  TKVImage* Irestart() const { return irestart_; }
  TKVImage* Istop() const { return istop_; }
  QLabel* Lver() const { return lver_; }
  StatusPanelView* Info1() const { return info1_; }
  QCheckBox* CBdonotscan() const { return cbDoNotScan_; }
  QLabel* StatusPanel0() const { return statusFile_; }
  QLabel* StatusPanel1() const { return statusPort_; }
  QMenu* Programowanie1() const { return programming_; }
  QMenu* Pomoc1() const { return help_; }
  QAction* Open2() const { return MenuAction(view::MenuCommand::kOpen); }
  QAction* Program2() const { return MenuAction(view::MenuCommand::kProgram); }
  QAction* Test2() const { return MenuAction(view::MenuCommand::kTest); }
  QAction* Restart2() const { return MenuAction(view::MenuCommand::kRestart); }
  QAction* Stop2() const { return MenuAction(view::MenuCommand::kStop); }
  QAction* DoNotScan() const { return MenuAction(view::MenuCommand::kDoNotScan); }
  QAction* Koniec2() const { return MenuAction(view::MenuCommand::kExit); }
  QAction* Oprogramie2() const { return MenuAction(view::MenuCommand::kAbout); }
  TFormFlashRS* FormFlashRS() const { return formFlashRS_; }
  TFormWait* FormWait() const { return formWait_; }

 protected:
  // Refused while an operation runs (or the start-up lock is on).
  void closeEvent(QCloseEvent* event) override;
  // Enter, Esc and Ctrl+S typed into the window or the wait dialog reach the application
  // during an operation, whichever of them has the focus.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void BuildMenu();
  void BuildStatusBar();
  void MenuChosen(view::MenuCommand command, bool checked);
  void SetDoNotScanState(bool on);
  void SetVerifyReadBack(bool on);
  void SetBackUp(bool on);
  std::optional<std::string> ChooseBackupFolder();
  void Forward(void (update::Application::*operation)());
  TKVImage* ImageButtonFor(view::ImageButton button) const;
  // Whether keys typed into `window` reach the application during an operation.
  bool TakesOperationKeys(const QWidget& window) const;

  update::Application* app_ = nullptr;
  QString applicationTitle_;

  TKVImage* iopen_ = nullptr;
  TKVImage* iprogram_ = nullptr;
  TKVImage* itest_ = nullptr;
  TKVImage* irestart_ = nullptr;
  TKVImage* istop_ = nullptr;
  QLabel* lver_ = nullptr;
  StatusPanelView* info1_ = nullptr;
  QCheckBox* cbDoNotScan_ = nullptr;
  QLabel* statusFile_ = nullptr;
  QLabel* statusPort_ = nullptr;
  QMenu* programming_ = nullptr;
  QMenu* help_ = nullptr;
  std::map<view::MenuCommand, QAction*> actions_;
  TFormFlashRS* formFlashRS_ = nullptr;
  TFormWait* formWait_ = nullptr;
};

}  // namespace korvex::gui
