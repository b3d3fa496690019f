// Where every control of the main window, the port dialog and the wait dialog sits, and the
// fonts they use. Logical pixels (see geometry.h); the client areas exclude the menu bar and
// the window frame.
#pragma once

#include <string_view>

#include "view/geometry.h"

namespace korvex::view {

// A font as the front ends ask their toolkit for it. pointSize 0: the size is pixelSize.
struct FontSpec {
  std::string_view family;
  bool fixedPitch = false;
  bool bold = false;
  int pointSize = 0;
  int pixelSize = 0;
};

// The main window: a fixed client area with the status bar at its bottom.
inline constexpr Size kMainClient{806, 366};
inline constexpr int kStatusBarHeight = 24;
inline constexpr int kFilePanelWidth = 652;  // the status bar's first panel
inline constexpr int kImageButtonSize = 31;
inline constexpr Rect kLverRect{200, 16, 598, 25};
inline constexpr Rect kInfo1Rect{8, 52, 790, 268};
inline constexpr Rect kDoNotScanRect{8, 322, 233, 17};
// Room the window system adds around the client area at most (title bar, menu bar, borders),
// used to tell whether the window fits a screen before it exists.
inline constexpr Size kMainFrameAllowance{16, 64};

// The firmware description: right-aligned, bold fixed pitch, 16-pixel characters.
inline constexpr FontSpec kLverFont{"Courier New", true, true, 0, 16};
// The status panel's cells: "Courier New" 12 points (a fixed-pitch substitute where missing).
inline constexpr FontSpec kStatusPanelFont{"Courier New", true, false, 12, 0};

// The wait dialog: one centred line of text.
inline constexpr Size kWaitClient{234, 74};
inline constexpr Rect kWaitTextRect{16, 24, 201, 25};
inline constexpr FontSpec kWaitFont{"Sans Serif", false, false, 0, 13};

}  // namespace korvex::view
