#include "sim/panel_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "firmware/block_check.h"
#include "panel_test_util.h"
#include "pc_side.h"
#include "sim/program_image.h"
#include "sim/settings_blocks.h"
#include "sim/starter_area.h"

namespace korvex::sim {
namespace {

using testing::MakePanel;
using testing::PcSide;
using testing::PresetWith;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kEraseWaitMs = 15000;

Bytes ReadFlash(PcSide& pc, std::uint32_t address, std::uint8_t count) {
  const auto reply = pc.Exchange({0x62, static_cast<std::uint8_t>(address),
                                  static_cast<std::uint8_t>(address >> 8),
                                  static_cast<std::uint8_t>(address >> 16), count});
  EXPECT_TRUE(reply.valid);
  EXPECT_EQ(reply.answer, 0x92);
  return reply.data;
}

Bytes ProgramRequest(std::uint8_t command, std::uint32_t address, const Bytes& page) {
  Bytes r = {command, static_cast<std::uint8_t>(address >> 8),
             static_cast<std::uint8_t>(address >> 16)};
  r.insert(r.end(), page.begin(), page.end());
  return r;
}

Bytes Page(std::uint8_t seed) {
  Bytes page(256);
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(seed + i * 7);
  return page;
}

// Connects and, for starters that keep a token, checks it once so writes may follow.
void Ready(PcSide& pc, const PanelModel& panel) {
  ASSERT_TRUE(pc.Connect().valid);
  if (panel.StarterVersion() >= 0x52) {
    ASSERT_EQ(pc.CheckToken().answer, 0x92);
  }
}

TEST(PanelConnect, AnswersTheConnectFrameAsOnTheWire) {
  auto panel = MakePanel();
  PcSide pc(*panel);
  // The connect request exactly as the PC frames it: body reversed, 0xFF stuffed, S and X.
  const Bytes reply = pc.SendRaw(
      {0xFF, 0xFF, 0x04, 0x0D, 0xFF, 0x00, 0xEE, 0xAA, 0xBB, 0xCC, 0xDD, 0x9B, 0x64, 0xFF}, 1000);
  EXPECT_EQ(reply, (Bytes{0x01, 0x92, 0x00, 0x25, 0xEA}));
  EXPECT_TRUE(panel->Connected());
}

TEST(PanelConnect, IgnoresOtherRequestsUntilConnected) {
  auto panel = MakePanel();
  PcSide pc(*panel);
  EXPECT_TRUE(pc.Exchange({0x61, 0x61, 0x61, 0x61}).raw.empty());
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(pc.Exchange({0x61, 0x61, 0x61, 0x61}).answer, 0x92);
}

TEST(PanelConnect, FrameWithWrongChecksOrBrokenStuffingGetsNoReply) {
  auto panel = MakePanel();
  PcSide pc(*panel);
  EXPECT_TRUE(pc.SendRaw({0xFF, 0xFF, 0x04, 0x0D, 0xFF, 0x00, 0xEE, 0xAA, 0xBB, 0xCC, 0xDD, 0x9C,
                          0x64, 0xFF},
                         1000)
                  .empty());
  EXPECT_TRUE(pc.SendRaw({0xFF, 0xFF, 0x04, 0x0D, 0xFF, 0x01, 0xEE, 0xAA, 0xBB, 0xCC, 0xDD, 0x9B,
                          0x64, 0xFF},
                         1000)
                  .empty());
  EXPECT_EQ(panel->Stats().rejectedFrames, 2u);
  EXPECT_TRUE(pc.Connect().valid);  // the parser is ready for the next frame
}

TEST(PanelConnect, MalformedConnectIsRefusedAndRecorded) {
  auto panel = MakePanel();
  PcSide pc(*panel);
  const auto reply = pc.Exchange({0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAB});
  EXPECT_EQ(reply.answer, 0x93);
  EXPECT_FALSE(panel->Connected());
  EXPECT_EQ(panel->Violations().size(), 1u);
}

TEST(PanelRates, BytesAtAnotherRateAreGarbageAndTheFastRateIsNegotiatedAt9600) {
  auto panel = MakePanel();
  PcSide pc(*panel, 57600);
  EXPECT_TRUE(pc.Connect().raw.empty());
  EXPECT_GT(panel->Stats().wrongRateBytes, 0u);
  pc.SetRate(9600);
  ASSERT_TRUE(pc.Connect().valid);
  const auto fast = pc.Exchange({0x14, 0x55, 0xAA, 0x41});
  ASSERT_TRUE(fast.valid);  // the answer still comes at 9600
  EXPECT_EQ(fast.answer, 0x92);
  EXPECT_EQ(fast.data, Bytes{0x00});  // 0: 115200
  EXPECT_EQ(panel->ListenRate(), 115200u);
  EXPECT_TRUE(pc.Exchange({0x61, 0x61, 0x61, 0x61}).raw.empty());
  pc.SetRate(115200);
  EXPECT_EQ(pc.Exchange({0x61, 0x61, 0x61, 0x61}).answer, 0x92);  // still connected
}

TEST(PanelRates, FastRateAnswersFollowTheConfiguration) {
  struct Case {
    const char* fastRate;
    std::uint8_t answer;
    Bytes data;
    std::uint32_t listenAfter;
  };
  for (const Case& c : {Case{"57600", 0x92, {0x01}, 57600}, Case{"none", 0x94, {0x00}, 9600}}) {
    auto panel = MakePanel({{"fast_rate", c.fastRate}});
    PcSide pc(*panel);
    ASSERT_TRUE(pc.Connect().valid);
    const auto reply = pc.Exchange({0x14, 0x55, 0xAA, 0x41});
    EXPECT_EQ(reply.answer, c.answer) << c.fastRate;
    EXPECT_EQ(reply.data, c.data) << c.fastRate;
    EXPECT_EQ(panel->ListenRate(), c.listenAfter) << c.fastRate;
    EXPECT_TRUE(panel->Violations().empty()) << "a PC may ask any starter for the fast rate";
  }
}

TEST(PanelRates, StarterMayStartAtAnotherRate) {
  auto panel = MakePanel({{"listen_rate", "57600"}});
  PcSide pc(*panel);
  EXPECT_TRUE(pc.Connect().raw.empty());
  pc.SetRate(57600);
  EXPECT_TRUE(pc.Connect().valid);
}

TEST(PanelIdentify, ReportsKindTypeAndVersion) {
  auto panel = MakePanel({{"panel_type", "8"}, {"flash_kind", "9"}, {"starter_version", "0x52"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  const auto reply = pc.Exchange({0x61, 0x61, 0x61, 0x61});
  EXPECT_EQ(reply.answer, 0x92);
  EXPECT_EQ(reply.data, (Bytes{9, 8, 0x52}));
}

TEST(PanelLinkToken, IsStoredAndReturned) {
  auto panel = MakePanel({{"starter_version", "0x61"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  const Bytes before = pc.CheckToken().data;
  // "Done" replies carry one data byte, 0x00, so their count is 1 (0 would mean 256).
  EXPECT_EQ(pc.Exchange({0x1E, 0x12, 0x34, 0x56, 0x78}).raw, (Bytes{0x01, 0x91, 0x00, 0x24, 0xE9}));
  const auto check = pc.CheckToken();
  EXPECT_EQ(check.answer, 0x92);
  EXPECT_EQ(check.data, (Bytes{0x12, 0x34, 0x56, 0x78}));
  EXPECT_NE(before, check.data);
}

TEST(PanelLinkToken, OlderStartersDoNotKnowTheTokenRequests) {
  auto panel = MakePanel({{"starter_version", "0x51"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(pc.CheckToken().answer, 0x94);
  EXPECT_EQ(pc.Exchange({0x1E, 1, 2, 3, 4}).answer, 0x94);
  EXPECT_EQ(panel->Violations().size(), 2u);
}

TEST(PanelKeypad, KeepsTheTextsOfEveryForm) {
  auto panel = MakePanel();
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  const std::string line1 = "KORVEX v1.24    ";
  const std::string line2 = "Express mode    ";
  Bytes both = {0x21, 0x22, 0x73, 0xFF};
  both.insert(both.end(), line1.begin(), line1.end());
  both.insert(both.end(), line2.begin(), line2.end());
  EXPECT_EQ(pc.Exchange(both).answer, 0x91);
  EXPECT_EQ(panel->Keypad().line1, line1);
  EXPECT_EQ(panel->Keypad().line2, line2);
  EXPECT_TRUE(panel->Keypad().title);

  const std::string erasing = "Erasing       0%";
  Bytes second = {0x21, 0x11, 0x7D};
  second.insert(second.end(), erasing.begin(), erasing.end());
  EXPECT_EQ(pc.Exchange(second).answer, 0x91);
  EXPECT_EQ(panel->Keypad().line1, line1);
  EXPECT_EQ(panel->Keypad().line2, erasing);

  EXPECT_EQ(pc.Exchange({0x21, 0x02, 0x72, 0x66}).answer, 0x91);
  EXPECT_EQ(panel->Keypad().line1, "");
  ASSERT_EQ(panel->KeypadHistory().size(), 3u);
  EXPECT_EQ(*panel->KeypadHistory()[1].line2, erasing);
  EXPECT_FALSE(panel->KeypadHistory()[1].line1.has_value());

  // The count byte must match the request's length.
  Bytes wrong = second;
  wrong[1] = 0x12;
  EXPECT_EQ(pc.Exchange(wrong).answer, 0x93);
  EXPECT_EQ(panel->Violations().size(), 1u);
}

TEST(PanelFlashRead, ReadsBytesAndPagesAsOnTheWire) {
  auto panel = MakePanel({{"starter_language", "5"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  // ReadFlashByte 0x71FF9: the body (the count) goes before the address bytes' end.
  const Bytes raw =
      pc.SendRaw({0xFF, 0xFF, 0x02, 0x62, 0xF9, 0x1F, 0x01, 0x07, 0x15, 0xFA, 0xFF}, 1000);
  EXPECT_EQ(raw, (Bytes{0x01, 0x92, 0x05, 0x2A, 0xEF}));
  // 0x62 34 12 07 01 reads one byte at 0x071234.
  const Bytes other =
      pc.SendRaw({0xFF, 0xFF, 0x02, 0x62, 0x34, 0x12, 0x01, 0x07, 0x43, 0x3A, 0xFF}, 1000);
  ASSERT_EQ(other.size(), 5u);
  EXPECT_EQ(other[2], panel->Flash()[0x71234]);

  const Bytes page = ReadFlash(pc, 0x12000, 0x00);
  ASSERT_EQ(page.size(), 256u);
  EXPECT_TRUE(std::equal(page.begin(), page.end(), panel->Flash().begin() + 0x12000));
  EXPECT_EQ(pc.Exchange({0x62, 0x80, 0xFF, 0x07, 0x00}).answer, 0x93);  // past the end
}

TEST(PanelFlashRead, BlockCheckOfAnErasedBlock) {
  auto panel = MakePanel({{"program", "blank"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  const auto reply = pc.Exchange({0x64, 0x00, 0x00, 0x03, 0x00, 0x02, 0x00});
  EXPECT_EQ(reply.answer, 0x92);
  EXPECT_EQ(reply.data, (Bytes{0x94, 0xAE, 0x7A, 0x2D}));  // 0xAE94, 0x7A, 0x2D
}

TEST(PanelFlashRead, BlockCheckMatchesTheBytesOfAProgram) {
  auto panel = MakePanel();
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  for (std::uint32_t address : {0x00000u, 0x12000u, 0x5FE00u}) {
    const auto values = firmware::BlockCheck(panel->Flash().subspan(address, 512));
    const auto reply = pc.Exchange({0x64, static_cast<std::uint8_t>(address),
                                    static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address >> 16), 0x00, 0x02, 0x00});
    EXPECT_EQ(reply.data,
              (Bytes{static_cast<std::uint8_t>(values.sum),
                     static_cast<std::uint8_t>(values.sum >> 8), values.xorValue, values.chain}));
  }
}

TEST(PanelFlashWrite, EraseUsesTheVariantOfTheStarterVersion) {
  struct Case {
    const char* version;
    std::uint8_t erase;
  };
  for (const Case& c :
       {Case{"0x61", 0x26}, Case{"0x60", 0x26}, Case{"0x55", 0x16}, Case{"0x51", 0x46},
        Case{"0x50", 0x36}, Case{"0x40", 0xE6}, Case{"0x30", 0xD6}, Case{"0x2F", 0x66}}) {
    auto panel = MakePanel({{"starter_version", c.version}});
    PcSide pc(*panel);
    Ready(pc, *panel);
    // Another starter's variant is an unknown request and erases nothing.
    const std::uint8_t wrong = c.erase == 0x26 ? 0x16 : 0x26;
    EXPECT_EQ(pc.Exchange({wrong, 0x03, 0x66, 0x66}, kEraseWaitMs).answer, 0x94) << c.version;
    EXPECT_FALSE(std::all_of(panel->Flash().begin() + 0x30000, panel->Flash().begin() + 0x40000,
                             [](std::uint8_t b) { return b == 0xFF; }));
    if (panel->StarterVersion() >= 0x52) pc.CheckToken();
    EXPECT_EQ(pc.Exchange({c.erase, 0x03, 0x66, 0x66}, kEraseWaitMs).answer, 0x91) << c.version;
    EXPECT_TRUE(std::all_of(panel->Flash().begin() + 0x30000, panel->Flash().begin() + 0x40000,
                            [](std::uint8_t b) { return b == 0xFF; }))
        << c.version;
    EXPECT_EQ(panel->Violations().size(), 1u) << c.version;  // the wrong variant
  }
}

TEST(PanelFlashWrite, StarterSectorAndMalformedErasesAreRefused) {
  auto panel = MakePanel();
  PcSide pc(*panel);
  Ready(pc, *panel);
  const Bytes starter(panel->Flash().begin() + 0x70000, panel->Flash().end());
  EXPECT_EQ(pc.Exchange({0x26, 0x07, 0x66, 0x66}).answer, 0x93);
  EXPECT_TRUE(std::equal(starter.begin(), starter.end(), panel->Flash().begin() + 0x70000));
  pc.CheckToken();
  EXPECT_EQ(pc.Exchange({0x26, 0x02, 0x66, 0x65}).answer, 0x93);
}

TEST(PanelFlashWrite, FullPageProgramWritesThePageInOrder) {
  auto panel = MakePanel({{"program", "blank"}});
  PcSide pc(*panel);
  Ready(pc, *panel);
  const Bytes page = Page(3);
  const auto reply = pc.Exchange(ProgramRequest(0x25, 0x23400, page));
  EXPECT_EQ(reply.answer, 0x92);
  EXPECT_TRUE(std::equal(page.begin(), page.end(), panel->Flash().begin() + 0x23400));
  EXPECT_TRUE(panel->Violations().empty());
}

TEST(PanelFlashWrite, ProgrammingOverUnerasedBytesFailsItsReadBack) {
  auto panel = MakePanel({{"flash_kind", "5"}});
  PcSide pc(*panel);
  Ready(pc, *panel);
  const std::uint32_t address = 0x20000;
  const Bytes before(panel->Flash().begin() + address, panel->Flash().begin() + address + 256);
  ASSERT_FALSE(std::all_of(before.begin(), before.end(), [](std::uint8_t b) { return b == 0xFF; }));
  const Bytes page = Page(9);
  EXPECT_EQ(pc.Exchange(ProgramRequest(0x25, address, page)).answer, 0x93);
  for (std::size_t i = 0; i < 256; ++i) {
    EXPECT_EQ(panel->Flash()[address + i], before[i] & page[i]) << i;  // bits only cleared
  }
  EXPECT_EQ(panel->Violations().size(), 1u);
}

TEST(PanelFlashWrite, PageWriteChipsReplacePagesAndMirrorTheLowArea) {
  for (const char* kind : {"1", "4"}) {
    auto panel = MakePanel({{"flash_kind", kind}});
    PcSide pc(*panel);
    Ready(pc, *panel);
    // The preset's low area already has its mirror.
    EXPECT_TRUE(std::equal(panel->Flash().begin(), panel->Flash().begin() + 0x4000,
                           panel->Flash().begin() + 0x60000));
    EXPECT_EQ(pc.Exchange(ProgramRequest(0x25, 0x03F00, Page(1))).answer, 0x92) << kind;
    EXPECT_EQ(pc.Exchange(ProgramRequest(0x25, 0x04000, Page(2))).answer, 0x92) << kind;
    const Bytes mirrored(panel->Flash().begin() + 0x63F00, panel->Flash().begin() + 0x64000);
    EXPECT_EQ(mirrored, Page(1)) << kind;
    const Bytes second = Page(2);
    EXPECT_FALSE(std::equal(second.begin(), second.end(), panel->Flash().begin() + 0x64000))
        << kind;
    pc.CheckToken();
    EXPECT_EQ(pc.Exchange({0x26, 0x00, 0x66, 0x66}, kEraseWaitMs).answer, 0x91) << kind;
    EXPECT_TRUE(std::all_of(panel->Flash().begin() + 0x60000, panel->Flash().begin() + 0x64000,
                            [](std::uint8_t b) { return b == 0xFF; }))
        << kind;
  }
}

TEST(PanelFlashWrite, ByteProgramChipsDoNotMirror) {
  auto panel = MakePanel({{"flash_kind", "6"}, {"program", "blank"}});
  PcSide pc(*panel);
  Ready(pc, *panel);
  EXPECT_EQ(pc.Exchange(ProgramRequest(0x25, 0x00100, Page(1))).answer, 0x92);
  EXPECT_TRUE(std::all_of(panel->Flash().begin() + 0x60100, panel->Flash().begin() + 0x60200,
                          [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(PanelFlashWrite, ShortFormCopiesThePageOfSectorZero) {
  auto panel = MakePanel({{"starter_version", "0x21"}, {"program", "blank"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  ASSERT_EQ(pc.Exchange(ProgramRequest(0x65, 0x01F00, Page(4))).answer, 0x92);
  // ProgramFlashPage 0x11F00 on a 2.1 starter: 0x68 0x1F 0x01 0x1F 0x00.
  EXPECT_EQ(pc.Exchange({0x68, 0x1F, 0x01, 0x1F, 0x00}).answer, 0x92);
  const Bytes page = Page(4);
  EXPECT_TRUE(std::equal(page.begin(), page.end(), panel->Flash().begin() + 0x11F00));

  // Above the low 8 KB, in sector 0, or with broken bytes: refused, nothing written.
  EXPECT_EQ(pc.Exchange({0x68, 0x20, 0x01, 0x20, 0x00}).answer, 0x93);
  EXPECT_EQ(pc.Exchange({0x68, 0x1F, 0x00, 0x1F, 0x00}).answer, 0x93);
  EXPECT_EQ(pc.Exchange({0x68, 0x1E, 0x02, 0x1F, 0x00}).answer, 0x93);
  EXPECT_TRUE(std::all_of(panel->Flash().begin() + 0x12000, panel->Flash().begin() + 0x12100,
                          [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(panel->Violations().size(), 3u);
}

TEST(PanelFlashWrite, StartersBelow21DoNotKnowTheShortForm) {
  auto panel = MakePanel({{"starter_version", "0x20"}, {"program", "blank"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(pc.Exchange({0x68, 0x1F, 0x01, 0x1F, 0x00}).answer, 0x94);
}

TEST(PanelLinkTokenRules, EraseNeedsACheckJustBeforeIt) {
  auto panel = MakePanel();
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(pc.Exchange({0x26, 0x02, 0x66, 0x66}, kEraseWaitMs).answer, 0x93);  // no check yet
  pc.CheckToken();
  EXPECT_EQ(pc.Exchange({0x26, 0x02, 0x66, 0x66}, kEraseWaitMs).answer, 0x91);
  // A retransmission of the same erase is the same request, not a new write.
  EXPECT_EQ(pc.Exchange({0x26, 0x02, 0x66, 0x66}, kEraseWaitMs).answer, 0x91);
  EXPECT_EQ(pc.Exchange({0x26, 0x03, 0x66, 0x66}, kEraseWaitMs).answer, 0x93);  // no new check
  ASSERT_EQ(panel->Violations().size(), 2u);
  EXPECT_NE(panel->Violations()[1].text.find("just before"), std::string::npos);
}

TEST(PanelLinkTokenRules, PagePrograms28AtMostBetweenChecks) {
  auto panel = MakePanel({{"program", "blank"}});
  PcSide pc(*panel);
  Ready(pc, *panel);
  for (std::uint32_t i = 0; i < 28; ++i) {
    ASSERT_EQ(pc.Exchange(ProgramRequest(0x25, 0x10000 + i * 256, Page(1))).answer, 0x92) << i;
  }
  EXPECT_EQ(pc.Exchange(ProgramRequest(0x25, 0x20000, Page(1))).answer, 0x93);
  pc.CheckToken();
  EXPECT_EQ(pc.Exchange(ProgramRequest(0x25, 0x20000, Page(1))).answer, 0x92);
  EXPECT_EQ(panel->Violations().size(), 1u);
}

TEST(PanelLinkTokenRules, ALostTokenBlocksWritesUntilStoredAgain) {
  auto panel = MakePanel({{"program", "blank"}, {"fault.lose_token_at", "4"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);                          // 1
  ASSERT_EQ(pc.Exchange({0x1E, 1, 2, 3, 4}).answer, 0x91);  // 2
  ASSERT_EQ(pc.CheckToken().data, (Bytes{1, 2, 3, 4}));     // 3
  const auto check = pc.CheckToken();                       // 4: the token is gone
  EXPECT_NE(check.data, (Bytes{1, 2, 3, 4}));
  // A PC that ignored the failed check and writes anyway is refused.
  EXPECT_EQ(pc.Exchange(ProgramRequest(0x25, 0x10000, Page(1))).answer, 0x93);
  ASSERT_EQ(pc.Exchange({0x1E, 1, 2, 3, 4}).answer, 0x91);
  pc.CheckToken();
  EXPECT_EQ(pc.Exchange(ProgramRequest(0x25, 0x10000, Page(1))).answer, 0x92);
  EXPECT_EQ(panel->Violations().size(), 1u);
}

TEST(PanelLinkTokenRules, NonStrictPanelWritesButRecords) {
  auto panel = MakePanel({{"strict", "no"}, {"program", "blank"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(pc.Exchange({0x26, 0x02, 0x66, 0x66}, kEraseWaitMs).answer, 0x91);
  EXPECT_EQ(panel->Violations().size(), 1u);
}

TEST(PanelLinkTokenRules, OldStartersHaveNone) {
  auto panel = MakePanel({{"starter_version", "0x51"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(pc.Exchange({0x46, 0x02, 0x66, 0x66}, kEraseWaitMs).answer, 0x91);
  EXPECT_TRUE(panel->Violations().empty());
}

TEST(PanelSettings, ReadsAndWritesAsOnTheWire) {
  auto panel = MakePanel({{"panel_type", "4"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  // ReadSettings of area 2 at 0xD968.
  const Bytes raw = pc.SendRaw({0xFF, 0xFF, 0x01, 0x70, 0x68, 0xD9, 0x02, 0x46, 0xBB, 0xFF}, 1000);
  ASSERT_EQ(raw.size(), 2u + 64u + 2u);
  EXPECT_EQ(raw[0], 0x40);
  EXPECT_EQ(raw[1], 0x92);
  EXPECT_TRUE(std::equal(raw.begin() + 2, raw.begin() + 66, panel->Settings(2).begin() + 0xD968));

  Bytes block(64);
  for (std::size_t i = 0; i < 64; ++i) block[i] = static_cast<std::uint8_t>(0xA0 + i);
  Bytes write = {0x80, 0x40, 0x81, 0x01};
  write.insert(write.end(), block.begin(), block.end());
  EXPECT_EQ(pc.Exchange(write).answer, 0x91);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), panel->Settings(1).begin() + 0x8140));
  EXPECT_EQ(pc.Exchange({0x81, 0x23, 0x81, 0x02, 0x5A}).answer, 0x91);
  EXPECT_EQ(panel->Settings(2)[0x8123], 0x5A);
  EXPECT_EQ(pc.Exchange({0x70, 0x00, 0x80, 0x03}).answer, 0x93);  // no area 3
}

TEST(PanelSettings, BlockChecksSeeWhatTheWritesLeft) {
  auto panel = MakePanel({{"panel_type", "2"}});
  const auto layout = *SettingsLayoutFor(2, 1);
  EXPECT_TRUE(FindSettingsBlockFaults(panel->Settings(1), layout).empty());
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  // Changing a byte of block 0x8100 without refreshing its sum leaves the block wrong ...
  const std::uint8_t old = panel->Settings(1)[0x8123];
  pc.Exchange({0x81, 0x23, 0x81, 0x01, static_cast<std::uint8_t>(old + 1)});
  auto faults = FindSettingsBlockFaults(panel->Settings(1), layout);
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].address, 0x8100);
  // ... until the mark and the new sum are written where they belong (0xFE81, 0xFF02).
  const std::uint16_t sum = SettingsBlockSum(panel->Settings(1), layout, 1);
  pc.Exchange({0x81, 0x81, 0xFE, 0x01, 0xFF});
  pc.Exchange({0x81, 0x02, 0xFF, 0x01, static_cast<std::uint8_t>(sum)});
  pc.Exchange({0x81, 0x03, 0xFF, 0x01, static_cast<std::uint8_t>(sum >> 8)});
  EXPECT_TRUE(FindSettingsBlockFaults(panel->Settings(1), layout).empty());
}

TEST(PanelRestart, LeavesTheStarterAndPulsesCts) {
  auto panel = MakePanel();
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_FALSE(panel->Cts(pc.NowUs()));
  EXPECT_EQ(pc.Exchange({0x67, 0x68, 0x69, 0x6A}).answer, 0x91);
  EXPECT_TRUE(pc.Connect().raw.empty());  // the program does not speak the starter's protocol
  EXPECT_EQ(panel->Mode(), PanelMode::kProgram);
  // CTS comes on once the program runs, stays on for a while, and goes off again.
  std::vector<bool> samples;
  for (std::uint64_t t = 0; t < 5'000'000; t += 10'000) samples.push_back(panel->Cts(t));
  const auto on = std::find(samples.begin(), samples.end(), true);
  ASSERT_NE(on, samples.end());
  const auto off = std::find(on, samples.end(), false);
  EXPECT_GE(off - on, 16);
  EXPECT_EQ(std::find(off, samples.end(), true), samples.end());
}

TEST(PanelRestart, WithoutARecognisedProgramTheStarterRunsAgain) {
  auto panel = MakePanel({{"program", "garbage"}});
  PcSide pc(*panel, 9600);
  ASSERT_TRUE(pc.Connect().valid);
  ASSERT_TRUE(pc.Exchange({0x14, 0x55, 0xAA, 0x41}).valid);
  pc.SetRate(115200);
  EXPECT_EQ(pc.Exchange({0x67, 0x68, 0x69, 0x6A}).answer, 0x91);
  pc.Wait(1000);
  EXPECT_EQ(panel->Mode(), PanelMode::kStarter);
  EXPECT_FALSE(panel->Connected());
  EXPECT_TRUE(pc.Connect().raw.empty());  // back at 9600
  pc.SetRate(9600);
  EXPECT_TRUE(pc.Connect().valid);
  EXPECT_FALSE(panel->Cts(pc.NowUs()));
}

TEST(PanelRestart, ServiceMenuAndPowerBringTheStarterBack) {
  auto panel = MakePanel({{"start_in_program", "yes"}});
  PcSide pc(*panel);
  EXPECT_TRUE(pc.Connect().raw.empty());
  panel->EnterStarter(pc.NowUs());
  EXPECT_TRUE(pc.Connect().valid);

  auto rearming = MakePanel({{"rearm_ms", "2000"}});
  PcSide pc2(*rearming);
  ASSERT_TRUE(pc2.Connect().valid);
  ASSERT_EQ(pc2.Exchange({0x67, 0x68, 0x69, 0x6A}).answer, 0x91);
  EXPECT_TRUE(pc2.Connect().raw.empty());
  pc2.Wait(2500);
  EXPECT_TRUE(pc2.Connect().valid);
}

TEST(PanelStarterUpdate, UpdaterAnswersOnlyItsRequestAndBuildsTheNewStarter) {
  auto panel = MakePanel({{"starter_version", "0x55"},
                          {"flash_kind", "7"},
                          {"starter_language", "4"},
                          {"rebuilt_starter_version", "0x61"}});
  PcSide pc(*panel);
  Ready(pc, *panel);
  // Without an updater in the FLASH the starter does not know the update request.
  EXPECT_EQ(pc.Exchange({0xA5, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}).answer, 0x94);
  EXPECT_TRUE(panel->Violations().empty());

  const Bytes updater = MakeUpdaterImage(3);
  pc.CheckToken();
  ASSERT_EQ(pc.Exchange({0x16, 0x00, 0x66, 0x66}, kEraseWaitMs).answer, 0x91);
  pc.CheckToken();
  ASSERT_EQ(pc.Exchange({0x16, 0x06, 0x66, 0x66}, kEraseWaitMs).answer, 0x91);
  for (std::uint32_t i = 0; i < 33; ++i) {
    const Bytes page(updater.begin() + i * 256, updater.begin() + (i + 1) * 256);
    if (i % 10 == 0) pc.CheckToken();
    ASSERT_EQ(pc.Exchange(ProgramRequest(0x15, i * 256, page)).answer, 0x92);
    ASSERT_EQ(pc.Exchange(ProgramRequest(0x15, 0x60000 + i * 256, page)).answer, 0x92);
  }
  ASSERT_EQ(pc.Exchange({0x67, 0x68, 0x69, 0x6A}).answer, 0x91);
  pc.Wait(300);
  EXPECT_EQ(panel->Mode(), PanelMode::kUpdater);
  EXPECT_TRUE(pc.Connect().raw.empty());
  EXPECT_EQ(pc.Exchange({0xA5, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}).answer, 0x91);
  pc.Wait(5000);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(pc.Exchange({0x61, 0x61, 0x61, 0x61}).data, (Bytes{7, 3, 0x61}));
  const auto area = panel->Flash().subspan(kStarterBase, kStarterSize);
  EXPECT_EQ(StarterSum(area), StoredStarterSum(area));
  EXPECT_EQ(StarterVersionFromDigits(area), 0x61);
  EXPECT_EQ(panel->Flash()[kStarterLanguageAddress], 4);
  EXPECT_TRUE(panel->Violations().empty());
}

TEST(PanelStarterArea, PresetStarterIsSoundOrDamagedAsAsked) {
  for (const char* damage : {"none", "sum", "digits"}) {
    auto panel = MakePanel({{"starter_version", "0x61"}, {"starter_damage", damage}});
    const auto area = panel->Flash().subspan(kStarterBase, kStarterSize);
    EXPECT_EQ(StarterSum(area) == StoredStarterSum(area), std::string(damage) != "sum") << damage;
    EXPECT_EQ(StarterVersionFromDigits(area) == 0x61, std::string(damage) != "digits") << damage;
  }
}

TEST(PanelLine, BytesArrivingWhileThePanelWorksAreLost) {
  auto panel = MakePanel();
  PcSide pc(*panel);
  Ready(pc, *panel);
  // The erase takes a second; a request sent meanwhile is not heard.
  panel->Hear(link::EncodeRequestFrame(Bytes{0x26, 0x02, 0x66, 0x66}), 9600, pc.NowUs());
  panel->Hear(link::EncodeRequestFrame(Bytes{0x61, 0x61, 0x61, 0x61}), 9600, pc.NowUs() + 100'000);
  pc.Wait(3000);
  EXPECT_GT(panel->Stats().busyBytes, 0u);
  const auto out = panel->TakeOutput(pc.NowUs());
  EXPECT_EQ(out.size(), 5u);  // only the erase's reply: 01 91 00 S X
  EXPECT_EQ(panel->RequestCount(), 3u);
}

TEST(PanelLine, RepliesTakeTheirWireTime) {
  auto panel = MakePanel({{"chip_times", "no"}});
  PcSide pc(*panel);
  panel->Hear(link::EncodeRequestFrame(Bytes{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}), 9600, 0);
  // 14 request bytes and 5 reply bytes at 9600 bps: 10 bit times each.
  const auto out = panel->TakeOutput(1'000'000);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out.back().atUs, 19 * 10'000'000ull / 9600);
}

}  // namespace
}  // namespace korvex::sim
