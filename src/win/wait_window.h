// The small "Information" / "Wait..." window shown, without blocking the main window, while
// the panel restarts. It has no close box and refuses every close request (Alt+F4
// included); the program hides it when the wait ends.
#pragma once

#include <windows.h>

#include "win/dpi.h"

namespace korvex::win {

inline constexpr const wchar_t* kWaitCaption = L"Information";
inline constexpr const wchar_t* kWaitText = L"Wait...";

class WaitWindow {
 public:
  WaitWindow() = default;
  WaitWindow(const WaitWindow&) = delete;
  WaitWindow& operator=(const WaitWindow&) = delete;
  ~WaitWindow();

  // Creates the window, owned by `owner`, hidden.
  void Create(HWND owner);
  HWND Handle() const { return window_; }

  // Shows the window centred on its owner (not modal), or hides it.
  void ShowWait(bool visible);

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Layout(const Dpi& dpi);

  HWND window_ = nullptr;
  HWND text_ = nullptr;
  HFONT font_ = nullptr;
};

}  // namespace korvex::win
