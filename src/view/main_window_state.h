// What the main window shows in its idle and busy states: the five image buttons (place,
// hint, picture, whether they take clicks), the menus and the "do not scan" check box. Both
// window front ends apply the same state; neither decides it.
#pragma once

#include <array>
#include <string>

#include "view/geometry.h"

namespace korvex::view {

enum class ImageButton { kOpen, kProgram, kTest, kRestart, kStop };

inline constexpr std::array<ImageButton, 5> kImageButtons{ImageButton::kOpen, ImageButton::kProgram,
                                                          ImageButton::kTest, ImageButton::kRestart,
                                                          ImageButton::kStop};

struct ImageButtonState {
  ImageButton button = ImageButton::kOpen;
  Rect rect;            // in the client area
  std::string hint;     // the tooltip: the menu caption without its "&"
  std::string picture;  // the resource name: "IA_" active look, "II_" inactive look
  bool enabled = false;
};

struct MainWindowState {
  std::array<ImageButtonState, 5> buttons;  // in the order of kImageButtons
  bool menusEnabled = true;                 // "&Programming" and "&Help" with all their items
  bool doNotScanVisible = true;             // the check box
};

// The pictures of a button: "IA_" + name is the active look, "II_" + name the inactive one.
const char* PictureName(ImageButton button);  // "open", "prog", "test", "rest", "stop"
std::string ActivePicture(ImageButton button);
std::string InactivePicture(ImageButton button);

// Idle (`running` false): every operation button active, Stop inactive, menus and check box
// available. Busy: everything locked; Stop active only when `stopActive` (there is nothing
// to stop while the about text is up).
MainWindowState MainWindowStateFor(bool running, bool stopActive);

// The title the window shows, so that a taskbar (and a minimised window) follows the run:
// the application title the status panel derives (the caption, or the caption with the latest
// line or progress), or the window caption while the application title is still the bare
// program name.
std::string WindowTitleFor(const std::string& applicationTitle);

}  // namespace korvex::view
