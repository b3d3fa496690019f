#include "view/menu_model.h"

#include <gtest/gtest.h>

#include <set>

#include "view/accelerator.h"

namespace korvex::view {
namespace {

TEST(MenuModelTest, CaptionsShortcutsAndChecks) {
  struct Expected {
    MenuCommand command;
    const char* caption;
    const char* shortcut;
    bool checkable;
  };
  const Expected items[] = {
      {MenuCommand::kOpen, "&Open File", "Ctrl+O", false},
      {MenuCommand::kProgram, "&Program", "Ctrl+P", false},
      {MenuCommand::kTest, "&Test", "Ctrl+T", false},
      {MenuCommand::kRestart, "&Restart", "Ctrl+R", false},
      {MenuCommand::kStop, "&Stop\tCtrl+S", "", false},
      {MenuCommand::kDoNotScan, "Do &not scan COM ports", "Ctrl+N", true},
      {MenuCommand::kVerifyReadBack, "&Verify by reading back", "", true},
      {MenuCommand::kBackUp, "&Back up panel to folder...", "", true},
      {MenuCommand::kExit, "&Exit", "Alt+F4", false},
      {MenuCommand::kAbout, "&About", "", false},
  };
  for (const Expected& e : items) {
    const MenuItem& item = MenuItemFor(e.command);
    EXPECT_EQ(item.caption, e.caption);
    EXPECT_EQ(item.shortcut.Text(), e.shortcut) << e.caption;
    EXPECT_EQ(item.checkable, e.checkable) << e.caption;
  }
  ASSERT_EQ(MainMenu().size(), 2u);
  EXPECT_EQ(MainMenu()[0].caption, "&Programming");
  EXPECT_EQ(MainMenu()[1].caption, "&Help");
  EXPECT_TRUE(MenuItemFor(MenuCommand::kStop).alwaysDisabled);
  EXPECT_TRUE(MenuItemFor(MenuCommand::kBackUp).asksForFolder);
}

TEST(MenuModelTest, EachMenuGivesEveryAcceleratorAndShortcutOnce) {
  std::set<std::string> shortcuts;
  for (const Menu& menu : MainMenu()) {
    std::set<char> accelerators;
    for (const MenuItem& item : menu.items) {
      const char key = AcceleratorOf(item.caption);
      ASSERT_NE(key, 0) << item.caption;
      EXPECT_TRUE(accelerators.insert(static_cast<char>(std::tolower(key))).second) << item.caption;
      if (!item.shortcut.Empty()) {
        EXPECT_TRUE(shortcuts.insert(item.shortcut.Text()).second) << item.caption;
      }
    }
  }
}

}  // namespace
}  // namespace korvex::view
