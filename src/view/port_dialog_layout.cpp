#include "view/port_dialog_layout.h"

#include <algorithm>

#include "view/accelerator.h"

namespace korvex::view {

namespace {

// The list at its smallest is 98 wide: the entries' left margin, 64 for the entry and room
// for the vertical scroll bar.
constexpr Rect kMinList{8, 8, 98, 124};
constexpr Rect kFastRs{120, 16, 161, 17};
constexpr Rect kOk{160, 72, 73, 25};
constexpr Rect kCancel{144, 112, 105, 25};
constexpr Rect kScan{8, 136, 97, 25};

Rect MovedRight(Rect rect, int by) {
  rect.left += by;
  return rect;
}

}  // namespace

std::string PortEntryLabel(const shell::PortEntry& entry) {
  if (entry.description.empty()) return entry.text;
  return entry.text + "  " + entry.description;
}

PortDialogLayout LayOutPortDialog(const shell::PortDialogState& state, int widestEntry) {
  const int entryWidth = std::clamp(widestEntry, kPortEntryMinWidth, kPortEntryMaxWidth);
  const int grow = entryWidth - kPortEntryMinWidth;

  PortDialogLayout layout;
  layout.client = {kPortDialogClient.width + grow, kPortDialogClient.height};
  layout.list = kMinList;
  layout.list.width += grow;
  layout.fastRs = MovedRight(kFastRs, grow);
  layout.ok = MovedRight(kOk, grow);
  layout.cancel = MovedRight(kCancel, grow);
  layout.scan = kScan;

  const int count = static_cast<int>(state.entries.size());
  layout.listContent = {kPortEntryLeft + entryWidth,
                        kPortEntryTop + (kPortEntryHeight + 1) * count};
  for (std::size_t i = 0; i < state.entries.size(); ++i) {
    const shell::PortEntry& entry = state.entries[i];
    const std::string label = PortEntryLabel(entry);
    layout.entries.push_back(
        {label,
         AcceleratorOf(label),
         {kPortEntryLeft, kPortEntryTop + (kPortEntryHeight + 1) * static_cast<int>(i), entryWidth,
          kPortEntryHeight},
         entry.enabled,
         i == state.checked});
  }
  return layout;
}

}  // namespace korvex::view
