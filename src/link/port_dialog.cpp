#include "link/port_dialog.h"

namespace korvex::link {

PortDialog::PortDialog(TKVRS& kvrs) : kvrs_(kvrs) {
  kvrs_.KVinit(true);
  kvrs_.CheckAvail(true);
}

void PortDialog::FormShow() {
  const std::string remembered = kvrs_.SelectedPort();
  kvrs_.KVinit(true);
  kvrs_.CheckAvail(doNotScan_);
  std::size_t checked = 0;
  for (int i = 1; i <= kvrs_.PortCount(); ++i) {
    if (!remembered.empty() && kvrs_.PortNames(i) == remembered)
      checked = static_cast<std::size_t>(i);
  }
  kvrs_.PortButtonClick(checked);
}

shell::PortDialogState PortDialog::State() const {
  shell::PortDialogState state;
  const auto& buttons = kvrs_.PortButtons();
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const std::string name = i == 0 ? std::string() : kvrs_.PortNames(static_cast<int>(i));
    const std::string description =
        i == 0 ? std::string() : kvrs_.PortDescription(static_cast<int>(i));
    state.entries.push_back({buttons[i].text, name, buttons[i].enabled, description});
    if (buttons[i].checked) state.checked = i;
  }
  state.fastRs = fastRs_;
  state.scanVisible = !doNotScan_;
  return state;
}

void PortDialog::ApplyFrontEndState(const shell::PortDialogState& state) {
  fastRs_ = state.fastRs;
  if (state.checked < kvrs_.PortButtons().size()) kvrs_.PortButtonClick(state.checked);
}

bool PortDialog::Run(shell::Operator& op) {
  FormShow();
  shell::PortDialogState state = State();
  const shell::PortRescan rescan = [this](shell::PortDialogState& shown) {
    ApplyFrontEndState(shown);
    FormShow();
    shown = State();
  };
  const std::optional<shell::PortChoice> choice = op.ChoosePort(state, rescan);
  fastRs_ = state.fastRs;
  if (!choice || choice->port.empty()) return false;

  for (int i = 1; i <= kvrs_.PortCount(); ++i) {
    if (kvrs_.PortNames(i) != choice->port) continue;
    // A greyed port cannot be confirmed.
    if (!kvrs_.PortButtons()[static_cast<std::size_t>(i)].enabled) return false;
    kvrs_.PortButtonClick(static_cast<std::size_t>(i));
    fastRs_ = choice->fastRs;
    return true;
  }
  // A port the list does not show (a device path the operator typed in a terminal).
  kvrs_.SetSelectedPort(choice->port);
  fastRs_ = choice->fastRs;
  return true;
}

}  // namespace korvex::link
