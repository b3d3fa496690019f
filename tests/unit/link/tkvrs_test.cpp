#include "link/tkvrs.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "link/in_process_device.h"
#include "shell/virtual_clock.h"
#include "support/scripted_line_peer.h"
#include "support/scripted_operator.h"

namespace korvex::link {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::pair<bool, bool>>;

TEST(PortNameOrder, ExchangeSortDecidesMixedNames) {
  struct Case {
    std::vector<std::string> listed;
    std::vector<std::string> sorted;
  };
  const std::vector<Case> cases{
      {{"COM10", "COM2", "COM1"}, {"COM1", "COM2", "COM10"}},
      {{"USB0", "COM3"}, {"COM3", "USB0"}},
      // Lower-case "com" is not set aside, so com4 is ordered as a string.
      {{"com4", "COM3", "COM12"}, {"COM3", "COM12", "com4"}},
      // Blanks, signs and hexadecimal prefixes count as numbers: " 7" < 12 < $10 (16).
      {{"COM$10", "COM12", "COM 7"}, {"COM 7", "COM12", "COM$10"}},
      // Not a total order: the listed order decides the outcome.
      {{"COM10", "COM1A", "COM9"}, {"COM10", "COM1A", "COM9"}},
      {{"COM9", "COM1A", "COM10"}, {"COM1A", "COM9", "COM10"}},
      // Device paths compare as strings.
      {{"/dev/ttyUSB0", "/dev/ttyS10", "/dev/ttyS2"},
       {"/dev/ttyS10", "/dev/ttyS2", "/dev/ttyUSB0"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> names = c.listed;
    SortPortNames(names);
    EXPECT_EQ(names, c.sorted) << c.listed.front();
  }
}

std::vector<PortInfo> ComPorts(std::initializer_list<int> numbers) {
  std::vector<PortInfo> ports;
  for (int n : numbers) ports.push_back({"COM" + std::to_string(n), ""});
  return ports;
}

class PortComponent : public ::testing::Test {
 protected:
  explicit PortComponent(std::vector<PortInfo> ports = ComPorts({3, 1}))
      : device(peer, clock, std::move(ports)), kvrs(device, clock, op) {
    kvrs.KVinit(true);
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const PortButton& button : kvrs.PortButtons()) texts.push_back(button.text);
    return texts;
  }
  // Opens COM1 at 9600 and forgets the modem-line history of the opening.
  void OpenCom1() {
    kvrs.SetSelectedPort("COM1");
    ASSERT_TRUE(kvrs.RSinitbps(9600, 'N'));
  }

  testing::ScriptedOperator op;
  shell::VirtualClock clock{1000};
  testing::ScriptedLinePeer peer;
  InProcessDevice device;
  TKVRS kvrs;
};

TEST_F(PortComponent, ListIsSortedWithNoPortEntryChecked) {
  EXPECT_EQ(kvrs.PortCount(), 2);
  EXPECT_EQ(kvrs.PortNames(1), "COM1");
  EXPECT_EQ(kvrs.PortNames(2), "COM3");
  EXPECT_EQ(Texts(), (std::vector<std::string>{"&none", "COM&1", "COM&3"}));
  EXPECT_TRUE(kvrs.PortButtons()[0].checked);
  EXPECT_EQ(kvrs.SelectedPort(), "");
  EXPECT_TRUE(kvrs.PortExists("COM3"));
  EXPECT_FALSE(kvrs.PortExists("com3"));
}

TEST(PortComponentList, AcceleratorsComeFromTheDigitPool) {
  struct Case {
    std::vector<PortInfo> ports;
    bool accelerators;
    std::vector<std::string> texts;
  };
  const std::vector<Case> cases{
      {ComPorts({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}),
       true,
       {"&none", "COM&1", "COM&2", "COM&3", "COM&4", "COM&5", "COM&6", "COM&7", "COM&8", "COM&9",
        "COM1&0", "COM11", "COM12"}},
      {ComPorts({3, 13}), true, {"&none", "COM&3", "COM&13"}},
      {ComPorts({3, 13}), false, {"non&e", "COM3", "COM13"}},
      {{{"/dev/ttyUSB0", ""}, {"/dev/ttyS4", ""}}, true, {"&none", "/dev/ttyS&4", "/dev/ttyUSB&0"}},
  };
  for (const Case& c : cases) {
    testing::ScriptedOperator op;
    shell::VirtualClock clock;
    testing::ScriptedLinePeer peer;
    InProcessDevice device(peer, clock, c.ports);
    TKVRS kvrs(device, clock, op);
    kvrs.KVinit(c.accelerators);
    std::vector<std::string> texts;
    for (const PortButton& button : kvrs.PortButtons()) texts.push_back(button.text);
    EXPECT_EQ(texts, c.texts);
  }
}

TEST(PortComponentList, KeepsTheFirst255SortedPorts) {
  std::vector<PortInfo> ports;
  for (int n = 300; n >= 1; --n) ports.push_back({"COM" + std::to_string(n), ""});
  testing::ScriptedOperator op;
  shell::VirtualClock clock;
  testing::ScriptedLinePeer peer;
  InProcessDevice device(peer, clock, ports);
  TKVRS kvrs(device, clock, op);
  kvrs.KVinit(true);
  ASSERT_EQ(kvrs.PortCount(), 255);
  EXPECT_EQ(kvrs.PortNames(1), "COM1");
  EXPECT_EQ(kvrs.PortNames(255), "COM255");
}

TEST_F(PortComponent, ClickingAnEntrySelectsItsPlainName) {
  int clicks = 0;
  kvrs.SetClickCallback([&] { ++clicks; });
  kvrs.PortButtonClick(2);
  EXPECT_EQ(kvrs.SelectedPort(), "COM3");
  EXPECT_TRUE(kvrs.PortButtons()[2].checked);
  EXPECT_FALSE(kvrs.PortButtons()[0].checked);
  kvrs.SelectNoPort();
  EXPECT_EQ(kvrs.SelectedPort(), "");
  EXPECT_EQ(clicks, 2);
}

TEST_F(PortComponent, ProbingGreysPortsHeldElsewhereAndClosesEverything) {
  device.SetBusy("COM3", true);
  kvrs.CheckAvail(false);
  EXPECT_TRUE(kvrs.PortButtons()[0].enabled);
  EXPECT_TRUE(kvrs.PortButtons()[1].enabled);
  EXPECT_FALSE(kvrs.PortButtons()[2].enabled);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_FALSE(peer.modemLines.empty());  // COM1 was opened to probe it

  peer.modemLines.clear();
  kvrs.CheckAvail(true);
  EXPECT_TRUE(kvrs.PortButtons()[2].enabled);
  EXPECT_TRUE(peer.modemLines.empty());  // no port touched
}

TEST_F(PortComponent, OpeningSwitchesDtrThenRtsOn) {
  OpenCom1();
  EXPECT_EQ(device.BitRate(), 9600u);
  EXPECT_EQ(device.Parity(), 'N');
  EXPECT_EQ(kvrs.OpenPortName(), "COM1");
  EXPECT_EQ(peer.modemLines, (Lines{{false, false}, {false, false}, {true, false}, {true, true}}));
}

TEST_F(PortComponent, SameSettingsReuseThePortAndDiscardInput) {
  OpenCom1();
  peer.modemLines.clear();
  peer.Send({1, 2, 3}, clock.NowMs());
  ASSERT_EQ(device.QueuedInput(), 3u);
  EXPECT_TRUE(kvrs.RSinitbps(9600, 'N'));
  EXPECT_EQ(device.QueuedInput(), 0u);
  EXPECT_TRUE(peer.modemLines.empty());  // not reopened: DTR and RTS stay on
  EXPECT_GT(op.processMessagesCalls, 0);
}

TEST_F(PortComponent, OtherRateOrClosedPortReopens) {
  OpenCom1();
  for (auto step : {0, 1}) {
    peer.modemLines.clear();
    if (step == 0) {
      ASSERT_TRUE(kvrs.RSinitbps(57600, 'N'));
      EXPECT_EQ(device.BitRate(), 57600u);
    } else {
      kvrs.RSdone();
      EXPECT_EQ(kvrs.OpenPortName(), "");
      ASSERT_TRUE(kvrs.RSinitbps(57600, 'N'));
    }
    // Both lines go off, then DTR and RTS come on in this order.
    ASSERT_GE(peer.modemLines.size(), 3u);
    const std::size_t n = peer.modemLines.size();
    EXPECT_EQ(peer.modemLines[n - 3], std::make_pair(false, false));
    EXPECT_EQ(peer.modemLines[n - 2], std::make_pair(true, false));
    EXPECT_EQ(peer.modemLines[n - 1], std::make_pair(true, true));
  }
}

TEST_F(PortComponent, NoChosenOrOpenablePortFails) {
  EXPECT_FALSE(kvrs.RSinitbps(9600, 'N'));  // nothing chosen
  EXPECT_FALSE(device.IsOpen());
  kvrs.SetSelectedPort("COM7");
  EXPECT_FALSE(kvrs.RSinitbps(9600, 'N'));
  EXPECT_EQ(kvrs.LastOpenResult().error, OpenError::kMissing);
  kvrs.SetSelectedPort("COM3");
  device.SetBusy("COM3", true);
  EXPECT_FALSE(kvrs.RSinitbps(9600, 'N'));
  EXPECT_EQ(kvrs.LastOpenResult().error, OpenError::kBusy);
  EXPECT_EQ(kvrs.OpenPortName(), "");
}

TEST_F(PortComponent, TransmitBufferFlushesWhenFull) {
  OpenCom1();
  EXPECT_TRUE(kvrs.RSadd(Bytes(900, 0x11)));
  EXPECT_TRUE(peer.writeSizes.empty());
  EXPECT_TRUE(kvrs.RSadd(Bytes(200, 0x22)));
  // 124 bytes fill the buffer, the next one sends all 1024 at once, 76 stay queued.
  EXPECT_EQ(peer.writeSizes, (std::vector<std::size_t>{1024}));
  EXPECT_EQ(kvrs.TxCount(), 76u);
  EXPECT_TRUE(kvrs.RSflush());
  EXPECT_EQ(peer.writeSizes, (std::vector<std::size_t>{1024, 76}));
  EXPECT_EQ(kvrs.TxCount(), 0u);
  EXPECT_TRUE(kvrs.RSwrite(Bytes{1, 2, 3}));
  EXPECT_EQ(peer.writeSizes.back(), 3u);
}

TEST_F(PortComponent, ReopeningDropsQueuedOutput) {
  OpenCom1();
  EXPECT_TRUE(kvrs.RSadd(Bytes(10, 0x33)));
  ASSERT_TRUE(kvrs.RSinitbps(9600, 'N'));
  EXPECT_EQ(kvrs.TxCount(), 0u);
  EXPECT_TRUE(kvrs.RSflush());
  EXPECT_TRUE(peer.writeSizes.empty());
}

TEST_F(PortComponent, ClosedPortReadsAndWritesNothing) {
  std::uint8_t b = 0x5A;
  EXPECT_FALSE(kvrs.RSread(b));
  EXPECT_EQ(b, 0x5A);
  EXPECT_FALSE(kvrs.RSadd(Bytes{1, 2}));
  EXPECT_EQ(kvrs.TxCount(), 0u);
  EXPECT_TRUE(kvrs.RSflush());
  EXPECT_TRUE(peer.writeSizes.empty());
  EXPECT_FALSE(kvrs.RSgetCTS());
}

TEST_F(PortComponent, ReadsQueuedBytesOneAtATime) {
  OpenCom1();
  peer.Send({0xA1, 0xA2}, clock.NowMs());
  peer.Send({0xA3}, clock.NowMs() + 50);
  std::uint8_t b = 0;
  ASSERT_TRUE(kvrs.RSread(b));
  EXPECT_EQ(b, 0xA1);
  ASSERT_TRUE(kvrs.RSread(b));
  EXPECT_EQ(b, 0xA2);
  EXPECT_FALSE(kvrs.RSread(b));  // the third has not arrived yet
  EXPECT_TRUE(kvrs.WaitForInput(100));
  EXPECT_EQ(clock.NowMs(), 1050u);  // the wait ends when the byte arrives
  ASSERT_TRUE(kvrs.RSread(b));
  EXPECT_EQ(b, 0xA3);
}

TEST_F(PortComponent, ClearDiscardsInputForTheGivenTime) {
  OpenCom1();
  peer.Send({1, 2, 3}, clock.NowMs() + 5, 10);
  peer.Send({9}, clock.NowMs() + 500);
  EXPECT_EQ(kvrs.RSclear(100), 100);
  EXPECT_EQ(clock.NowMs(), 1100u);
  std::uint8_t b = 0;
  EXPECT_FALSE(kvrs.RSread(b));
  ASSERT_TRUE(kvrs.WaitForInput(1000));
  ASSERT_TRUE(kvrs.RSread(b));
  EXPECT_EQ(b, 9);
}

TEST_F(PortComponent, ModemLinesActOnlyWhileOpen) {
  kvrs.RSsetDTR();
  EXPECT_TRUE(peer.modemLines.empty());
  OpenCom1();
  kvrs.RSclrRTS();
  kvrs.RSclrDTR();
  EXPECT_EQ(peer.modemLines.back(), std::make_pair(false, false));
  peer.cts = true;
  EXPECT_TRUE(kvrs.RSgetCTS());
}

TEST_F(PortComponent, ScanPauseSleepsThreeTurns) {
  kvrs.ScanPause();
  EXPECT_EQ(clock.NowMs(), 1000u + 3 * kScanPauseMs);
  EXPECT_EQ(op.processMessagesCalls, 4);
}

}  // namespace
}  // namespace korvex::link
