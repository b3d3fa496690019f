#include "view/menu_model.h"

#include <stdexcept>

namespace korvex::view {

std::string Shortcut::Text() const {
  if (Empty()) return {};
  std::string text;
  if (ctrl) text += "Ctrl+";
  if (alt) text += "Alt+";
  text += key;
  return text;
}

namespace {

std::vector<Menu> BuildMainMenu() {
  Menu programming{"&Programming", {}};
  programming.items = {
      {MenuCommand::kOpen, "&Open File", {true, false, "O"}},
      {MenuCommand::kProgram, "&Program", {true, false, "P"}},
      {MenuCommand::kTest, "&Test", {true, false, "T"}},
      {MenuCommand::kRestart, "&Restart", {true, false, "R"}},
      // The caption shows the key; the key itself is handled by the window while busy.
      {MenuCommand::kStop, "&Stop\tCtrl+S", {}, false, false, true},
      {MenuCommand::kDoNotScan, "Do &not scan COM ports", {true, false, "N"}, true, true},
      // Options beyond the operator's usual ones; both act on the next Program run.
      {MenuCommand::kVerifyReadBack, "&Verify by reading back", {}, true, true},
      {MenuCommand::kBackUp, "&Back up panel to folder...", {}, true, false, false, true},
      {MenuCommand::kExit, "&Exit", {false, true, "F4"}, false, true},
  };
  Menu help{"&Help", {{MenuCommand::kAbout, "&About", {}}}};
  return {programming, help};
}

}  // namespace

const std::vector<Menu>& MainMenu() {
  // Built once and never changed: a constant table, not shared mutable state.
  static const std::vector<Menu> menu = BuildMainMenu();
  return menu;
}

const MenuItem& MenuItemFor(MenuCommand command) {
  for (const Menu& menu : MainMenu()) {
    for (const MenuItem& item : menu.items) {
      if (item.command == command) return item;
    }
  }
  throw std::logic_error("menu command without an item");
}

}  // namespace korvex::view
