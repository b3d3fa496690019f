// What the port dialog shows and what the operator answers. Plain data, so the operator seam
// does not depend on the link layer: the link builds the state, a front end draws it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace korvex::shell {

// One entry of the port list. Entry 0 is the no-port entry (empty name).
struct PortEntry {
  std::string text;         // label with its "&" accelerator mark, e.g. "COM&1" or "&none"
  std::string name;         // the port name to open (no accelerator mark); empty for entry 0
  bool enabled = true;      // false: the port could not be opened when it was probed
  std::string description;  // the adapter behind the port (maker, model, serial); may be empty
};

struct PortDialogState {
  std::vector<PortEntry> entries;  // entry 0 first, then the ports in list order
  std::size_t checked = 0;         // index of the checked entry
  bool fastRs = true;              // the "&Fast RS" check box
  bool scanVisible = true;         // the "Sc&an" button (hidden when probing is switched off)

  // OK is possible exactly when a port entry (not entry 0) is both checked and enabled.
  bool OkEnabled() const {
    return checked > 0 && checked < entries.size() && entries[checked].enabled;
  }
};

// The operator's answer to the dialog when it is left with OK.
struct PortChoice {
  std::string port;
  bool fastRs = false;
};

// Probes the ports again while the dialog is open (the "Sc&an" button). It rebuilds the
// entries and keeps the checked entry when it is still listed (greyed or not).
using PortRescan = std::function<void(PortDialogState&)>;

inline constexpr const char* kPortDialogCaption = "Choose port";
inline constexpr const char* kFastRsCaption = "&Fast RS";
inline constexpr const char* kPortOkCaption = "&Ok";
inline constexpr const char* kPortCancelCaption = "&Cancel";
inline constexpr const char* kPortScanCaption = "Sc&an";

}  // namespace korvex::shell
