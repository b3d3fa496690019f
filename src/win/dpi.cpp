#include "win/dpi.h"

namespace korvex::win {

HFONT MakeFont(const wchar_t* face, int pixels, bool bold, const Dpi& dpi, bool fixedPitch) {
  LOGFONTW font{};
  font.lfHeight = -dpi.Px(pixels);
  font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfOutPrecision = OUT_TT_PRECIS;
  font.lfQuality = CLEARTYPE_QUALITY;
  font.lfPitchAndFamily =
      static_cast<BYTE>(fixedPitch ? (FIXED_PITCH | FF_MODERN) : (VARIABLE_PITCH | FF_SWISS));
  lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
  return CreateFontIndirectW(&font);
}

void SetClientSize(HWND window, int width, int height, bool hasMenu, const Dpi& dpi) {
  RECT frame{0, 0, dpi.Px(width), dpi.Px(height)};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  AdjustWindowRectExForDpi(&frame, style, hasMenu ? TRUE : FALSE, exStyle,
                           static_cast<UINT>(dpi.Value()));
  SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CentreWindow(HWND window, HWND owner) {
  RECT area{};
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &area);
  } else {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    area = monitor.rcWork;
  }
  RECT frame{};
  GetWindowRect(window, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(window, nullptr, (area.left + area.right - width) / 2,
               (area.top + area.bottom - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace korvex::win
