#include "link/port_dialog.h"

#include <gtest/gtest.h>

#include "link/in_process_device.h"
#include "shell/virtual_clock.h"
#include "support/scripted_line_peer.h"
#include "support/scripted_operator.h"

namespace korvex::link {
namespace {

class PortDialogTest : public ::testing::Test {
 protected:
  PortDialogTest()
      : device(peer, clock, {{"COM4", ""}, {"COM1", ""}}), kvrs(device, clock, op), dialog(kvrs) {}

  testing::ScriptedOperator op;
  shell::VirtualClock clock;
  testing::ScriptedLinePeer peer;
  InProcessDevice device;
  TKVRS kvrs;
  PortDialog dialog;
};

TEST_F(PortDialogTest, ShowsThePortsWithTheNoPortEntryChecked) {
  op.portChoices.push_back(shell::PortChoice{"COM4", true});
  ASSERT_TRUE(dialog.Run(op));
  ASSERT_EQ(op.portDialogs.size(), 1u);
  const shell::PortDialogState& shown = op.portDialogs[0];
  ASSERT_EQ(shown.entries.size(), 3u);
  EXPECT_EQ(shown.entries[0].text, "&none");
  EXPECT_EQ(shown.entries[0].name, "");
  EXPECT_EQ(shown.entries[1].text, "COM&1");
  EXPECT_EQ(shown.entries[2].name, "COM4");
  EXPECT_EQ(shown.checked, 0u);
  EXPECT_TRUE(shown.fastRs);  // checked when the program starts
  EXPECT_TRUE(shown.scanVisible);
  EXPECT_FALSE(shown.OkEnabled());  // the no-port entry cannot be confirmed
  EXPECT_EQ(kvrs.SelectedPort(), "COM4");
  EXPECT_FALSE(device.IsOpen());  // probing closed every port again
}

TEST_F(PortDialogTest, ProbingGreysAPortInUseAndItCannotBeConfirmed) {
  device.SetBusy("COM4", true);
  op.portChoices.push_back(shell::PortChoice{"COM4", true});
  EXPECT_FALSE(dialog.Run(op));
  EXPECT_FALSE(op.portDialogs[0].entries[2].enabled);
  EXPECT_TRUE(op.portDialogs[0].entries[1].enabled);
}

TEST_F(PortDialogTest, WithoutScanningNoPortIsTouchedAndScanIsHidden) {
  dialog.SetDoNotScan(true);
  device.SetBusy("COM4", true);
  EXPECT_FALSE(dialog.Run(op));  // cancelled
  const shell::PortDialogState& shown = op.portDialogs[0];
  EXPECT_FALSE(shown.scanVisible);
  EXPECT_TRUE(shown.entries[2].enabled);
  EXPECT_TRUE(peer.modemLines.empty());
}

TEST_F(PortDialogTest, RescanKeepsTheCheckedPortEvenWhenItIsNowInUse) {
  op.onChoosePort = [&](shell::PortDialogState& state, const shell::PortRescan& rescan) {
    state.checked = 2;  // COM4
    EXPECT_TRUE(state.OkEnabled());
    device.SetBusy("COM4", true);  // another program takes it meanwhile
    rescan(state);
    EXPECT_EQ(state.checked, 2u);
    EXPECT_FALSE(state.entries[2].enabled);
    EXPECT_FALSE(state.OkEnabled());
    return std::optional<shell::PortChoice>();
  };
  EXPECT_FALSE(dialog.Run(op));
  EXPECT_EQ(kvrs.SelectedPort(), "COM4");  // the list still has it checked

  // The next showing starts with the remembered port checked.
  device.SetBusy("COM4", false);
  op.onChoosePort = nullptr;
  dialog.Run(op);
  EXPECT_EQ(op.portDialogs.back().checked, 2u);
  EXPECT_TRUE(op.portDialogs.back().OkEnabled());
}

TEST_F(PortDialogTest, APortTheListDoesNotShowIsTakenAsTyped) {
  op.portChoices.push_back(shell::PortChoice{"/dev/pts/7", false});
  ASSERT_TRUE(dialog.Run(op));
  EXPECT_EQ(kvrs.SelectedPort(), "/dev/pts/7");
  EXPECT_FALSE(dialog.FastRs());
}

}  // namespace
}  // namespace korvex::link
