#include "win/wait_window.h"

#include "view/layout.h"

namespace korvex::win {

namespace {

constexpr const wchar_t* kClassName = L"KorvexWait";

void RegisterClassOnce() {
  static const ATOM atom = [] {
    WNDCLASSW cls{};
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = kClassName;
    return RegisterClassW(&cls);
  }();
  (void)atom;
}

}  // namespace

WaitWindow::~WaitWindow() {
  if (font_) DeleteObject(font_);
}

void WaitWindow::Create(HWND owner) {
  RegisterClassOnce();
  // A caption without the system menu: no close box.
  window_ =
      CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, kWaitCaption,
                      WS_POPUP | WS_CAPTION | WS_BORDER, 0, 0, view::kWaitClient.width,
                      view::kWaitClient.height, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WaitWindow::Procedure));
  text_ = CreateWindowExW(0, L"STATIC", kWaitText, WS_CHILD | WS_VISIBLE | SS_CENTER, 0, 0, 0, 0,
                          window_, nullptr, GetModuleHandleW(nullptr), nullptr);
  Layout(Dpi::Of(window_));
}

void WaitWindow::Layout(const Dpi& dpi) {
  SetClientSize(window_, view::kWaitClient, false, dpi);
  Place(text_, dpi, view::kWaitTextRect);
  if (font_) DeleteObject(font_);
  font_ = MakeFont(view::kWaitFont, dpi);
  SendMessageW(text_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
}

void WaitWindow::ShowWait(bool visible) {
  if (!visible) {
    ShowWindow(window_, SW_HIDE);
    return;
  }
  const HWND owner = GetWindow(window_, GW_OWNER);
  Layout(Dpi::Of(owner));
  CentreWindow(window_, owner);
  ShowWindow(window_, SW_SHOW);
  // Drawn at once: the run that shows it processes messages only now and then.
  RedrawWindow(window_, nullptr, nullptr,
               RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

LRESULT CALLBACK WaitWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      return 0;  // only the program hides it
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) return 0;
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace korvex::win
