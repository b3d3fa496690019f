#include "view/main_window_state.h"

#include <gtest/gtest.h>

namespace korvex::view {
namespace {

TEST(MainWindowStateTest, ButtonsSitInARowWithTheirHints) {
  const MainWindowState idle = MainWindowStateFor(false, false);
  const char* hints[] = {"Open File", "Program", "Test", "Restart", "Stop"};
  const int lefts[] = {8, 48, 88, 128, 168};
  for (std::size_t i = 0; i < idle.buttons.size(); ++i) {
    EXPECT_EQ(idle.buttons[i].button, kImageButtons[i]);
    EXPECT_EQ(idle.buttons[i].rect, (Rect{lefts[i], 8, 31, 31})) << hints[i];
    EXPECT_EQ(idle.buttons[i].hint, hints[i]);
  }
}

TEST(MainWindowStateTest, IdleBusyAndTheAboutTextLockTheControls) {
  struct Case {
    bool running;
    bool stopActive;
    const char* pictures[5];
    bool menus;
  };
  const Case cases[] = {
      {false, false, {"IA_open", "IA_prog", "IA_test", "IA_rest", "II_stop"}, true},
      {true, true, {"II_open", "II_prog", "II_test", "II_rest", "IA_stop"}, false},
      {true, false, {"II_open", "II_prog", "II_test", "II_rest", "II_stop"}, false},
  };
  for (const Case& c : cases) {
    const MainWindowState state = MainWindowStateFor(c.running, c.stopActive);
    EXPECT_EQ(state.menusEnabled, c.menus);
    EXPECT_EQ(state.doNotScanVisible, c.menus);
    for (std::size_t i = 0; i < state.buttons.size(); ++i) {
      EXPECT_EQ(state.buttons[i].picture, c.pictures[i]);
      // The picture alone shows whether the button takes clicks.
      EXPECT_EQ(state.buttons[i].enabled, state.buttons[i].picture.rfind("IA_", 0) == 0);
    }
  }
}

TEST(MainWindowStateTest, TheWindowTitleFollowsTheApplicationTitle) {
  const std::string caption = "KORVEX  (1.24 2025-03-12 SK)";
  EXPECT_EQ(WindowTitleFor("KORVEX"), caption);  // nothing written yet
  EXPECT_EQ(WindowTitleFor(""), caption);
  EXPECT_EQ(WindowTitleFor(caption + " - 45% - Programming"), caption + " - 45% - Programming");
  EXPECT_EQ(WindowTitleFor(caption), caption);
}

}  // namespace
}  // namespace korvex::view
