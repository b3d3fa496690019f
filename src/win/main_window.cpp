#include "win/main_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <vector>

#include "shell/session.h"
#include "shell/wide_text.h"
#include "update/application.h"
#include "view/accelerator.h"
#include "view/layout.h"
#include "view/main_window_state.h"
#include "win/message_text.h"

namespace korvex::win {

namespace {

constexpr const wchar_t* kClassName = L"KorvexMainWindow";
constexpr const wchar_t* kProgramIconName = L"KORVEX";
constexpr const wchar_t* kFileDialogTitle = L"Choose SOLANTA program";
constexpr const wchar_t* kBackupDialogTitle = L"Choose the folder for panel back-ups";
// A description and a pattern, each ended by a null character, and one more at the end.
constexpr wchar_t kFileDialogFilter[] = L"SOLANTA program (*.qfw)\0*.qfw\0";

// Control ids: a menu command's id is kCommandBase plus the command; an image button sends
// the command of its menu item (the Stop button the Stop command, whose item never acts).
constexpr int kCommandBase = 100;
constexpr int kIdDoNotScanBox = 10;
constexpr int kIdPanel = 11;
constexpr int kIdStatusBar = 12;
constexpr int kIdDescription = 13;

// The characters the window hands to the application while an operation runs.
constexpr char kEnterChar = 13;
constexpr char kCtrlSChar = 19;
constexpr char kEscChar = 27;

int IdOf(view::MenuCommand command) {
  return kCommandBase + static_cast<int>(command);
}

view::MenuCommand CommandOf(view::ImageButton button) {
  switch (button) {
    case view::ImageButton::kOpen:
      return view::MenuCommand::kOpen;
    case view::ImageButton::kProgram:
      return view::MenuCommand::kProgram;
    case view::ImageButton::kTest:
      return view::MenuCommand::kTest;
    case view::ImageButton::kRestart:
      return view::MenuCommand::kRestart;
    case view::ImageButton::kStop:
      return view::MenuCommand::kStop;
  }
  return view::MenuCommand::kStop;
}

// The virtual key of a shortcut's key: a letter, or a function key "F1".."F12".
WORD VirtualKey(std::string_view key) {
  if (key.size() > 1 && key[0] == 'F') {
    return static_cast<WORD>(VK_F1 + std::stoi(std::string(key.substr(1))) - 1);
  }
  return static_cast<WORD>(key.empty() ? 0 : key[0]);
}

// A menu item's caption with its shortcut shown after a tab.
std::wstring ItemCaption(const view::MenuItem& item) {
  std::string caption(item.caption);
  if (!item.shortcut.Empty()) {
    caption += '\t';
    caption += item.shortcut.Text();
  }
  return shell::WideFromUtf8(caption);
}

// The font the system uses for message texts, at the window's DPI.
HFONT SystemMessageFont(const Dpi& dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                  static_cast<UINT>(dpi.Value()))) {
    return MakeFont({"Sans Serif", false, false, 0, 11}, dpi);
  }
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

void RegisterClassOnce() {
  static const ATOM atom = [] {
    WNDCLASSW cls{};
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hIcon = LoadIconW(cls.hInstance, kProgramIconName);
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = kClassName;
    return RegisterClassW(&cls);
  }();
  (void)atom;
}

// The folder of the program file, where the file dialog starts without a preset.
std::wstring ProgramFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      std::wstring folder(path.data(), length);
      const std::size_t slash = folder.find_last_of(L"\\/");
      return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

MainWindow::MainWindow() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);
  RegisterClassOnce();
  // A single border with only the system menu and the minimise box: the size is fixed.
  window_ = CreateWindowExW(
      0, kClassName, shell::WideFromUtf8(shell::kWindowCaption).c_str(),
      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, CW_USEDEFAULT,
      CW_USEDEFAULT, view::kMainClient.width, view::kMainClient.height, nullptr, nullptr,
      GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindow::Procedure));
  BuildMenu();
  BuildControls();
  BuildHints();
  Layout();
  // The idle look until the application first locks and unlocks the controls.
  SetOperationRunning(false, false);
  waitWindow_.Create(window_);
}

MainWindow::~MainWindow() {
  Destroy();
  if (shortcuts_) DestroyAcceleratorTable(shortcuts_);
  if (descriptionFont_) DeleteObject(descriptionFont_);
  if (controlFont_) DeleteObject(controlFont_);
}

void MainWindow::BuildMenu() {
  menu_ = CreateMenu();
  std::vector<ACCEL> keys;
  for (const view::Menu& menu : view::MainMenu()) {
    HMENU popup = CreatePopupMenu();
    for (const view::MenuItem& item : menu.items) {
      if (item.separatorBefore) AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
      const UINT flags = MF_STRING | (item.alwaysDisabled ? MF_GRAYED : 0);
      AppendMenuW(popup, flags, static_cast<UINT_PTR>(IdOf(item.command)),
                  ItemCaption(item).c_str());
      if (!item.shortcut.Empty()) {
        const auto modifiers = static_cast<BYTE>(FVIRTKEY | (item.shortcut.ctrl ? FCONTROL : 0) |
                                                 (item.shortcut.alt ? FALT : 0));
        keys.push_back(
            {modifiers, VirtualKey(item.shortcut.key), static_cast<WORD>(IdOf(item.command))});
      }
    }
    AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                shell::WideFromUtf8(std::string(menu.caption)).c_str());
  }
  SetMenu(window_, menu_);
  shortcuts_ = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

void MainWindow::BuildControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (std::size_t i = 0; i < view::kImageButtons.size(); ++i) {
    buttons_[i].Create(window_, IdOf(CommandOf(view::kImageButtons[i])));
  }
  description_ = CreateWindowExW(
      0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_RIGHT | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0, 0,
      0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdDescription)), instance, nullptr);
  panel_.Create(window_, kIdPanel);
  // The check box and the menu item share their caption.
  const std::wstring doNotScanCaption =
      shell::WideFromUtf8(std::string(view::MenuItemFor(view::MenuCommand::kDoNotScan).caption));
  doNotScan_ = CreateWindowExW(
      0, L"BUTTON", doNotScanCaption.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
      0, 0, 0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdDoNotScanBox)), instance,
      nullptr);
  // Placed by Layout rather than by the status bar itself, so it keeps its 24 pixels.
  statusBar_ = CreateWindowExW(
      0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN, 0, 0, 0,
      0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdStatusBar)), instance, nullptr);
}

void MainWindow::BuildHints() {
  hints_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                           WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  const view::MainWindowState idle = view::MainWindowStateFor(false, false);
  for (std::size_t i = 0; i < idle.buttons.size(); ++i) {
    std::wstring hint = shell::WideFromUtf8(idle.buttons[i].hint);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(buttons_[i].Handle());
    tool.lpszText = hint.data();  // the control keeps its own copy
    SendMessageW(hints_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void MainWindow::Layout() {
  dpi_ = Dpi::Of(window_);
  SetClientSize(window_, view::kMainClient, true, dpi_);
  for (const view::ImageButtonState& button : view::MainWindowStateFor(false, false).buttons) {
    Place(buttons_[static_cast<std::size_t>(button.button)].Handle(), dpi_, button.rect);
  }
  Place(description_, dpi_, view::kLverRect);
  Place(panel_.Handle(), dpi_, view::kInfo1Rect);
  panel_.SetDpi(dpi_);
  Place(doNotScan_, dpi_, view::kDoNotScanRect);
  Place(statusBar_, dpi_,
        {0, view::kMainClient.height - view::kStatusBarHeight, view::kMainClient.width,
         view::kStatusBarHeight});
  std::array<int, 2> parts = {dpi_.Px(view::kFilePanelWidth), -1};
  SendMessageW(statusBar_, SB_SETPARTS, parts.size(), reinterpret_cast<LPARAM>(parts.data()));

  if (descriptionFont_) DeleteObject(descriptionFont_);
  if (controlFont_) DeleteObject(controlFont_);
  descriptionFont_ = MakeFont(view::kLverFont, dpi_);
  controlFont_ = SystemMessageFont(dpi_);
  SendMessageW(description_, WM_SETFONT, reinterpret_cast<WPARAM>(descriptionFont_), TRUE);
  SendMessageW(doNotScan_, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont_), TRUE);
  SendMessageW(statusBar_, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont_), TRUE);
}

void MainWindow::SetApplication(update::Application* app) {
  app_ = app;
  if (!app_) panel_.ForgetModel();
  ShowRunOptions();
  if (app_) {
    app_->Link().FormFlashRS().SetDoNotScan(IsDlgButtonChecked(window_, kIdDoNotScanBox) ==
                                            BST_CHECKED);
  }
}

void MainWindow::ShowCentred() {
  CentreWindow(window_, nullptr);
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
}

void MainWindow::Destroy() {
  if (!window_) return;
  quitting_ = true;
  DestroyWindow(window_);
  window_ = nullptr;
}

void MainWindow::Command(int id) {
  if (id == kIdDoNotScanBox) {
    SetDoNotScanState(IsDlgButtonChecked(window_, kIdDoNotScanBox) == BST_CHECKED);
  } else if (id >= kCommandBase) {
    Run(static_cast<view::MenuCommand>(id - kCommandBase));
  }
}

void MainWindow::Run(view::MenuCommand command) {
  if (!app_) return;
  switch (command) {
    case view::MenuCommand::kOpen:
      app_->OpenClick();
      break;
    case view::MenuCommand::kProgram:
      app_->ProgramClick();
      break;
    case view::MenuCommand::kTest:
      app_->TestClick();
      break;
    case view::MenuCommand::kRestart:
      app_->RestartClick();
      break;
    case view::MenuCommand::kStop:
      app_->StopClick();
      break;
    case view::MenuCommand::kDoNotScan:
      // The item ticks itself on each use.
      SetDoNotScanState(IsDlgButtonChecked(window_, kIdDoNotScanBox) != BST_CHECKED);
      break;
    case view::MenuCommand::kVerifyReadBack:
      SetVerifyReadBack(app_->Session().Options.verify != shell::VerifyMode::kReadBack);
      break;
    case view::MenuCommand::kBackUp:
      SetBackUp(app_->Session().Options.backupDir.empty());
      break;
    case view::MenuCommand::kExit:
      Close();
      break;
    case view::MenuCommand::kAbout:
      app_->AboutClick();
      break;
  }
}

void MainWindow::SetDoNotScanState(bool on) {
  // The check box and the menu item always show the same state.
  CheckDlgButton(window_, kIdDoNotScanBox, on ? BST_CHECKED : BST_UNCHECKED);
  CheckMenuItem(menu_, static_cast<UINT>(IdOf(view::MenuCommand::kDoNotScan)),
                MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  if (app_) app_->Link().FormFlashRS().SetDoNotScan(on);
}

void MainWindow::ShowRunOptions() {
  const shell::RunOptions options = app_ ? app_->Session().Options : shell::RunOptions{};
  const auto tick = [this](view::MenuCommand command, bool on) {
    CheckMenuItem(menu_, static_cast<UINT>(IdOf(command)),
                  MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  };
  tick(view::MenuCommand::kVerifyReadBack, options.verify == shell::VerifyMode::kReadBack);
  tick(view::MenuCommand::kBackUp, !options.backupDir.empty());
}

void MainWindow::SetVerifyReadBack(bool on) {
  if (app_) {
    app_->Session().Options.verify =
        on ? shell::VerifyMode::kReadBack : shell::VerifyMode::kBlockChecks;
  }
  ShowRunOptions();
}

void MainWindow::SetBackUp(bool on) {
  if (app_) {
    // Cancelling the folder dialog leaves the item unticked.
    app_->Session().Options.backupDir = on ? ChooseBackupFolder().value_or("") : "";
  }
  ShowRunOptions();
}

std::optional<std::string> MainWindow::ChooseBackupFolder() {
  BROWSEINFOW browse{};
  browse.hwndOwner = window_;
  browse.lpszTitle = kBackupDialogTitle;
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
  if (!chosen) return std::nullopt;
  std::vector<wchar_t> path(32768, L'\0');
  const bool named = SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()),
                                           GPFIDL_DEFAULT) != FALSE;
  CoTaskMemFree(chosen);
  if (!named) return std::nullopt;
  return shell::Utf8FromWide(path.data());
}

void MainWindow::Close() {
  // Refused while an operation runs (or the start-up lock is on).
  if (app_ && !app_->CanClose()) return;
  Destroy();
  PostQuitMessage(0);
}

void MainWindow::SetOperationRunning(bool running, bool stopActive) {
  const view::MainWindowState state = view::MainWindowStateFor(running, stopActive);
  const UINT menuState = state.menusEnabled ? MF_ENABLED : MF_GRAYED;
  const int menuCount = GetMenuItemCount(menu_);
  for (int i = 0; i < menuCount; ++i) {
    EnableMenuItem(menu_, static_cast<UINT>(i), MF_BYPOSITION | menuState);
  }
  for (const view::Menu& menu : view::MainMenu()) {
    for (const view::MenuItem& item : menu.items) {
      EnableMenuItem(menu_, static_cast<UINT>(IdOf(item.command)),
                     MF_BYCOMMAND | (item.alwaysDisabled ? MF_GRAYED : menuState));
    }
  }
  DrawMenuBar(window_);
  ShowWindow(doNotScan_, state.doNotScanVisible ? SW_SHOW : SW_HIDE);
  for (const view::ImageButtonState& button : state.buttons) {
    ImageButton& control = buttons_[static_cast<std::size_t>(button.button)];
    if (button.enabled) {
      control.KVenable(button.picture);
    } else {
      control.KVdisable(button.picture);
    }
  }
}

bool MainWindow::ShowMessageBox(const std::string& text, shell::MessageKind kind, bool okOnly) {
  UINT style = 0;
  const wchar_t* title = L"";
  switch (kind) {
    case shell::MessageKind::kError:
      style = MB_ICONERROR;
      title = L"Error";
      break;
    case shell::MessageKind::kInformation:
      style = MB_ICONINFORMATION;
      title = L"Information";
      break;
    case shell::MessageKind::kConfirmation:
      style = MB_ICONQUESTION;
      title = L"Confirm";
      break;
    case shell::MessageKind::kWarning:
      style = MB_ICONWARNING;
      title = L"Warning";
      break;
  }
  style |= okOnly ? MB_OK : (MB_YESNO | MB_DEFBUTTON1);
  const HWND owner = window_ && IsWindowVisible(window_) ? window_ : nullptr;
  const int answer = MessageBoxW(owner, WidenLines(text).c_str(), title, style);
  return !okOnly && answer == IDYES;
}

bool MainWindow::ForwardOperationKey(const MSG& message) {
  if (!app_ || !app_->OperationRunning() || message.message != WM_KEYDOWN) return false;
  const HWND root = GetAncestor(message.hwnd, GA_ROOT);
  if (root != window_ && root != waitWindow_.Handle()) return false;
  const bool control = GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0;
  char key = 0;
  if (message.wParam == VK_RETURN) {
    key = kEnterChar;
  } else if (message.wParam == VK_ESCAPE) {
    key = kEscChar;
  } else if (message.wParam == 'S' && control) {
    key = kCtrlSChar;
  } else {
    return false;
  }
  app_->KeyPress(key);
  return true;
}

bool MainWindow::Dispatch(MSG& message) {
  if (message.message == WM_QUIT) return false;
  if (ForwardOperationKey(message)) return true;
  if (window_ && GetAncestor(message.hwnd, GA_ROOT) == window_ &&
      TranslateAcceleratorW(window_, shortcuts_, &message)) {
    return true;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
  return true;
}

void MainWindow::ProcessMessages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!Dispatch(message)) {
      // Leave the end of the loop to the loop that waits for it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
  }
}

void MainWindow::RunMessageLoop() {
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!Dispatch(message)) break;
  }
}

std::optional<std::string> MainWindow::ChooseFirmwareFile(const std::string& presetName) {
  const std::wstring preset = shell::WideFromUtf8(presetName);
  const std::size_t slash = preset.find_last_of(L"\\/");
  std::wstring folder = slash == std::wstring::npos ? std::wstring() : preset.substr(0, slash);
  std::wstring name = slash == std::wstring::npos ? preset : preset.substr(slash + 1);
  if (folder.empty()) folder = ProgramFolder();
  if (name.find(L'*') != std::wstring::npos) name.clear();

  std::vector<wchar_t> chosen(32768, L'\0');
  name.copy(chosen.data(), std::min(name.size(), chosen.size() - 1));
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = kFileDialogFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = chosen.data();
  dialog.nMaxFile = static_cast<DWORD>(chosen.size());
  dialog.lpstrInitialDir = folder.c_str();
  dialog.lpstrTitle = kFileDialogTitle;
  dialog.Flags =
      OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&dialog)) return std::nullopt;
  return shell::Utf8FromWide(chosen.data());
}

void MainWindow::ShowDescription(const std::string& text) {
  SetWindowTextW(description_, shell::WideFromUtf8(text).c_str());
}

void MainWindow::SetDescriptionEnabled(bool enabled) {
  EnableWindow(description_, enabled ? TRUE : FALSE);
}

void MainWindow::SetStatusBarFile(const std::string& text) {
  SendMessageW(statusBar_, SB_SETTEXTW, 0,
               reinterpret_cast<LPARAM>(shell::WideFromUtf8(text).c_str()));
}

void MainWindow::SetStatusBarPort(const std::string& text) {
  SendMessageW(statusBar_, SB_SETTEXTW, 1,
               reinterpret_cast<LPARAM>(shell::WideFromUtf8(text).c_str()));
}

void MainWindow::ShowWaitDialog(bool visible) {
  waitWindow_.ShowWait(visible);
}

std::optional<shell::PortChoice> MainWindow::ChoosePort(shell::PortDialogState& state,
                                                        const shell::PortRescan& rescan) {
  return portWindow_.Choose(window_, state, rescan);
}

void MainWindow::StatusPanelChanged(const display::TKVStatus& panel) {
  panel_.ShowPanel(panel);
}

// The taskbar shows the window's text, so it follows the status panel's latest line.
void MainWindow::SetApplicationTitle(const std::string& title) {
  if (window_) SetWindowTextW(window_, shell::WideFromUtf8(view::WindowTitleFor(title)).c_str());
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || self->window_ != window) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wParam));
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_SYSCOMMAND:
      // A tap of Alt or F10 would open the menu bar's keyboard loop, which holds the running
      // operation until the operator leaves it; the menus are locked while busy anyway.
      if ((wParam & 0xFFF0) == SC_KEYMENU && app_ && app_->OperationRunning()) return 0;
      return DefWindowProcW(window_, message, wParam, lParam);
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

}  // namespace korvex::win
