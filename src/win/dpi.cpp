#include "win/dpi.h"

#include "shell/wide_text.h"

namespace korvex::win {

namespace {

view::Rect FromRect(const RECT& r) {
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

}  // namespace

void Place(HWND child, const Dpi& dpi, const view::Rect& logical) {
  const view::Rect device = dpi.Device(logical);
  MoveWindow(child, device.left, device.top, device.width, device.height, TRUE);
}

HFONT MakeFont(const view::FontSpec& wanted, const Dpi& dpi) {
  LOGFONTW font{};
  // A negative height asks for the character height (without internal leading).
  font.lfHeight =
      wanted.pointSize > 0 ? -MulDiv(wanted.pointSize, dpi.Value(), 72) : -dpi.Px(wanted.pixelSize);
  font.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_TT_PRECIS;
  font.lfQuality = CLEARTYPE_QUALITY;
  font.lfPitchAndFamily = static_cast<BYTE>(wanted.fixedPitch ? (FIXED_PITCH | FF_MODERN)
                                                              : (VARIABLE_PITCH | FF_SWISS));
  // "Sans Serif" names a family rather than a face: the system's dialog face stands for it.
  const std::wstring face = wanted.family == "Sans Serif"
                                ? L"MS Shell Dlg 2"
                                : shell::WideFromUtf8(std::string(wanted.family));
  lstrcpynW(font.lfFaceName, face.c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

void SetClientSize(HWND window, view::Size size, bool hasMenu, const Dpi& dpi) {
  const view::Size device = dpi.Device(size);
  RECT frame{0, 0, device.width, device.height};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  AdjustWindowRectExForDpi(&frame, style, hasMenu ? TRUE : FALSE, exStyle,
                           static_cast<UINT>(dpi.Value()));
  SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CentreWindow(HWND window, HWND owner) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  const bool overOwner = owner && IsWindowVisible(owner) && !IsIconic(owner);
  GetMonitorInfoW(MonitorFromWindow(overOwner ? owner : window, MONITOR_DEFAULTTOPRIMARY),
                  &monitor);
  const view::Rect area = FromRect(monitor.rcWork);
  RECT ownerFrame{};
  if (overOwner) GetWindowRect(owner, &ownerFrame);
  RECT frame{};
  GetWindowRect(window, &frame);
  const view::Rect centred =
      view::CentredOver(overOwner ? FromRect(ownerFrame) : area, FromRect(frame).Extent());
  const view::Rect placed = view::KeepInside(centred, area);
  SetWindowPos(window, nullptr, placed.left, placed.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace korvex::win
