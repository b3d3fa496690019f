#include "view/main_window_state.h"

#include "shell/session.h"
#include "view/accelerator.h"
#include "view/layout.h"

namespace korvex::view {

namespace {

struct ButtonFacts {
  int left;
  const char* caption;  // the menu caption the hint is made of
  const char* picture;
};

constexpr int kButtonTop = 8;

constexpr ButtonFacts Facts(ImageButton button) {
  switch (button) {
    case ImageButton::kOpen:
      return {8, "&Open File", "open"};
    case ImageButton::kProgram:
      return {48, "&Program", "prog"};
    case ImageButton::kTest:
      return {88, "&Test", "test"};
    case ImageButton::kRestart:
      return {128, "&Restart", "rest"};
    case ImageButton::kStop:
      return {168, "&Stop", "stop"};
  }
  return {0, "", ""};
}

}  // namespace

const char* PictureName(ImageButton button) {
  return Facts(button).picture;
}

std::string ActivePicture(ImageButton button) {
  return std::string("IA_") + PictureName(button);
}

std::string InactivePicture(ImageButton button) {
  return std::string("II_") + PictureName(button);
}

MainWindowState MainWindowStateFor(bool running, bool stopActive) {
  MainWindowState state;
  state.menusEnabled = !running;
  state.doNotScanVisible = !running;
  for (std::size_t i = 0; i < kImageButtons.size(); ++i) {
    const ImageButton button = kImageButtons[i];
    const ButtonFacts facts = Facts(button);
    const bool enabled = button == ImageButton::kStop ? running && stopActive : !running;
    state.buttons[i] = {button,
                        {facts.left, kButtonTop, kImageButtonSize, kImageButtonSize},
                        WithoutAccelerator(facts.caption),
                        enabled ? ActivePicture(button) : InactivePicture(button),
                        enabled};
  }
  return state;
}

std::string WindowTitleFor(const std::string& applicationTitle) {
  if (applicationTitle.empty() || applicationTitle == shell::kApplicationTitle) {
    return shell::kWindowCaption;
  }
  return applicationTitle;
}

}  // namespace korvex::view
