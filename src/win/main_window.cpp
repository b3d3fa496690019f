#include "win/main_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "shell/session.h"
#include "update/application.h"
#include "win/wide_text.h"

namespace korvex::win {

namespace {

constexpr const wchar_t* kClassName = L"KorvexMainWindow";
constexpr const wchar_t* kProgramIconName = L"KORVEX";
constexpr const wchar_t* kFileDialogTitle = L"Choose SOLANTA program";
// A description and a pattern, each ended by a null character, and one more at the end.
constexpr wchar_t kFileDialogFilter[] = L"SOLANTA program (*.qfw)\0*.qfw\0";
constexpr const wchar_t* kDescriptionFace = L"Courier New";
constexpr int kDescriptionPixels = 16;

// Control ids; a menu item that repeats a button sends the button's id.
enum ControlId : int {
  kIdOpen = 1,
  kIdProgram,
  kIdTest,
  kIdRestart,
  kIdStop,
  kIdStopItem,
  kIdDoNotScanItem,
  kIdDoNotScanBox,
  kIdExit,
  kIdAbout,
  kIdPanel,
  kIdStatusBar,
  kIdDescription,
};

// The characters the window hands to the application while an operation runs.
constexpr char kEnterChar = 13;
constexpr char kCtrlSChar = 19;
constexpr char kEscChar = 27;

struct ButtonInfo {
  int id;
  int left;
  const char* caption;  // the menu caption; the hint is the caption without "&"
  const char* picture;  // after "IA_" (active) or "II_" (inactive)
};
constexpr std::array<ButtonInfo, 5> kButtons = {{
    {kIdOpen, 8, "&Open File", "open"},
    {kIdProgram, 48, "&Program", "prog"},
    {kIdTest, 88, "&Test", "test"},
    {kIdRestart, 128, "&Restart", "rest"},
    {kIdStop, 168, "&Stop", "stop"},
}};
constexpr int kButtonTop = 8;
constexpr std::size_t kStopButton = 4;

std::wstring HintOf(const char* caption) {
  std::wstring hint;
  for (wchar_t ch : Widen(caption)) {
    if (ch != L'&') hint += ch;
  }
  return hint;
}

std::string Active(const char* picture) {
  return std::string("IA_") + picture;
}
std::string Inactive(const char* picture) {
  return std::string("II_") + picture;
}

// The font the system uses for message texts, at the window's DPI.
HFONT SystemMessageFont(const Dpi& dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                  static_cast<UINT>(dpi.Value()))) {
    return MakeFont(L"MS Shell Dlg 2", 11, false, dpi, false);
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
  applicationTitle_ = Widen(shell::kApplicationTitle);
  // A single border with only the system menu and the minimise box: the size is fixed.
  window_ =
      CreateWindowExW(0, kClassName, Widen(shell::kWindowCaption).c_str(),
                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                      CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth, kClientHeight, nullptr, nullptr,
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
  programming_ = CreatePopupMenu();
  auto item = [this](int id, const wchar_t* caption) {
    AppendMenuW(programming_, MF_STRING, static_cast<UINT_PTR>(id), caption);
  };
  item(kIdOpen, L"&Open File\tCtrl+O");
  item(kIdProgram, L"&Program\tCtrl+P");
  item(kIdTest, L"&Test\tCtrl+T");
  item(kIdRestart, L"&Restart\tCtrl+R");
  // Only shows the key that stops an operation; the key itself is ForwardOperationKey's.
  item(kIdStopItem, L"&Stop\tCtrl+S");
  AppendMenuW(programming_, MF_SEPARATOR, 0, nullptr);
  item(kIdDoNotScanItem, L"Do &not scan COM ports\tCtrl+N");
  AppendMenuW(programming_, MF_SEPARATOR, 0, nullptr);
  item(kIdExit, L"&Exit\tAlt+F4");
  help_ = CreatePopupMenu();
  AppendMenuW(help_, MF_STRING, kIdAbout, L"&About");
  AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(programming_), L"&Programming");
  AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(help_), L"&Help");
  SetMenu(window_, menu_);

  std::array<ACCEL, 6> keys = {{
      {FCONTROL | FVIRTKEY, 'O', kIdOpen},
      {FCONTROL | FVIRTKEY, 'P', kIdProgram},
      {FCONTROL | FVIRTKEY, 'T', kIdTest},
      {FCONTROL | FVIRTKEY, 'R', kIdRestart},
      {FCONTROL | FVIRTKEY, 'N', kIdDoNotScanItem},
      {FALT | FVIRTKEY, VK_F4, kIdExit},
  }};
  shortcuts_ = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

void MainWindow::BuildControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  for (std::size_t i = 0; i < kButtons.size(); ++i) buttons_[i].Create(window_, kButtons[i].id);
  description_ = CreateWindowExW(
      0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_RIGHT | SS_CENTERIMAGE | SS_NOPREFIX, 0, 0, 0,
      0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdDescription)), instance, nullptr);
  panel_.Create(window_, kIdPanel);
  doNotScan_ = CreateWindowExW(
      0, L"BUTTON", L"Do &not scan COM ports", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
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
  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    std::wstring hint = HintOf(kButtons[i].caption);
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
  SetClientSize(window_, kClientWidth, kClientHeight, true, dpi_);
  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    Place(buttons_[i].Handle(), dpi_, kButtons[i].left, kButtonTop, kImageButtonSize,
          kImageButtonSize);
  }
  Place(description_, dpi_, 200, 16, 598, 25);
  Place(panel_.Handle(), dpi_, 8, 52, kStatusPanelWidth, kStatusPanelHeight);
  panel_.SetDpi(dpi_);
  Place(doNotScan_, dpi_, 8, 322, 233, 17);
  Place(statusBar_, dpi_, 0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight);
  std::array<int, 2> parts = {dpi_.Px(kFilePanelWidth), -1};
  SendMessageW(statusBar_, SB_SETPARTS, parts.size(), reinterpret_cast<LPARAM>(parts.data()));

  if (descriptionFont_) DeleteObject(descriptionFont_);
  if (controlFont_) DeleteObject(controlFont_);
  descriptionFont_ = MakeFont(kDescriptionFace, kDescriptionPixels, true, dpi_, true);
  controlFont_ = SystemMessageFont(dpi_);
  SendMessageW(description_, WM_SETFONT, reinterpret_cast<WPARAM>(descriptionFont_), TRUE);
  SendMessageW(doNotScan_, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont_), TRUE);
  SendMessageW(statusBar_, WM_SETFONT, reinterpret_cast<WPARAM>(controlFont_), TRUE);
}

void MainWindow::SetApplication(update::Application* app) {
  app_ = app;
  if (app_) {
    app_->Link().FormFlashRS.SetDoNotScan(IsDlgButtonChecked(window_, kIdDoNotScanBox) ==
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
  if (!app_) return;
  switch (id) {
    case kIdOpen:
      app_->OpenClick();
      break;
    case kIdProgram:
      app_->ProgramClick();
      break;
    case kIdTest:
      app_->TestClick();
      break;
    case kIdRestart:
      app_->RestartClick();
      break;
    case kIdStop:
      app_->StopClick();
      break;
    case kIdDoNotScanItem:
      // The item ticks itself on each use.
      SetDoNotScanState(IsDlgButtonChecked(window_, kIdDoNotScanBox) != BST_CHECKED);
      break;
    case kIdDoNotScanBox:
      SetDoNotScanState(IsDlgButtonChecked(window_, kIdDoNotScanBox) == BST_CHECKED);
      break;
    case kIdExit:
      Close();
      break;
    case kIdAbout:
      app_->AboutClick();
      break;
    default:
      break;
  }
}

void MainWindow::SetDoNotScanState(bool on) {
  // The check box and the menu item always show the same state.
  CheckDlgButton(window_, kIdDoNotScanBox, on ? BST_CHECKED : BST_UNCHECKED);
  CheckMenuItem(programming_, kIdDoNotScanItem, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
  if (app_) app_->Link().FormFlashRS.SetDoNotScan(on);
}

void MainWindow::Close() {
  // Refused while an operation runs (or the start-up lock is on).
  if (app_ && !app_->CanClose()) return;
  Destroy();
  PostQuitMessage(0);
}

void MainWindow::SetOperationRunning(bool running, bool stopActive) {
  const UINT state = running ? MF_GRAYED : MF_ENABLED;
  EnableMenuItem(menu_, 0, MF_BYPOSITION | state);
  EnableMenuItem(menu_, 1, MF_BYPOSITION | state);
  for (int id : {kIdOpen, kIdProgram, kIdTest, kIdRestart, kIdDoNotScanItem, kIdExit}) {
    EnableMenuItem(programming_, static_cast<UINT>(id), MF_BYCOMMAND | state);
  }
  EnableMenuItem(help_, kIdAbout, MF_BYCOMMAND | state);
  EnableMenuItem(programming_, kIdStopItem, MF_BYCOMMAND | MF_GRAYED);
  DrawMenuBar(window_);
  ShowWindow(doNotScan_, running ? SW_HIDE : SW_SHOW);
  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    const bool enabled = i == kStopButton ? running && stopActive : !running;
    if (enabled) {
      buttons_[i].KVenable(Active(kButtons[i].picture));
    } else {
      buttons_[i].KVdisable(Inactive(kButtons[i].picture));
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
  const std::wstring preset = Widen(presetName);
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
  return Narrow(chosen.data());
}

void MainWindow::ShowDescription(const std::string& text) {
  SetWindowTextW(description_, Widen(text).c_str());
}

void MainWindow::SetDescriptionEnabled(bool enabled) {
  EnableWindow(description_, enabled ? TRUE : FALSE);
}

void MainWindow::SetStatusBarFile(const std::string& text) {
  SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

void MainWindow::SetStatusBarPort(const std::string& text) {
  SendMessageW(statusBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(Widen(text).c_str()));
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

void MainWindow::SetApplicationTitle(const std::string& title) {
  applicationTitle_ = Widen(title);
  ShowTaskbarText();
}

// The taskbar shows the text of a minimised window: then it is the application title, which
// follows the status panel's latest line; on screen it is the window caption.
void MainWindow::ShowTaskbarText() {
  if (!window_) return;
  const std::wstring text = IsIconic(window_) ? applicationTitle_ : Widen(shell::kWindowCaption);
  SetWindowTextW(window_, text.c_str());
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
    case WM_SIZE:
      ShowTaskbarText();
      return 0;
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
