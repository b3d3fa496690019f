#include "view/port_dialog_layout.h"

#include <gtest/gtest.h>

namespace korvex::view {
namespace {

shell::PortDialogState State(std::vector<shell::PortEntry> entries, std::size_t checked = 0) {
  shell::PortDialogState state;
  state.entries = std::move(entries);
  state.checked = checked;
  return state;
}

TEST(PortDialogLayoutTest, ShortNamesKeepTheDialogAsDesigned) {
  const PortDialogLayout layout = LayOutPortDialog(
      State({{"&none", "", true, ""}, {"COM&1", "COM1", true, ""}, {"COM&2", "COM2", false, ""}},
            1),
      40);
  EXPECT_EQ(layout.client, (Size{286, 168}));
  EXPECT_EQ(layout.list, (Rect{8, 8, 98, 124}));
  EXPECT_EQ(layout.fastRs, (Rect{120, 16, 161, 17}));
  EXPECT_EQ(layout.ok, (Rect{160, 72, 73, 25}));
  EXPECT_EQ(layout.cancel, (Rect{144, 112, 105, 25}));
  EXPECT_EQ(layout.scan, (Rect{8, 136, 97, 25}));
  ASSERT_EQ(layout.entries.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(layout.entries[i].rect, (Rect{8, 8 + 18 * i, 64, 17})) << i;
  }
  EXPECT_EQ(layout.entries[0].accelerator, 'n');
  EXPECT_EQ(layout.entries[1].accelerator, '1');
  EXPECT_TRUE(layout.entries[1].checked);
  EXPECT_FALSE(layout.entries[2].enabled);
  EXPECT_EQ(layout.listContent, (Size{72, 8 + 18 * 3}));
}

TEST(PortDialogLayoutTest, LongNamesWidenTheListAndMoveTheButtonsAlong) {
  const shell::PortEntry adapter{"/dev/ttyUSB&0", "/dev/ttyUSB0", true,
                                 "FTDI FT232R USB UART (A10K4S2B)"};
  const PortDialogLayout layout = LayOutPortDialog(State({{"&none", "", true, ""}, adapter}), 300);
  const int grow = 300 - kPortEntryMinWidth;
  EXPECT_EQ(layout.entries[1].text, "/dev/ttyUSB&0  FTDI FT232R USB UART (A10K4S2B)");
  EXPECT_EQ(layout.entries[1].accelerator, '0');
  EXPECT_EQ(layout.entries[1].rect.width, 300);
  EXPECT_EQ(layout.list.width, 98 + grow);
  EXPECT_EQ(layout.client.width, 286 + grow);
  EXPECT_EQ(layout.ok.left, 160 + grow);
  EXPECT_EQ(layout.fastRs.left, 120 + grow);
  EXPECT_EQ(layout.cancel.left, 144 + grow);
  EXPECT_EQ(layout.scan.left, 8);
  // The right column keeps its distance from the list.
  EXPECT_EQ(layout.fastRs.left - layout.list.Right(), 120 - 106);

  // A description beyond any reason is cut at the list's edge rather than widening it more.
  EXPECT_EQ(LayOutPortDialog(State({adapter}), 5000).entries[0].rect.width, kPortEntryMaxWidth);
}

}  // namespace
}  // namespace korvex::view
