// The port dialog's logic without its drawing: the list of ports with the no-port entry,
// which entries can be chosen (probing the ports unless probing is switched off), the
// "&Fast RS" box, and when OK is possible. The window and the terminal front end draw the
// state it builds (shell::PortDialogState) and hand back the operator's choice.
#pragma once

#include "link/tkvrs.h"
#include "shell/operator.h"
#include "shell/port_choice.h"

namespace korvex::link {

class PortDialog {
 public:
  // Builds the list once without probing, as when the program starts.
  explicit PortDialog(TKVRS& kvrs);

  // The main window's "Do not scan COM ports" option: no probing, no Scan button.
  bool DoNotScan() const { return doNotScan_; }
  void SetDoNotScan(bool doNotScan) { doNotScan_ = doNotScan; }
  // The "&Fast RS" box; it keeps the operator's last choice (checked at first).
  bool FastRs() const { return fastRs_; }
  void SetFastRs(bool fastRs) { fastRs_ = fastRs; }

  // Each showing and each Scan: rebuilds the list, probes the ports unless DoNotScan, and
  // checks the port that was checked before if it is still listed (even when now greyed).
  void FormShow();
  // What the front end shows.
  shell::PortDialogState State() const;
  // OK is possible exactly when a port entry is both checked and enabled.
  bool OkEnabled() const { return State().OkEnabled(); }

  // Shows the dialog through the operator. True when it was left with OK and a port:
  // SelectedPort is then that port and FastRs the box's state.
  bool Run(shell::Operator& op);

 private:
  void ApplyFrontEndState(const shell::PortDialogState& state);

  TKVRS& kvrs_;
  bool doNotScan_ = false;
  bool fastRs_ = true;
};

}  // namespace korvex::link
