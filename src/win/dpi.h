// The window's geometry is given in pixels at 96 dots per inch; a per-monitor DPI-aware
// program scales it to the monitor it is on.
#pragma once

#include <windows.h>

namespace korvex::win {

inline constexpr int kDesignDpi = 96;

class Dpi {
 public:
  explicit Dpi(int dpi = kDesignDpi) : dpi_(dpi > 0 ? dpi : kDesignDpi) {}
  static Dpi Of(HWND window) { return Dpi(static_cast<int>(GetDpiForWindow(window))); }

  int Value() const { return dpi_; }
  int Px(int designPixels) const { return MulDiv(designPixels, dpi_, kDesignDpi); }
  RECT Rect(int left, int top, int width, int height) const {
    return RECT{Px(left), Px(top), Px(left + width), Px(top + height)};
  }

 private:
  int dpi_;
};

// Places a child window at a design-pixel rectangle.
inline void Place(HWND child, const Dpi& dpi, int left, int top, int width, int height) {
  MoveWindow(child, dpi.Px(left), dpi.Px(top), dpi.Px(width), dpi.Px(height), TRUE);
}

// A font `pixels` high (character height, design pixels) at the window's DPI.
HFONT MakeFont(const wchar_t* face, int pixels, bool bold, const Dpi& dpi, bool fixedPitch);

// Sizes a top-level window so that its client area is width x height design pixels.
void SetClientSize(HWND window, int width, int height, bool hasMenu, const Dpi& dpi);

// Centres `window` over `owner`, or on the owner's monitor's work area when `owner` is null.
void CentreWindow(HWND window, HWND owner);

}  // namespace korvex::win
