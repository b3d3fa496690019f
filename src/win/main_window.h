// The main window as a native Win32 window: five image buttons (Open, Program, Test,
// Restart, Stop) with their hints, the firmware description, the status panel, the "Do not
// scan COM ports" option, the status bar with the file and the port, and the menu that
// repeats the buttons with its shortcut keys. It is the operator of an update::Application:
// it draws what the application reports and forwards clicks and keys to it; the operations
// themselves live in the application. It owns the port dialog and the wait window.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "shell/operator.h"
#include "view/menu_model.h"
#include "win/dpi.h"
#include "win/image_button.h"
#include "win/port_window.h"
#include "win/status_panel_window.h"
#include "win/wait_window.h"

namespace korvex::update {
class Application;
}

namespace korvex::win {

class MainWindow : public shell::Operator {
 public:
  // Creates the window with its port dialog and wait window; not shown yet.
  MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow() override;

  HWND Handle() const { return window_; }

  // The application whose operations the controls start. Set once before the window is
  // used; the window does not own it.
  void SetApplication(update::Application* app);

  // Shows the window centred on the screen.
  void ShowCentred();

  // Runs the message loop until the window is closed.
  void RunMessageLoop();
  // Closes the window for good (after an unattended run).
  void Destroy();

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

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void BuildControls();
  void BuildMenu();
  void BuildHints();
  void Layout();
  void Command(int id);
  void Run(view::MenuCommand command);
  void SetDoNotScanState(bool on);
  // The run options the menu sets: read-back verification and the back-up folder.
  void ShowRunOptions();
  void SetVerifyReadBack(bool on);
  void SetBackUp(bool on);
  std::optional<std::string> ChooseBackupFolder();
  void Close();
  // Handles one message of the loop: the operation keys, the menu's shortcut keys, then the
  // window procedures. False when the loop should end.
  bool Dispatch(MSG& message);
  // Enter, Esc and Ctrl+S typed into this window or the wait window while an operation runs.
  bool ForwardOperationKey(const MSG& message);

  HWND window_ = nullptr;
  HMENU menu_ = nullptr;
  HACCEL shortcuts_ = nullptr;
  HWND description_ = nullptr;
  HWND doNotScan_ = nullptr;
  HWND statusBar_ = nullptr;
  HWND hints_ = nullptr;
  HFONT descriptionFont_ = nullptr;
  HFONT controlFont_ = nullptr;
  Dpi dpi_;
  std::array<ImageButton, 5> buttons_;
  StatusPanelWindow panel_;
  PortWindow portWindow_;
  WaitWindow waitWindow_;
  update::Application* app_ = nullptr;
  bool quitting_ = false;
};

}  // namespace korvex::win
