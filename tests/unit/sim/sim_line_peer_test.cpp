// The simulator behind the in-process line, driven by the product's own starter commands on
// the virtual clock: what a PC that follows the protocol does must succeed, and its
// results must be what the panel's memories hold.
#include "sim/sim_line_peer.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "firmware/block_check.h"
#include "link/in_process_device.h"
#include "link/link.h"
#include "link/starter.h"
#include "panel_test_util.h"
#include "shell/session.h"
#include "shell/virtual_clock.h"
#include "sim/settings_blocks.h"
#include "support/scripted_operator.h"
#include "update/session_link_host.h"

namespace korvex::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

class SimulatedLine {
 public:
  explicit SimulatedLine(std::unique_ptr<PanelModel> p, bool fastRs = true)
      : panel(std::move(p)),
        clock(0),
        session(op, clock, 3),
        peer(*panel),
        device(peer, clock),
        host(session),
        link(host, device),
        starter(link) {
    link.KVRS().SetSelectedPort("COM1");
    EXPECT_TRUE(link.EnsurePortChosen(op));
    link.SetFastRsEnabled(fastRs);
  }

  // Connects as a run does (repeating until the starter answers) and identifies the panel;
  // stores and confirms a token on starters that keep one.
  bool Open() {
    link::ConnectResult result = link::ConnectResult::kNoAnswer;
    for (int i = 0; i < 12 && result != link::ConnectResult::kConnected; ++i)
      result = starter.ConnectStarter();
    if (result != link::ConnectResult::kConnected) return false;
    if (starter.IdentifyPanel() != link::kAnswerData) return false;
    if (starter.State().StarterVersion >= 0x52) {
      starter.State().LinkToken = {0x11, 0x22, 0x33, 0x44};
      starter.State().LinkTokenCountdown = 5;
      starter.SetLinkToken();
      for (int ok = 0; ok < 3;) {
        if (!starter.CheckLinkToken()) return false;
        ++ok;
      }
    }
    return true;
  }

  std::unique_ptr<PanelModel> panel;
  korvex::testing::ScriptedOperator op;
  shell::VirtualClock clock;
  shell::Session session;
  SimLinePeer peer;
  link::InProcessDevice device;
  update::SessionLinkHost host;
  link::Link link;
  link::Starter starter;
};

TEST(SimLinePeer, ConnectNegotiatesTheFastRateAndIdentifies) {
  SimulatedLine line(
      testing::MakePanel({{"panel_type", "6"}, {"flash_kind", "8"}, {"starter_version", "0x61"}}));
  ASSERT_TRUE(line.Open());
  EXPECT_EQ(line.link.RateIndex(), 2);  // 115200
  EXPECT_EQ(line.device.BitRate(), 115200u);
  EXPECT_EQ(line.panel->ListenRate(), 115200u);
  EXPECT_EQ(line.starter.State().FlashKind, 8);
  EXPECT_EQ(line.starter.State().PanelType, 6);
  EXPECT_EQ(line.panel->Token(), (std::array<std::uint8_t, 4>{0x11, 0x22, 0x33, 0x44}));
  EXPECT_TRUE(line.panel->Violations().empty());
}

TEST(SimLinePeer, ConnectFindsAStarterListeningAtAnotherRate) {
  SimulatedLine line(testing::MakePanel({{"listen_rate", "57600"}}), false);
  ASSERT_TRUE(line.Open());
  EXPECT_EQ(line.link.RateIndex(), 1);
  EXPECT_GT(line.panel->Stats().wrongRateBytes, 0u);  // the first connect went out at 9600
}

TEST(SimLinePeer, EraseProgramAndVerifyAsARunDoes) {
  for (const char* version : {"0x61", "0x51", "0x21"}) {
    SimulatedLine line(testing::MakePanel({{"starter_version", version}, {"program", "blank"}}));
    ASSERT_TRUE(line.Open()) << version;
    // The image repeats bank 0's low 8 KB in bank 1, so the short form can copy it.
    Bytes image(0x20000, 0xFF);
    for (std::uint32_t i = 0; i < 0x3000; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 1);
    std::copy_n(image.begin(), 0x2000, image.begin() + 0x10000);
    for (std::uint8_t sector = 0; sector < 2; ++sector) {
      ASSERT_EQ(line.starter.EraseFlashSector(sector), link::WriteStatus::kDone) << version;
    }
    for (std::uint32_t page = 0; page < image.size(); page += 256) {
      const std::span<const std::uint8_t, 256> bytes(image.data() + page, 256);
      if (std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; }))
        continue;
      ASSERT_EQ(line.starter.ProgramFlashPage(page, bytes), link::WriteStatus::kDone)
          << version << " " << page;
    }
    for (std::uint32_t block = 0; block < image.size(); block += 512) {
      firmware::BlockCheckValues values;
      ASSERT_TRUE(line.starter.ReadBlockCheck(block, values));
      EXPECT_EQ(values, firmware::BlockCheck(std::span(image).subspan(block, 512)))
          << version << " " << block;
    }
    std::uint8_t byte = 0;
    ASSERT_TRUE(line.starter.ReadFlashByte(0x10123, byte));
    EXPECT_EQ(byte, image[0x10123]);
    EXPECT_TRUE(line.panel->Violations().empty())
        << version << ": " << line.panel->Violations()[0].text;
  }
}

TEST(SimLinePeer, SettingsWritesLeaveBlockMarksAndSumsRight) {
  SimulatedLine line(testing::MakePanel({{"panel_type", "2"}}));
  ASSERT_TRUE(line.Open());
  ASSERT_TRUE(line.starter.WriteSettingsByteChecked(1, 0x8123, 0x42));
  std::array<std::uint8_t, 64> zeros{};
  line.starter.WriteSettings(1, 0xFE40, zeros);
  ASSERT_TRUE(line.starter.UpdateSettingsCheck(1, 0xFE00));
  EXPECT_FALSE(line.starter.State().SettingsWriteFailed);
  EXPECT_EQ(line.panel->Settings(1)[0x8123], 0x42);
  EXPECT_TRUE(FindSettingsBlockFaults(line.panel->Settings(1), *SettingsLayoutFor(2, 1)).empty());
}

TEST(SimLinePeer, StCommandsGetTheirAnswers) {
  SimulatedLine line(testing::MakePanel({{"panel_type", "5"}, {"st_fsk", "0x07 0x2A"}}));
  ASSERT_TRUE(line.Open());
  std::vector<std::uint8_t> reply;
  ASSERT_TRUE(line.starter.StCommand(Bytes{0x16}, 1, 0x26, reply, false, 8));
  EXPECT_EQ(reply.size(), 8u);
  ASSERT_TRUE(line.starter.StCommand(Bytes{0x19, 0x02, 0x7F, 0xA0}, 1, 0x29, reply, false, 132));
  EXPECT_EQ(reply[8], 0x07);  // D[9] and D[10]
  EXPECT_EQ(reply[9], 0x2A);
  ASSERT_TRUE(
      line.starter.StCommand(Bytes{0x17, 0x3B, 0xC1, 0x09, 0xE4}, 1, 0x27, reply, false, 2));
  ASSERT_TRUE(line.starter.StCommand(Bytes{0x12, 0xAA}, 60, 0x22, reply, false, 2));
  EXPECT_EQ(reply, (Bytes{0x22, 0x00}));
  EXPECT_TRUE(line.op.boxes.empty());
}

TEST(SimLinePeer, RestartThenTheProgramRunsAndCtsPulses) {
  SimulatedLine line(testing::MakePanel());
  ASSERT_TRUE(line.Open());
  ASSERT_TRUE(line.starter.RestartPanel());
  // The wait of the completion phase: CTS on for a while, then off again.
  int on = 0;
  bool wentOff = false;
  for (int i = 0; i < 2000 && !wentOff; ++i) {
    line.clock.Advance(5);
    if (line.device.Cts()) {
      ++on;
    } else if (on > 0) {
      wentOff = true;
    }
  }
  EXPECT_GE(on, 16);
  EXPECT_TRUE(wentOff);
  EXPECT_EQ(line.starter.ConnectStarter(), link::ConnectResult::kNoAnswer);
}

TEST(SimLinePeer, RepliesAtAnotherRateAreGarbageToThePc) {
  auto panel = testing::MakePanel({{"chip_times", "no"}});
  SimLinePeer peer(*panel);
  const Bytes connect = link::EncodeRequestFrame(Bytes{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA});
  peer.Receive(connect, 9600, 0);
  const auto next = peer.NextArrivalMs();
  ASSERT_TRUE(next);
  EXPECT_EQ(*next, 16u);  // 14 request bytes and the first reply byte at 9600 bps: 15.6 ms
  EXPECT_TRUE(peer.Collect(15).empty());
  peer.Receive(Bytes{0x00}, 57600, 15);  // the PC reopened at another rate meanwhile
  EXPECT_TRUE(peer.Collect(100).empty());
  EXPECT_FALSE(peer.NextArrivalMs());
}

}  // namespace
}  // namespace korvex::sim
