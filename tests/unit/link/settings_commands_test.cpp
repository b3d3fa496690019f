#include "link/settings_commands.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "starter_line_fixture.h"

namespace korvex::link {
namespace {

// A settings memory behind the scripted line: answers reads and writes like the starter and
// records every byte write.
class SettingsMemory {
 public:
  SettingsMemory() {
    for (auto& area : areas_) {
      area.resize(0x10000);
      for (std::size_t i = 0; i < area.size(); ++i) {
        area[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
      }
    }
  }
  std::uint8_t& At(std::uint8_t area, std::uint16_t address) { return areas_[area - 1][address]; }
  std::uint16_t SumOf(std::uint8_t area, std::uint16_t from, std::size_t count) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < count; ++i)
      sum = static_cast<std::uint16_t>(sum + At(area, static_cast<std::uint16_t>(from + i)));
    return sum;
  }

  std::vector<std::tuple<std::uint8_t, std::uint16_t, std::uint8_t>> byteWrites;
  int failReadsFrom = -1;  // reads from this count on go unanswered

  std::optional<ScriptedAnswer> Answer(const ScriptedFrame& frame) {
    const Bytes& r = frame.request;
    const auto address = static_cast<std::uint16_t>(r[1] | r[2] << 8);
    const std::uint8_t area = r[3];
    if (area != 1 && area != 2) return ScriptedAnswer{EncodeReplyFrame(0x93, Bytes{0x00}), 5};
    switch (r[0]) {
      case 0x70: {
        if (failReadsFrom >= 0 && reads_++ >= failReadsFrom) return std::nullopt;
        Bytes data;
        for (int i = 0; i < 64; ++i)
          data.push_back(At(area, static_cast<std::uint16_t>(address + i)));
        return ScriptedAnswer{EncodeReplyFrame(0x92, data), 5};
      }
      case 0x80:
        for (int i = 0; i < 64; ++i) At(area, static_cast<std::uint16_t>(address + i)) = r[4 + i];
        return ScriptedAnswer{EncodeReplyFrame(0x91, Bytes{0x00}), 5};
      case 0x81:
        At(area, address) = r[4];
        byteWrites.emplace_back(area, address, r[4]);
        return ScriptedAnswer{EncodeReplyFrame(0x91, Bytes{0x00}), 5};
      default:
        return ScriptedAnswer{EncodeReplyFrame(0x94, Bytes{0x00}), 5};
    }
  }

 private:
  std::array<Bytes, 2> areas_;
  int reads_ = 0;
};

class SettingsCommands : public StarterOnScriptedLine {
 protected:
  void UseMemory() {
    peer.respond = [this](const ScriptedFrame& frame) { return memory.Answer(frame); };
  }
  SettingsMemory memory;
};

TEST(SettingsProtection, EveryAreaHasRoomForTheMarksAndSumsOfItsBlocks) {
  struct Row {
    std::vector<std::uint8_t> types;
    std::uint8_t area;
    SettingsProtection protection;
    int blocks;
  };
  const std::vector<Row> rows{
      {{0, 1}, 1, {0x2500, 0x5260, 0x52A0}, 46},
      {{0, 1}, 2, {0x5300, 0x60C0, 0x60E0}, 14},
      {{2, 3, 4, 5, 6, 7, 8}, 1, {0x8000, 0xFE80, 0xFF00}, 127},
      {{2, 3, 6, 7}, 2, {0x8000, 0xBF40, 0xBF80}, 64},
      {{4, 5}, 2, {0x8000, 0xDEE0, 0xDF40}, 95},
      {{8}, 2, {0x8000, 0xE000, 0xE060}, 96},
  };
  for (const Row& row : rows) {
    for (const std::uint8_t type : row.types) {
      const auto p = SettingsProtectionFor(type, row.area);
      ASSERT_TRUE(p.has_value()) << int{type} << "/" << int{row.area};
      EXPECT_EQ(*p, row.protection) << int{type} << "/" << int{row.area};
      const int blocks = (p->limit - p->base + 255) / 256;
      EXPECT_EQ(blocks, row.blocks);
      EXPECT_LE(p->limit + blocks, p->check);     // marks below the sums
      EXPECT_LE(p->check + 2 * blocks, 0x10000);  // sums inside the area
    }
  }
  EXPECT_FALSE(SettingsProtectionFor(9, 1).has_value());
  EXPECT_FALSE(SettingsProtectionFor(2, 0).has_value());
  EXPECT_FALSE(SettingsProtectionFor(2, 3).has_value());
}

TEST_F(SettingsCommands, RequestsCarryAreaAndAddressLowByteFirst) {
  UseMemory();
  std::array<std::uint8_t, 64> data{};
  ASSERT_TRUE(starter.ReadSettings(2, 0xD968, data));
  EXPECT_EQ(peer.frames.back().request, (Bytes{0x70, 0x68, 0xD9, 0x02}));
  for (int i = 0; i < 64; ++i)
    EXPECT_EQ(data[i], memory.At(2, static_cast<std::uint16_t>(0xD968 + i)));

  std::uint8_t value = 0;
  ASSERT_TRUE(starter.ReadSettingsByte(1, 0x0102, value));
  EXPECT_EQ(value, memory.At(1, 0x0102));
  EXPECT_EQ(peer.frames.back().request, (Bytes{0x70, 0x02, 0x01, 0x01}));

  for (int i = 0; i < 64; ++i) data[i] = static_cast<std::uint8_t>(0xC0 + i);
  starter.WriteSettings(1, 0x1234, data);
  Bytes expected{0x80, 0x34, 0x12, 0x01};
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(peer.frames.back().request, expected);
  EXPECT_EQ(memory.At(1, 0x1234 + 63), 0xFF);

  starter.WriteSettingsByte(2, 0xABCD, 0x5A);
  EXPECT_EQ(peer.frames.back().request, (Bytes{0x81, 0xCD, 0xAB, 0x02, 0x5A}));

  ClearRecords();
  starter.WriteSettingsString(2, 0xFFFF, "AB");
  ASSERT_EQ(peer.frames.size(), 2u);
  EXPECT_EQ(peer.frames[0].request, (Bytes{0x81, 0xFF, 0xFF, 0x02, 'A'}));
  EXPECT_EQ(peer.frames[1].request, (Bytes{0x81, 0x00, 0x00, 0x02, 'B'}));  // wraps
  starter.WriteSettingsString(2, 0x100, "");
  EXPECT_EQ(peer.frames.size(), 2u);
  EXPECT_FALSE(starter.State().SettingsWriteFailed);
}

TEST_F(SettingsCommands, ReadsAcceptOnlySixtyFourBytesWithData) {
  struct Case {
    const char* what;
    std::vector<std::optional<Bytes>> exchanges;
    bool result;
    std::size_t frames;
  };
  const Bytes good = Reply(0x92, Bytes(64, 0x42));
  const Bytes short63 = Reply(0x92, Bytes(63, 0x42));
  const Bytes done = Reply(0x91, Bytes(64, 0x42));
  const std::vector<Case> cases{
      {"good", {good}, true, 1},
      {"count 0x3F four times", {short63, short63, short63, short63, good}, false, 4},
      {"answer 0x91 four times", {done, done, done, done, good}, false, 4},
      {"three of each kind, then good",
       {short63, std::nullopt, done, std::nullopt, done, std::nullopt, good},
       true,
       16},
      {"silent", {}, false, 16},
  };
  for (const Case& c : cases) {
    ClearRecords();
    AnswerExchanges(c.exchanges, kSettingsAttempts);
    std::array<std::uint8_t, 64> data{};
    data.fill(0x11);
    const std::uint64_t start = clock.NowMs();
    EXPECT_EQ(starter.ReadSettings(1, 0x100, data), c.result) << c.what;
    EXPECT_EQ(peer.frames.size(), c.frames) << c.what;
    EXPECT_EQ(data[63], c.result ? 0x42 : 0x11) << c.what;
    if (c.exchanges.empty()) {
      EXPECT_EQ(Since(start), 4u * 4 * 750);
    }
  }
}

TEST_F(SettingsCommands, AFailedWriteSilencesTheLaterOnes) {
  struct Case {
    const char* what;
    bool chunk;  // WriteSettings, else WriteSettingsByte
    std::vector<std::optional<Bytes>> exchanges;
    bool failed;
    std::size_t frames;
  };
  const std::vector<Case> cases{
      {"chunk done", true, {Reply(0x91)}, false, 1},
      {"chunk refused four times",
       true,
       {Reply(0x92), Reply(0x93), Reply(0x92), Reply(0x93)},
       true,
       4},
      {"chunk silent", true, {}, true, 16},
      {"byte done after three of each kind",
       false,
       {Reply(0x92), std::nullopt, Reply(0x92), std::nullopt, Reply(0x92), std::nullopt,
        Reply(0x91)},
       false,
       16},
      {"byte silent", false, {}, true, 16},
  };
  std::array<std::uint8_t, 64> data{};
  for (const Case& c : cases) {
    ClearRecords();
    starter.State().SettingsWriteFailed = false;
    AnswerExchanges(c.exchanges, kSettingsAttempts);
    const std::uint64_t start = clock.NowMs();
    if (c.chunk) {
      starter.WriteSettings(1, 0x200, data);
    } else {
      starter.WriteSettingsByte(1, 0x200, 1);
    }
    EXPECT_EQ(starter.State().SettingsWriteFailed, c.failed) << c.what;
    EXPECT_EQ(peer.frames.size(), c.frames) << c.what;
    if (c.exchanges.empty()) {
      EXPECT_EQ(Since(start), 4u * 4 * 1000) << c.what;
    }
    // Once failed, nothing more goes out.
    ClearRecords();
    AnswerAll(Reply(0x91));
    starter.WriteSettings(1, 0x200, data);
    starter.WriteSettingsByte(1, 0x200, 1);
    starter.WriteSettingsString(1, 0x200, "xyz");
    EXPECT_EQ(peer.frames.size(), c.failed ? 0u : 5u) << c.what;
  }
}

TEST_F(SettingsCommands, OnlyTheChunkWriteStopsOnStop) {
  AnswerAll(std::nullopt);
  session.StopRequested = true;
  std::array<std::uint8_t, 64> data{};
  starter.WriteSettings(1, 0x200, data);
  EXPECT_TRUE(starter.State().SettingsWriteFailed);
  EXPECT_EQ(peer.frames.size(), 4u);

  ClearRecords();
  starter.State().SettingsWriteFailed = false;
  starter.WriteSettingsByte(1, 0x200, 1);
  EXPECT_TRUE(starter.State().SettingsWriteFailed);
  EXPECT_EQ(peer.frames.size(), 16u);

  ClearRecords();
  std::array<std::uint8_t, 64> read{};
  EXPECT_FALSE(starter.ReadSettings(1, 0x200, read));
  EXPECT_EQ(peer.frames.size(), 4u);
}

// The block's mark and sum land where the table puts them, and the sum covers only the
// block's bytes below the limit.
TEST_F(SettingsCommands, BlockChecksGoToTheirPlaces) {
  struct Case {
    const char* what;
    std::uint8_t panelType, area;
    std::uint16_t block;
    std::size_t summed;
    std::uint16_t mark, sumLow;
  };
  const std::vector<Case> cases{
      {"type 2 area 1 last block", 2, 1, 0xFE00, 0x80, 0xFEFE, 0xFFFC},
      {"type 0 area 1 first block", 0, 1, 0x2500, 0x100, 0x5260, 0x52A0},
      {"type 8 area 2 last block", 8, 2, 0xDF00, 0x100, 0xE05F, 0xE11E},
      {"type 4 area 2 last block", 4, 2, 0xDE00, 0xE0, 0xDF3E, 0xDFFC},
      {"type 1 area 2", 1, 2, 0x5400, 0x100, 0x60C1, 0x60E2},
  };
  UseMemory();
  for (const Case& c : cases) {
    ClearRecords();
    memory.byteWrites.clear();
    starter.State().PanelType = c.panelType;
    const std::uint16_t sum = memory.SumOf(c.area, c.block, c.summed);
    EXPECT_TRUE(starter.UpdateSettingsCheck(c.area, c.block)) << c.what;
    // Four chunks of 64 bytes from the block on, each read twice (the second reading
    // confirms the first), then the three byte writes.
    ASSERT_EQ(peer.frames.size(), 11u) << c.what;
    for (int q = 0; q < 8; ++q) {
      const auto address = static_cast<std::uint16_t>(c.block + 64 * (q / 2));
      EXPECT_EQ(peer.frames[q].request, (Bytes{0x70, static_cast<std::uint8_t>(address),
                                               static_cast<std::uint8_t>(address >> 8), c.area}))
          << c.what;
    }
    using W = std::tuple<std::uint8_t, std::uint16_t, std::uint8_t>;
    EXPECT_EQ(memory.byteWrites, (std::vector<W>{{c.area, c.mark, 0xFF},
                                                 {c.area, c.sumLow, static_cast<std::uint8_t>(sum)},
                                                 {c.area, static_cast<std::uint16_t>(c.sumLow + 1),
                                                  static_cast<std::uint8_t>(sum >> 8)}}))
        << c.what;
  }
}

TEST_F(SettingsCommands, ACheckedByteRefreshesItsBlockOrIsWrittenAloneOutsideTheRange) {
  UseMemory();
  struct Case {
    const char* what;
    std::uint8_t panelType, area;
    std::uint16_t address;
    std::optional<std::uint16_t> mark, sumLow;  // nullopt: the byte alone
  };
  const std::vector<Case> cases{
      {"type 2 area 1", 2, 1, 0x8123, 0xFE81, 0xFF02},
      {"type 0 area 1 last byte of the range", 0, 1, 0x525F, 0x528D, 0x52FA},
      // Below the base of area 2 on types 0 and 1: no block, no mark, no sum.
      {"type 0 area 2 below the base", 0, 2, 0x1234, std::nullopt, std::nullopt},
      {"type 1 area 2 below the base", 1, 2, 0x52FF, std::nullopt, std::nullopt},
      // The marks and sums themselves lie above the limit.
      {"type 2 area 1 in the marks", 2, 1, 0xFE90, std::nullopt, std::nullopt},
      {"type 5 area 2 above the limit", 5, 2, 0xF000, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    ClearRecords();
    memory.byteWrites.clear();
    starter.State().PanelType = c.panelType;
    EXPECT_TRUE(starter.WriteSettingsByteChecked(c.area, c.address, 0xA7)) << c.what;
    ASSERT_FALSE(memory.byteWrites.empty()) << c.what;
    EXPECT_EQ(memory.byteWrites[0], std::make_tuple(c.area, c.address, std::uint8_t{0xA7}))
        << c.what;
    if (!c.mark) {
      EXPECT_EQ(memory.byteWrites.size(), 1u) << c.what;
      EXPECT_EQ(peer.frames.size(), 1u) << c.what;
      continue;
    }
    const auto block = static_cast<std::uint16_t>(c.address & 0xFF00);
    const auto p = *SettingsProtectionFor(c.panelType, c.area);
    const auto count = static_cast<std::size_t>(std::min(p.limit - block, 256));
    const std::uint16_t sum = memory.SumOf(c.area, block, count);
    ASSERT_EQ(memory.byteWrites.size(), 4u) << c.what;
    EXPECT_EQ(memory.byteWrites[1], std::make_tuple(c.area, *c.mark, std::uint8_t{0xFF})) << c.what;
    EXPECT_EQ(memory.byteWrites[2],
              std::make_tuple(c.area, *c.sumLow, static_cast<std::uint8_t>(sum)))
        << c.what;
    EXPECT_EQ(memory.byteWrites[3],
              std::make_tuple(c.area, static_cast<std::uint16_t>(*c.sumLow + 1),
                              static_cast<std::uint8_t>(sum >> 8)))
        << c.what;
  }
}

TEST_F(SettingsCommands, ABlockCheckThatCannotBeComputedWritesNothing) {
  UseMemory();
  starter.State().PanelType = 2;
  struct Case {
    const char* what;
    std::uint16_t block;
    int failReadsFrom;
    std::size_t frames;
  };
  const std::vector<Case> cases{
      {"below the base", 0x7F00, -1, 0},
      {"at the limit", 0xFE80, -1, 0},
      {"not a block start", 0x8040, -1, 0},
      // The third read goes unanswered: four exchanges of four attempts.
      {"a read fails", 0x8100, 2, 2 + 16},
  };
  for (const Case& c : cases) {
    ClearRecords();
    memory.byteWrites.clear();
    memory = SettingsMemory();
    memory.failReadsFrom = c.failReadsFrom;
    EXPECT_FALSE(starter.UpdateSettingsCheck(1, c.block)) << c.what;
    EXPECT_EQ(peer.frames.size(), c.frames) << c.what;
    EXPECT_TRUE(memory.byteWrites.empty()) << c.what;
  }
}

TEST_F(SettingsCommands, AnUnknownPanelTypeOrAreaShowsItsErrorAndFails) {
  UseMemory();
  struct Case {
    std::uint8_t panelType, area;
    const char* text;
  };
  for (const Case& c : {Case{9, 1, "ERROR 1"}, Case{0xFF, 3, "ERROR 1"}, Case{3, 3, "ERROR 2"},
                        Case{0, 0, "ERROR 2"}}) {
    ClearRecords();
    op.boxes.clear();
    starter.State().PanelType = c.panelType;
    starter.State().SettingsWriteFailed = false;
    EXPECT_FALSE(starter.UpdateSettingsCheck(c.area, 0x8000)) << c.text;
    EXPECT_FALSE(starter.WriteSettingsByteChecked(c.area, 0x8000, 1)) << c.text;
    ASSERT_EQ(op.boxes.size(), 2u) << c.text;
    for (const auto& box : op.boxes) {
      EXPECT_EQ(box.text, c.text);
      EXPECT_EQ(box.kind, shell::MessageKind::kError);
      EXPECT_TRUE(box.okOnly);
    }
    // Only the checked write's byte goes out (refused four times for an unknown area).
    EXPECT_EQ(peer.frames.size(), c.area == 1 ? 1u : 4u) << c.text;
  }
}

}  // namespace
}  // namespace korvex::link
