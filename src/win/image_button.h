// An image button of the main window: a 31 x 31 picture that reports a click to its parent
// (WM_COMMAND with its control id) while it is enabled. KVenable and KVdisable set the state
// and show the picture of that state in one call; the picture alone shows the state. The
// system window stays enabled in both states so that its hint still shows on the inactive
// look; only the clicks are refused.
#pragma once

#include <windows.h>

#include <string>

namespace korvex::win {

inline constexpr int kImageButtonSize = 31;

class ImageButton {
 public:
  ImageButton() = default;
  ImageButton(const ImageButton&) = delete;
  ImageButton& operator=(const ImageButton&) = delete;
  ~ImageButton();

  // Creates the control as a child of `parent` with the control id `id`.
  void Create(HWND parent, int id);
  HWND Handle() const { return window_; }

  // Enable or disable the button, then show the picture named by `name` ("IA_open", ...),
  // an icon stored in the program's resources under the type "DATA".
  void KVenable(const std::string& name);
  void KVdisable(const std::string& name);

  bool Enabled() const { return enabled_; }
  const std::string& PictureName() const { return pictureName_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Load(const std::string& name);
  void Paint();

  HWND window_ = nullptr;
  HICON picture_ = nullptr;
  std::string pictureName_;
  bool enabled_ = false;
  bool pressed_ = false;
};

// The picture resource `name` as an icon, or null when the program does not carry it.
HICON LoadPictureResource(const std::string& name);

}  // namespace korvex::win
