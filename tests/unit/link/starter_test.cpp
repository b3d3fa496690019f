// The starter commands against the panel simulator on the virtual clock: what the commands
// send, the panel understands, and what they read back is what the panel's memories hold.
#include "link/starter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "link/in_process_device.h"
#include "link/link.h"
#include "shell/session.h"
#include "shell/virtual_clock.h"
#include "sim/panel_preset.h"
#include "sim/sim_line_peer.h"
#include "starter_line_fixture.h"
#include "support/scripted_operator.h"
#include "update/session_link_host.h"

namespace korvex::link {
namespace {

using Keys = std::initializer_list<std::pair<const char*, const char*>>;

std::unique_ptr<sim::PanelModel> Panel(Keys keys) {
  sim::PanelPreset preset;
  for (const auto& [key, value] : keys) {
    std::string error;
    EXPECT_TRUE(sim::ApplyPresetSetting(preset, key, value, &error)) << key << ": " << error;
  }
  std::string error;
  auto panel = sim::BuildPanel(preset, &error);
  EXPECT_NE(panel, nullptr) << error;
  return panel;
}

class StarterAndPanel {
 public:
  explicit StarterAndPanel(Keys keys, std::uint32_t seed = 3)
      : panel(Panel(keys)),
        session(op, clock, seed),
        peer(*panel),
        device(peer, clock),
        host(session),
        link(host, device),
        starter(link) {
    link.KVRS().SetSelectedPort("COM1");
    EXPECT_TRUE(link.EnsurePortChosen(op));
    link.SetFastRsEnabled(true);
  }

  // Connects as a run does, identifies the panel and stores this run's token.
  bool Open() {
    ConnectResult result = ConnectResult::kNoAnswer;
    for (int i = 0; i < 12 && result != ConnectResult::kConnected; ++i) {
      result = starter.ConnectStarter();
    }
    if (result != ConnectResult::kConnected) return false;
    if (starter.IdentifyPanel() != kAnswerData) return false;
    starter.State().LinkToken = {0xA1, 0xB2, 0xC3, 0xD4};
    starter.State().LinkTokenCountdown = 9;
    starter.SetLinkToken();
    return starter.CheckLinkToken();
  }
  std::string Violations() const {
    std::string text;
    for (const auto& v : panel->Violations()) text += v.text + "; ";
    return text;
  }

  std::unique_ptr<sim::PanelModel> panel;
  testing::ScriptedOperator op;
  shell::VirtualClock clock{0};
  shell::Session session;
  sim::SimLinePeer peer;
  InProcessDevice device;
  update::SessionLinkHost host;
  Link link;
  Starter starter;
};

using StarterWire = StarterOnScriptedLine;

// The first frame of each command as it leaves the port: marks, length, command and
// parameters, the body last byte first, the check bytes, stuffing after every inner 0xFF.
TEST_F(StarterWire, EveryCommandOnTheWire) {
  struct Case {
    const char* what;
    std::function<void(Starter&)> run;
    Bytes wire;
  };
  std::vector<std::uint8_t> reply;
  std::uint8_t value = 0;
  std::array<std::uint8_t, kFlashPageSize> page{};
  std::array<std::uint8_t, kSettingsChunk> chunk{};
  firmware::BlockCheckValues check;
  const std::vector<Case> cases{
      {"connect",
       [](Starter& s) { (void)s.ConnectStarter(); },
       {0xFF, 0xFF, 0x04, 0x0D, 0xFF, 0x00, 0xEE, 0xAA, 0xBB, 0xCC, 0xDD, 0x9B, 0x64, 0xFF}},
      {"identify",
       [](Starter& s) { (void)s.IdentifyPanel(); },
       {0xFF, 0xFF, 0x01, 0x61, 0x61, 0x61, 0x61, 0x17, 0x78, 0xFF}},
      {"store token",
       [](Starter& s) {
         s.State().LinkToken = {0x12, 0xFF, 0x00, 0x9A};
         s.SetLinkToken();
       },
       {0xFF, 0xFF, 0x02, 0x1E, 0x12, 0xFF, 0x00, 0x9A, 0x00, 0x5C, 0x11, 0xFF}},
      {"check token",
       [](Starter& s) {
         s.State().StarterVersion = 0x52;
         (void)s.CheckLinkToken();
       },
       {0xFF, 0xFF, 0x01, 0x1F, 0x1F, 0x1F, 0x1F, 0x0F, 0x78, 0xFF}},
      {"keypad line 2",
       [](Starter& s) { s.ShowKeypadText("", "Erasing", true); },
       {0xFF, 0xFF, 0x10, 0x21, 0x11, 0x7D, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20,
        0x20, 0x20, 0x67, 0x6E, 0x69, 0x73, 0x61, 0x72, 0x45, 0x2B, 0x50, 0xFF}},
      {"starter update",
       [](Starter& s) { (void)s.RunStarterUpdate(); },
       {0xFF, 0xFF, 0x04, 0xA5, 0x12, 0x34, 0xBC, 0x9A, 0x78, 0x56, 0xA2, 0xF3, 0xFF}},
      {"read byte 0x71FF9",
       [&](Starter& s) { (void)s.ReadFlashByte(0x71FF9, value); },
       {0xFF, 0xFF, 0x02, 0x62, 0xF9, 0x1F, 0x01, 0x07, 0x15, 0xFA, 0xFF}},
      {"read page 0x12300",
       [&](Starter& s) { (void)s.ReadFlashPage(0x12300, page); },
       {0xFF, 0xFF, 0x02, 0x62, 0x00, 0x23, 0x00, 0x01, 0x19, 0x38, 0xFF}},
      {"block check 0x4FE00",
       [&](Starter& s) { (void)s.ReadBlockCheck(0x4FE00, check); },
       {0xFF, 0xFF, 0x04, 0x64, 0x00, 0xFE, 0x00, 0x02, 0x00, 0x04, 0xFB, 0xE4, 0xFF}},
      {"erase, starter 0x51",
       [](Starter& s) {
         s.State().StarterVersion = 0x51;
         (void)s.EraseFlashSector(2);
       },
       {0xFF, 0xFF, 0x01, 0x46, 0x02, 0x66, 0x66, 0xA7, 0x3C, 0xFF}},
      {"short program 0x11F00, starter 0x21",
       [&](Starter& s) {
         s.State().StarterVersion = 0x21;
         (void)s.ProgramFlashPage(0x11F00, page);
       },
       {0xFF, 0xFF, 0x02, 0x68, 0x1F, 0x01, 0x00, 0x1F, 0x3A, 0x11, 0xFF}},
      {"read settings 2:0xD968",
       [&](Starter& s) { (void)s.ReadSettings(2, 0xD968, chunk); },
       {0xFF, 0xFF, 0x01, 0x70, 0x68, 0xD9, 0x02, 0x46, 0xBB, 0xFF}},
      {"write settings byte",
       [](Starter& s) { s.WriteSettingsByte(2, 0xABCD, 0x5A); },
       {0xFF, 0xFF, 0x02, 0x81, 0xCD, 0xAB, 0x5A, 0x02, 0xE8, 0xC7, 0xFF}},
      {"ST command, wait 60",
       [&](Starter& s) {
         (void)s.StCommand(Bytes{0x12, 0xAA}, 60, 0x22, reply, false, 2);
       },
       {0xFF, 0xFF, 0x03, 0x90, 0x3C, 0x02, 0xAA, 0x12, 0x02, 0x1F, 0x6C, 0xFF}},
  };
  // Answers that every command accepts at once.
  peer.respond = [](const ScriptedFrame& frame) -> std::optional<ScriptedAnswer> {
    switch (frame.request[0]) {
      case 0x0D:
        return ScriptedAnswer{Reply(0x92, {0x00}), 5};
      case 0x62:
        return ScriptedAnswer{frame.request[4] == 1 ? Reply(0x92) : Reply(0x92, Bytes(256)), 5};
      case 0x70:
        return ScriptedAnswer{Reply(0x92, Bytes(64)), 5};
      case 0x90:
        return ScriptedAnswer{Reply(0x92, {0x22, 0x00}), 5};
      case 0x1F:
      case 0x64:
      case 0x68:
        return ScriptedAnswer{Reply(0x92, {0, 0, 0, 0}), 5};
      default:
        return ScriptedAnswer{Reply(0x91), 5};
    }
  };
  for (const Case& c : cases) {
    ClearRecords();
    c.run(starter);
    ASSERT_FALSE(wire.writes.empty()) << c.what;
    EXPECT_EQ(wire.writes[0], c.wire) << c.what;
  }
}

TEST(StarterAndPanel, ConnectRefusedOnceFindsTheStarterAgainAfterATurnThroughTheRates) {
  StarterAndPanel line({{"fault.refuse_connect", "1"}, {"fault.refuse_code", "5"}});
  EXPECT_EQ(line.starter.ConnectStarter(), ConnectResult::kRefused);
  EXPECT_EQ(line.link.RateIndex(), 1);
  ASSERT_TRUE(line.Open());
  EXPECT_EQ(line.link.RateIndex(), 2);  // back at 9600, then negotiated
  EXPECT_EQ(line.panel->ListenRate(), 115200u);
  EXPECT_EQ(line.starter.State().StarterVersion, line.panel->StarterVersion());
}

TEST(StarterAndPanel, PagesAndBytesReadBackAsTheFlashHoldsThem) {
  StarterAndPanel line({{"program", "sample"}});
  ASSERT_TRUE(line.Open());
  const auto flash = line.panel->Flash();
  for (const std::uint32_t address : {0x00000u, 0x12300u, 0x5FF00u, 0x7FF00u}) {
    std::array<std::uint8_t, kFlashPageSize> page{};
    ASSERT_TRUE(line.starter.ReadFlashPage(address, page)) << address;
    EXPECT_TRUE(std::equal(page.begin(), page.end(), flash.begin() + address)) << address;
    std::uint8_t value = 0;
    ASSERT_TRUE(line.starter.ReadFlashByte(address + 0xAB, value));
    EXPECT_EQ(value, flash[address + 0xAB]);
  }
}

// The full form checks the token often enough for a panel that insists on it, whatever the
// random countdowns come out as.
TEST(StarterAndPanel, ManyFullPageProgramsKeepThePanelsTokenRules) {
  for (const std::uint32_t seed : {1u, 2u, 3u, 4u}) {
    StarterAndPanel line({{"starter_version", "0x61"}, {"program", "blank"}}, seed);
    ASSERT_TRUE(line.Open());
    ASSERT_EQ(line.starter.EraseFlashSector(0), WriteStatus::kDone);
    Bytes image(0x10000);
    for (std::size_t i = 0; i < image.size(); ++i)
      image[i] = static_cast<std::uint8_t>(i * 5 + seed);
    for (std::uint32_t page = 0; page < image.size(); page += kFlashPageSize) {
      const std::span<const std::uint8_t, kFlashPageSize> bytes(image.data() + page,
                                                                kFlashPageSize);
      ASSERT_EQ(line.starter.ProgramFlashPage(page, bytes), WriteStatus::kDone) << page;
    }
    EXPECT_TRUE(std::equal(image.begin(), image.end(), line.panel->Flash().begin()));
    EXPECT_TRUE(line.panel->Violations().empty()) << line.Violations();
  }
}

TEST(StarterAndPanel, APanelThatLostTheTokenIsNeitherErasedNorProgrammed) {
  // Open takes four requests (connect, fast rate, identification, token) plus one check.
  StarterAndPanel line({{"starter_version", "0x61"}, {"fault.lose_token_at", "7"}});
  ASSERT_TRUE(line.Open());
  const Bytes before(line.panel->Flash().begin(), line.panel->Flash().end());
  std::uint8_t value = 0;
  ASSERT_TRUE(line.starter.ReadFlashByte(0, value));  // request 6
  EXPECT_EQ(line.starter.EraseFlashSector(0), WriteStatus::kRefused);
  line.starter.State().LinkTokenCountdown = 0;
  std::array<std::uint8_t, kFlashPageSize> page{};
  EXPECT_EQ(line.starter.ProgramFlashPage(0x3000, page), WriteStatus::kRefused);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), line.panel->Flash().begin()));
}

TEST(StarterAndPanel, LostAndDamagedRepliesAreRetried) {
  StarterAndPanel line({{"fault.drop_reply", "0x62:1"},
                        {"fault.corrupt_reply", "0x62:2, 0x70:1"},
                        {"fault.drop_request", "0x81:1"}});
  ASSERT_TRUE(line.Open());
  std::uint8_t value = 0;
  ASSERT_TRUE(line.starter.ReadFlashByte(0x100, value));
  EXPECT_EQ(value, line.panel->Flash()[0x100]);
  std::array<std::uint8_t, kSettingsChunk> data{};
  ASSERT_TRUE(line.starter.ReadSettings(1, 0x40, data));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), line.panel->Settings(1).begin() + 0x40));
  line.starter.WriteSettingsByte(2, 0x10, 0x99);
  EXPECT_FALSE(line.starter.State().SettingsWriteFailed);
  EXPECT_EQ(line.panel->Settings(2)[0x10], 0x99);
}

TEST(StarterAndPanel, SettingsWrittenAreReadBack) {
  StarterAndPanel line({{"panel_type", "4"}});
  ASSERT_TRUE(line.Open());
  std::array<std::uint8_t, kSettingsChunk> chunk{};
  for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>(0xF0 - i);
  line.starter.WriteSettings(2, 0x9000, chunk);
  line.starter.WriteSettingsString(1, 0x8100, "KORVEX");
  line.starter.WriteSettingsByte(1, 0x0005, 0x5C);
  EXPECT_FALSE(line.starter.State().SettingsWriteFailed);

  std::array<std::uint8_t, kSettingsChunk> read{};
  ASSERT_TRUE(line.starter.ReadSettings(2, 0x9000, read));
  EXPECT_EQ(read, chunk);
  ASSERT_TRUE(line.starter.ReadSettings(1, 0x8100, read));
  EXPECT_EQ(std::string(read.begin(), read.begin() + 6), "KORVEX");
  std::uint8_t value = 0;
  ASSERT_TRUE(line.starter.ReadSettingsByte(1, 0x0005, value));
  EXPECT_EQ(value, 0x5C);
}

TEST(StarterAndPanel, KeypadTextsReachThePanel) {
  StarterAndPanel line({});
  ASSERT_TRUE(line.Open());
  line.starter.ShowKeypadText("KORVEX 1.24", "Express mode", true);
  EXPECT_EQ(line.panel->Keypad().line1, "KORVEX 1.24     ");
  EXPECT_EQ(line.panel->Keypad().line2, "Express mode    ");
  EXPECT_TRUE(line.panel->Keypad().title);
  line.starter.ShowKeypadText("", "Erasing", false);
  EXPECT_EQ(line.panel->Keypad().line1, "KORVEX 1.24     ");
  EXPECT_EQ(line.panel->Keypad().line2, "Erasing         ");
  line.starter.ShowKeypadText("Programming 100%", "", false);
  EXPECT_EQ(line.panel->Keypad().line1, "Programming 100%");
  EXPECT_TRUE(line.panel->Violations().empty()) << line.Violations();
}

// Only the updater, which runs after a restart once it was written, acknowledges the request.
TEST(StarterAndPanel, TheStarterItselfDoesNotRunTheUpdateRequest) {
  StarterAndPanel line({});
  ASSERT_TRUE(line.Open());
  EXPECT_FALSE(line.starter.RunStarterUpdate());
  EXPECT_EQ(line.link.LastReply().Answer(), kAnswerBadCommand);
  EXPECT_EQ(line.panel->Mode(), sim::PanelMode::kStarter);
}

}  // namespace
}  // namespace korvex::link
