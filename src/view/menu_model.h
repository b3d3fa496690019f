// The main window's menu: its menus, items, captions (with their "&" accelerator marks),
// shortcuts, check marks and the commands the items give. Each front end builds its native
// menu from this model and hands the command of a chosen item to its handler.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvex::view {

enum class MenuCommand {
  kOpen,
  kProgram,
  kTest,
  kRestart,
  kStop,  // shows the key that stops an operation; never enabled
  kDoNotScan,
  kVerifyReadBack,  // the next runs verify by reading the program back
  kBackUp,          // the next Program runs back the panel up into a folder first
  kExit,
  kAbout,
};

// A key combination. `key` is an upper-case letter 'A'..'Z' or a function key "F1".."F12".
struct Shortcut {
  bool ctrl = false;
  bool alt = false;
  std::string_view key;

  bool Empty() const { return key.empty(); }
  // "Ctrl+O", "Alt+F4": the portable text both toolkits parse and show.
  std::string Text() const;
  friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

struct MenuItem {
  MenuCommand command = MenuCommand::kOpen;
  std::string_view caption;
  Shortcut shortcut;
  bool checkable = false;
  bool separatorBefore = false;
  bool alwaysDisabled = false;
  // Ticking the item asks for a folder first; cancelling that leaves it unticked.
  bool asksForFolder = false;
};

struct Menu {
  std::string_view caption;
  std::vector<MenuItem> items;
};

// The menu bar: "&Programming" and "&Help".
const std::vector<Menu>& MainMenu();

// The item that gives `command`; every command has exactly one.
const MenuItem& MenuItemFor(MenuCommand command);

}  // namespace korvex::view
