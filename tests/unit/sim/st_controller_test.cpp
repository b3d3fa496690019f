#include "sim/st_controller.h"

#include <gtest/gtest.h>

#include <vector>

#include "panel_test_util.h"
#include "pc_side.h"
#include "sim/program_image.h"

namespace korvex::sim {
namespace {

using testing::MakePanel;
using testing::PcSide;
using testing::Reply;
using Bytes = std::vector<std::uint8_t>;

// The starter's pass-through request: 0x90, wait, expected count, length, the ST command.
Reply St(PcSide& pc, const Bytes& command, std::uint8_t wait, std::uint8_t count) {
  Bytes r = {0x90, wait, count, static_cast<std::uint8_t>(command.size())};
  r.insert(r.end(), command.begin(), command.end());
  return pc.Exchange(r, wait * 1000ull + 500);
}

Bytes Address(StKind kind, std::uint32_t address) {
  if (kind == StKind::kA)
    return {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8)};
  return {static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
          static_cast<std::uint8_t>(address)};
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Bytes kUnlock = {0x17, 0x3B, 0xC1, 0x09, 0xE4};
const Bytes kOptionsB = {0x03, 0xFC, 0x00, 0xFF, 0x0D, 0xF2, 0x01,
                         0xFE, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF};
const Bytes kOptionsC = {0x14, 0x09, 0x0F, 0x09, 0x00, 0x00};

TEST(StBlockCheck, AddsThirteenRotatesAndFlipsTheLowByte) {
  // 0 + 13 = 0x000D, rotated 0x001A, xor 0x00FF = 0x00E5; then (0xF3 + 13) mod 256 = 0.
  EXPECT_EQ(StBlockCheck(Bytes{0x00}), 0x00E5);
  EXPECT_EQ(StBlockCheck(Bytes{0x00, 0xF3}), 0x0135);
  EXPECT_EQ(StBlockCheck(Bytes{0x00, 0xF3, 0xF3}), 0x0295);
}

TEST(StVersion, TextAndBytesConvert) {
  const auto v = ParseStVersion("1.05 2019-04-01");
  ASSERT_TRUE(v);
  EXPECT_EQ(*v, (StVersionBytes{0x01, 0x05, 0x20, 0x19, 0x04, 0x01}));
  EXPECT_EQ(StVersionText(*v), "1.05 2019-04-01");
  EXPECT_FALSE(ParseStVersion("1.05"));
  EXPECT_FALSE(ParseStVersion("1.05 2019-04-01 x"));
}

TEST(StPassThrough, VersionsOfStarterAndProgram) {
  auto panel = MakePanel({{"panel_type", "6"},
                          {"st_version", "1.02 2021-11-30"},
                          {"st_starter_version", "1.04 2019-02-03"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  const auto starter = St(pc, {0x16}, 1, 8);
  EXPECT_EQ(starter.answer, 0x92);
  ASSERT_EQ(starter.data.size(), 8u);
  EXPECT_EQ(Bytes(starter.data.begin(), starter.data.begin() + 7),
            (Bytes{0x26, 0x01, 0x04, 0x20, 0x19, 0x02, 0x03}));
  const auto program = St(pc, {0x18}, 1, 8);
  ASSERT_EQ(program.data.size(), 8u);
  EXPECT_EQ(Bytes(program.data.begin(), program.data.begin() + 7),
            (Bytes{0x28, 0x01, 0x02, 0x20, 0x21, 0x11, 0x30}));
  EXPECT_EQ(panel->Exchanges().back().text, "ST program version (wait 1 s, count 8)");
}

TEST(StPassThrough, ReportedVersionMayBeForced) {
  auto panel = MakePanel({{"panel_type", "6"}});
  panel->MutableSt().programVersion = StVersionBytes{0x01, 0xA0, 0x20, 0x20, 0x01, 0x01};
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(St(pc, {0x18}, 1, 8).data[2], 0xA0);
}

TEST(StPassThrough, WithoutAnAnswerTheStarterReportsAnErrorWhenTheWaitHasPassed) {
  auto panel = MakePanel({{"panel_type", "3"}});  // no ST
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  const std::uint64_t before = pc.NowUs();
  const auto reply = St(pc, {0x16}, 2, 8);
  EXPECT_EQ(reply.answer, 0x93);
  EXPECT_GE(pc.NowUs() - before, 2'000'000u);
}

TEST(StPassThrough, CountDecidesHowManyBytesTheStarterCollects) {
  auto panel = MakePanel({{"panel_type", "8"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(St(pc, {0x16}, 1, 3).data.size(), 3u);
  const auto tooMany = St(pc, {0x16}, 1, 9);  // the ST gives 8; the rest never comes
  EXPECT_EQ(tooMany.answer, 0x92);
  EXPECT_EQ(tooMany.count, 8);
  // A malformed pass-through (length byte wrong) is refused at once.
  EXPECT_EQ(pc.Exchange({0x90, 0x01, 0x08, 0x02, 0x16}).answer, 0x93);
}

TEST(StPassThrough, FskBytesSitWhereTheReadRepliesCarryThem) {
  struct Case {
    const char* type;
    Bytes read;
    std::uint8_t count;
    std::size_t plusIndex;  // data index of D[8] / D[9]
  };
  for (const Case& c :
       {Case{"4", {0x19, 0x80, 0xEF}, 131, 7}, Case{"5", {0x19, 0x02, 0x7F, 0xA0}, 132, 8}}) {
    auto panel = MakePanel({{"panel_type", c.type}, {"st_fsk", "0x07 0x2A"}});
    PcSide pc(*panel);
    ASSERT_TRUE(pc.Connect().valid);
    const auto reply = St(pc, c.read, 1, c.count);
    ASSERT_EQ(reply.data.size(), c.count) << c.type;
    EXPECT_EQ(reply.data[0], 0x29);
    EXPECT_EQ(reply.data[c.plusIndex], 0x07) << c.type;
    EXPECT_EQ(reply.data[c.plusIndex + 1], 0x2A) << c.type;
  }
}

TEST(StPassThrough, BlockChecksCoverTheProgramAtEachAddressForm) {
  for (const char* type : {"4", "5", "7"}) {
    auto panel = MakePanel({{"panel_type", type}});
    const StKind kind = panel->St().kind;
    const auto info = *StKindInfoFor(kind);
    PcSide pc(*panel);
    ASSERT_TRUE(pc.Connect().valid);
    for (std::uint32_t offset : {0u, 128u * 7, info.count - 128}) {
      const auto reply = St(pc, Cat({0x15}, Address(kind, info.start + offset)), 1, 3);
      const std::uint16_t expected =
          StBlockCheck(std::span(panel->St().memory).subspan(offset, kStBlockSize));
      EXPECT_EQ(reply.data, (Bytes{0x25, static_cast<std::uint8_t>(expected),
                                   static_cast<std::uint8_t>(expected >> 8)}))
          << type << " " << offset;
    }
    // The other kinds' address form is not this ST's: no answer.
    const StKind other = kind == StKind::kA ? StKind::kB : StKind::kA;
    EXPECT_EQ(St(pc, Cat({0x15}, Address(other, info.start)), 1, 3).answer, 0x93) << type;
  }
}

// Erases, blank-checks, programs and verifies a new program, as an ST update does.
void Update(PcSide& pc, StKind kind, const Bytes& program) {
  const auto info = *StKindInfoFor(kind);
  EXPECT_EQ(St(pc, {0x12, 0xAA}, 60, 2).data, (Bytes{0x22, 0x00}));
  EXPECT_EQ(St(pc, {0x13}, 3, 2).data, (Bytes{0x23, 0x00}));
  for (std::uint32_t i = 0; i < info.count; i += 128) {
    const Bytes block(program.begin() + i, program.begin() + i + 128);
    if (std::all_of(block.begin(), block.end(), [&](std::uint8_t b) { return b == info.erased; }))
      continue;
    ASSERT_EQ(St(pc, Cat(Cat({0x14}, Address(kind, info.start + i)), block), 1, 2).data,
              (Bytes{0x24, 0x00}))
        << i;
  }
}

TEST(StUpdate, KindANeedsTheUnlockAndTheSessionRequests) {
  auto panel = MakePanel({{"panel_type", "4"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(St(pc, {0x12, 0xAA}, 60, 2).data, (Bytes{0x22, 0x01}));  // locked
  EXPECT_EQ(St(pc, {0x17, 0x3B, 0xC1, 0x09, 0xE5}, 1, 2).data, (Bytes{0x27, 0x01}));
  EXPECT_EQ(St(pc, kUnlock, 1, 2).data, (Bytes{0x27, 0x00}));
  EXPECT_EQ(St(pc, {0x12, 0xAA}, 60, 2).data, (Bytes{0x22, 0x01}));  // no session yet
  EXPECT_EQ(St(pc, {0x1A, 0xFF}, 1, 1).data, (Bytes{0x2A}));
  const Bytes program =
      MakeStProgram(StKind::kA, {0x01, 0x07, 0x20, 0x24, 0x05, 0x06}, 0x01, 0x28, 9);
  Update(pc, StKind::kA, program);
  EXPECT_EQ(St(pc, {0x1A, 0x00}, 1, 1).data, (Bytes{0x2A}));
  EXPECT_EQ(St(pc, Cat({0x14}, Cat(Address(StKind::kA, 0x1000), Bytes(128, 0x00))), 1, 2).data,
            (Bytes{0x24, 0x01}));  // the session has ended
  EXPECT_TRUE(std::equal(program.begin(), program.begin() + 0xE000, panel->St().memory.begin()));
  EXPECT_EQ(St(pc, {0x18}, 1, 8).data[2], 0x07);  // the new program's version
}

TEST(StUpdate, KindBOptionsProtectionAndProgram) {
  auto panel = MakePanel({{"panel_type", "5"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(St(pc, {0x1D}, 1, 16).data, Cat({0x2D, 0x00}, Bytes(14, 0x00)));
  EXPECT_EQ(St(pc, {0x1C, 0xAA}, 1, 1).data, (Bytes{0x7F}));  // locked
  ASSERT_EQ(St(pc, kUnlock, 1, 2).data, (Bytes{0x27, 0x00}));
  EXPECT_EQ(St(pc, {0x1C, 0xAA}, 1, 1).data, (Bytes{0x2C}));
  EXPECT_EQ(St(pc, Cat({0x1B}, kOptionsB), 1, 1).data, (Bytes{0x2B}));
  EXPECT_EQ(St(pc, Cat({0x1F}, kOptionsC), 1, 1).answer, 0x93);  // kind C's request
  EXPECT_EQ(St(pc, {0x1A, 0xFF}, 1, 1).answer, 0x93);            // kind A's request
  EXPECT_EQ(St(pc, {0x1D}, 1, 16).data, Cat({0x2D, 0xAA}, kOptionsB));
  // The erase takes seconds: a wait of 1 s is too short for it.
  EXPECT_EQ(St(pc, {0x12, 0xAA}, 1, 2).answer, 0x93);
  pc.Wait(5000);
  const Bytes program =
      MakeStProgram(StKind::kB, {0x02, 0x01, 0x20, 0x25, 0x01, 0x02}, 0x01, 0x28, 5);
  Update(pc, StKind::kB, program);
  EXPECT_EQ(panel->St().memory, program);
  // Programming a block that is not erased leaves it wrong and says so.
  EXPECT_EQ(St(pc, Cat({0x14}, Cat(Address(StKind::kB, 0x8A00), Bytes(128, 0x5A))), 1, 2).data,
            (Bytes{0x24, 0x01}));
}

TEST(StUpdate, KindCOptionsAndBlankCheck) {
  auto panel = MakePanel({{"panel_type", "7"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  ASSERT_EQ(St(pc, kUnlock, 1, 2).data, (Bytes{0x27, 0x00}));
  EXPECT_EQ(St(pc, Cat({0x1B}, kOptionsB), 1, 1).answer, 0x93);
  EXPECT_EQ(St(pc, Cat({0x1F}, kOptionsC), 1, 1).data, (Bytes{0x2F}));
  EXPECT_EQ(St(pc, {0x1D}, 1, 8).data, Cat({0x2D, 0x00}, kOptionsC));
  EXPECT_EQ(St(pc, {0x13}, 3, 2).data, (Bytes{0x23, 0x01}));  // holds a program
  EXPECT_EQ(St(pc, {0x12, 0xAA}, 60, 2).data, (Bytes{0x22, 0x00}));
  EXPECT_EQ(St(pc, {0x13}, 3, 2).data, (Bytes{0x23, 0x00}));
  EXPECT_TRUE(std::all_of(panel->St().memory.begin(), panel->St().memory.end(),
                          [](std::uint8_t b) { return b == 0; }));
}

TEST(StUpdate, WornOptionsAndAWeakCellAcknowledgeButDoNotKeep) {
  auto panel =
      MakePanel({{"panel_type", "6"}, {"st_options_locked", "yes"}, {"st_weak_cell", "0x8A85"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  ASSERT_EQ(St(pc, kUnlock, 1, 2).data, (Bytes{0x27, 0x00}));
  EXPECT_EQ(St(pc, Cat({0x1F}, kOptionsC), 1, 1).data, (Bytes{0x2F}));
  EXPECT_EQ(St(pc, {0x1D}, 1, 8).data, Cat({0x2D, 0x00}, Bytes(6, 0x00)));
  pc.Wait(5000);
  ASSERT_EQ(St(pc, {0x12, 0xAA}, 60, 2).data, (Bytes{0x22, 0x00}));
  const Bytes block(128, 0x3C);
  EXPECT_EQ(St(pc, Cat(Cat({0x14}, Address(StKind::kC, 0x8A80)), block), 1, 2).data,
            (Bytes{0x24, 0x00}));
  Bytes held = block;
  held[5] = 0x00;  // the weak cell is back at the erased value
  EXPECT_TRUE(std::equal(held.begin(), held.end(), panel->St().memory.begin() + 0x80));
  const std::uint16_t check = StBlockCheck(held);
  EXPECT_EQ(St(pc, Cat({0x15}, Address(StKind::kC, 0x8A80)), 1, 3).data,
            (Bytes{0x25, static_cast<std::uint8_t>(check), static_cast<std::uint8_t>(check >> 8)}));
}

TEST(StPassThrough, AReportedVersionMayBeAnySixBytes) {
  auto panel = MakePanel({{"panel_type", "5"}, {"st_reported_version", "1 0x0A 0x20 0x20 1 0x15"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  const Bytes version = {0x01, 0x0A, 0x20, 0x20, 0x01, 0x15};
  EXPECT_EQ(St(pc, {0x18}, 1, 8).data, Cat(Cat({0x28}, version), {0x61}));  // + their sum
}

TEST(StUpdate, RestartForgetsTheUnlock) {
  auto panel = MakePanel({{"panel_type", "7"}, {"program", "garbage"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  ASSERT_EQ(St(pc, kUnlock, 1, 2).data, (Bytes{0x27, 0x00}));
  ASSERT_EQ(pc.Exchange({0x67, 0x68, 0x69, 0x6A}).answer, 0x91);  // back into the starter
  pc.Wait(500);
  ASSERT_TRUE(pc.Connect().valid);
  EXPECT_EQ(St(pc, {0x12, 0xAA}, 60, 2).data, (Bytes{0x22, 0x01}));
}

}  // namespace
}  // namespace korvex::sim
