// The shared layout is given in logical pixels (a 96-dpi screen); a per-monitor DPI-aware
// program scales it to the monitor its window is on.
#pragma once

#include <windows.h>

#include "view/geometry.h"
#include "view/layout.h"

namespace korvex::win {

inline constexpr int kDesignDpi = 96;

class Dpi {
 public:
  explicit Dpi(int dpi = kDesignDpi) : dpi_(dpi > 0 ? dpi : kDesignDpi) {}
  static Dpi Of(HWND window) { return Dpi(static_cast<int>(GetDpiForWindow(window))); }

  int Value() const { return dpi_; }
  double Scale() const { return static_cast<double>(dpi_) / kDesignDpi; }
  int Px(int logical) const { return view::Scaled(logical, Scale()); }
  view::Rect Device(const view::Rect& logical) const { return view::Scaled(logical, Scale()); }
  view::Size Device(const view::Size& logical) const { return view::Scaled(logical, Scale()); }

 private:
  int dpi_;
};

// Places a child window at a logical rectangle of its parent's client area.
void Place(HWND child, const Dpi& dpi, const view::Rect& logical);

// The font `wanted` at the window's DPI.
HFONT MakeFont(const view::FontSpec& wanted, const Dpi& dpi);

// Sizes a top-level window so that its client area has the logical `size`.
void SetClientSize(HWND window, view::Size size, bool hasMenu, const Dpi& dpi);

// Centres `window` over `owner`, or on its monitor's work area when `owner` is null, hidden
// or minimised; the window is kept on that work area.
void CentreWindow(HWND window, HWND owner);

}  // namespace korvex::win
