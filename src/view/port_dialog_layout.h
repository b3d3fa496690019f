// The port dialog "Choose port" as both windows draw it: the list of entries (one radio button
// per port after the no-port entry), the "&Fast RS" box and the OK, Cancel and "Sc&an"
// buttons. Entries show the port's full name with its accelerator and, where the port list
// knows one, the adapter's description, so two adapters can be told apart; the list and the
// dialog grow to the widest entry while keeping the dialog's arrangement.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "shell/port_choice.h"
#include "view/geometry.h"

namespace korvex::view {

// The dialog at its smallest: entries 64 wide in a 98-wide list.
inline constexpr Size kPortDialogClient{286, 168};
inline constexpr int kPortEntryLeft = 8;
inline constexpr int kPortEntryTop = 8;
inline constexpr int kPortEntryHeight = 17;
inline constexpr int kPortEntryMinWidth = 64;
// An entry never grows beyond this; a longer description is cut off at the list's edge.
inline constexpr int kPortEntryMaxWidth = 560;

struct PortDialogEntry {
  std::string text;      // the label, with its "&" accelerator mark
  char accelerator = 0;  // the marked character, 0 without one
  Rect rect;             // in the list's scrolled area
  bool enabled = true;
  bool checked = false;
};

struct PortDialogLayout {
  Size client;
  Rect list;  // the scrolling list of entries
  Size listContent;
  Rect fastRs;
  Rect ok;
  Rect cancel;
  Rect scan;
  std::vector<PortDialogEntry> entries;
};

// The label of an entry: its accelerated name, then two spaces and the description if any.
std::string PortEntryLabel(const shell::PortEntry& entry);

// The layout for `state`. `widestEntry` is the width, in logical pixels, that the widest entry
// needs as the front end measures it: its radio mark and its label in the dialog's font.
PortDialogLayout LayOutPortDialog(const shell::PortDialogState& state, int widestEntry);

}  // namespace korvex::view
