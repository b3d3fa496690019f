// The table-driven settings conversions of a Program run against the simulated panel: which
// steps run for a pair of versions, the bytes each writes in which order, the block marks
// and sums they leave, and the ends of the run on failed reads and writes.
#include <gtest/gtest.h>

#include "settings_test_util.h"

namespace korvex::testing {
namespace {

constexpr std::uint8_t kFirstMoveRead = 19;  // see ObjectMoveReadFailureTest

// The type-1 object data of object j, byte k (k = 0, 1 in the record, 2..5 in the arrays).
std::uint8_t ObjectByte(int j, int k) {
  return static_cast<std::uint8_t>(0x10 * (j + 1) + k);
}

TEST(TableConversionsTest, Type1From109To120RunsTheListedStepsInOrder) {
  // Area 1 from 0x41B4: the arrays X1..X4 (4 bytes each), then the four 4-byte records.
  Bytes objects(32, 0xEE);
  for (int j = 0; j < 4; ++j) {
    for (int k = 2; k < 6; ++k) objects[4 * (k - 2) + j] = ObjectByte(j, k);
    objects[16 + 4 * j] = ObjectByte(j, 0);
    objects[16 + 4 * j + 1] = ObjectByte(j, 1);
  }
  const Bytes flags{0x00, 0x01, 0x02, 0x03, 0xFC, 0xFD, 0xFE, 0xFF, 0x02, 0x01};
  RunBench bench(ConversionBench(
      1, "109", "120",
      {// b1 = 0x0F, b4 = 0x08, b5 = 0x00, b3 = 0x0D; b2 = 0x02: objects 0 and 2 move.
       {"settings1_bytes", BytesAt(0x5186, {0x0F, 0x08, 0x00, 0x0D})},
       {"settings1_bytes", BytesAt(0x51B7, {0x02})},
       {"settings1_bytes", BytesAt(0x41B4, objects)},
       {"settings1_bytes", BytesAt(0x4FEC, flags)},
       {"settings1_bytes", BytesAt(0x5140, {0x13})},
       {"settings1_bytes", BytesAt(0x5145, {0x13, 0x12})},
       {"settings1_bytes", BytesAt(0x515F, {0x13})},
       {"settings1_bytes", BytesAt(0x2D80, {0x05, 0x04, 0xFF})},
       {"settings1_bytes", BytesAt(0x2D9F, {0x01})}}));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();
  ASSERT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(bench.PanelProgramEqualsImage());

  Writes w;
  // 1.12 cleared fields.
  w.Fill(1, 0x7D44, 4, 0x00);
  // 1.12 object data move: b2 cleared, then each object's six bytes to area 2 and cleared.
  w.Add(1, 0x51B7, 0x00);
  const std::array<std::uint16_t, 6> y{0x39B8, 0x39BC, 0x3A30, 0x3A34, 0x3A38, 0x3A3C};
  for (const int j : {0, 2}) {
    const std::array<std::uint16_t, 6> x{
        static_cast<std::uint16_t>(0x41C4 + 4 * j), static_cast<std::uint16_t>(0x41C5 + 4 * j),
        static_cast<std::uint16_t>(0x41B4 + j),     static_cast<std::uint16_t>(0x41B8 + j),
        static_cast<std::uint16_t>(0x41BC + j),     static_cast<std::uint16_t>(0x41C0 + j)};
    for (int k = 0; k < 6; ++k) w.Add(2, static_cast<std::uint16_t>(y[k] + j), ObjectByte(j, k));
    for (int k = 0; k < 6; ++k) w.Add(1, x[k], 0x00);
  }
  // 1.10 fill with 0x00.
  for (const auto& [address, count] : std::vector<std::pair<std::uint16_t, int>>{{0x3080, 64},
                                                                                 {0x3440, 128},
                                                                                 {0x35A0, 32},
                                                                                 {0x36A0, 32},
                                                                                 {0x37A0, 32},
                                                                                 {0x38A0, 32},
                                                                                 {0x3930, 16},
                                                                                 {0x39B0, 16},
                                                                                 {0x3A30, 16},
                                                                                 {0x3AB0, 16}}) {
    w.Fill(1, address, count, 0x00);
  }
  // 1.17: bit 1 into the first table, bit 0 into the second, two bytes each.
  for (int i = 0; i < 10; ++i) {
    w.Fill(1, static_cast<std::uint16_t>(0x35A0 + 2 * i), 2, (flags[i] & 2) ? 0xFF : 0x00);
    w.Fill(1, static_cast<std::uint16_t>(0x36A0 + 2 * i), 2, (flags[i] & 1) ? 0xFF : 0x00);
  }
  // 1.11: four bytes cleared; the bytes 0, 5 and 31 of the scan are 0x13.
  w.Fill(1, 0x3AB8, 4, 0x00).Add(1, 0x3D60, 0x00).Add(1, 0x3D6A, 0x00).Add(1, 0x3D9E, 0x00);
  // 1.19: zone bytes with bit 0 set lose it; 0x04 is left alone.
  w.Add(1, 0x2D80, 0x04).Add(1, 0x2D82, 0xFE).Add(1, 0x2D9F, 0x00);

  EXPECT_EQ(DataWrites(bench, 1), w.list);
  EXPECT_TRUE(SettingsEqual(bench, Expected(1, before, w.list)));
  // Fill, expansion, 1.11 clearing and zone flags have lines; the 1.12 steps and the 1.14
  // clearing do not show.
  EXPECT_EQ(ConversionVerdicts(bench), std::vector<RecordedStatus>(4, {kOk, kPlain}));
  for (const RecordedLine& line : bench.op.lines) {
    if (line.caption == kConversion) {
      EXPECT_EQ(line.progress.back(), 100);
    }
  }
  EXPECT_TRUE(bench.panel->Violations().empty());
}

TEST(TableConversionsTest, Type1From113To114ClearsOnlyThe114Bytes) {
  RunBench bench(ConversionBench(1, "113", "114"));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();
  ASSERT_EQ(bench.ExitCode(), 6);
  const std::vector<SettingsWrite> expected = Writes().Fill(1, 0x3440, 49, 0x00).list;
  EXPECT_EQ(DataWrites(bench, 1), expected);
  EXPECT_TRUE(SettingsEqual(bench, Expected(1, before, expected)));
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{kOk, kPlain}}));
  EXPECT_EQ(bench.op.Line(kConversion)->progress.back(), 100);
}

TEST(TableConversionsTest, Type1From110To109FillsTheFirstRangeWithSpacesAndTheRestWith99) {
  RunBench bench(ConversionBench(1, "110", "109"));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();  // the older program is accepted
  ASSERT_EQ(bench.ExitCode(), 6);
  Writes w;
  w.Fill(1, 0x3080, 64, 0x20).Fill(1, 0x3440, 128, 0x99);
  for (const int a : {0x35A0, 0x36A0, 0x37A0, 0x38A0}) {
    w.Fill(1, static_cast<std::uint16_t>(a), 32, 0x99);
  }
  for (const int a : {0x3930, 0x39B0, 0x3A30, 0x3AB0}) {
    w.Fill(1, static_cast<std::uint16_t>(a), 16, 0x99);
  }
  EXPECT_EQ(DataWrites(bench, 1), w.list);
  EXPECT_TRUE(SettingsEqual(bench, Expected(1, before, w.list)));
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{kOk, kPlain}}));
}

TEST(TableConversionsTest, Type2From112To111CopiesTheObjectsBackAndTakesTheOthersOutOfUse) {
  // Area 2, type 2: the six arrays y0..y5 of 8 objects each, 0xAB76 to 0xABA5.
  Bytes areaTwo(48);
  for (int k = 0; k < 6; ++k) {
    for (int j = 0; j < 8; ++j) areaTwo[8 * k + j] = static_cast<std::uint8_t>(0x40 + 8 * k + j);
  }
  // b1 = 0xFF, b4 = 0x00, b5 = 0x04, b3 = 0x7F; b2 = 0x81: objects 1, 3, 4, 5 and 6.
  RunBench bench(ConversionBench(2, "112", "111",
                                 {{"settings1_bytes", BytesAt(0xDB86, {0xFF, 0x00, 0x04, 0x7F})},
                                  {"settings1_bytes", BytesAt(0xDA68, {0x81})},
                                  {"settings2_bytes", BytesAt(0xAB76, areaTwo)}}));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();
  ASSERT_EQ(bench.ExitCode(), 6);
  Writes w;
  w.Add(1, 0xDB86, 0x7E);  // b1 without the objects of b2
  for (const int j : {1, 3, 4, 5, 6}) {
    const std::array<std::uint16_t, 6> x{
        static_cast<std::uint16_t>(0xBAA0 + 8 * j), static_cast<std::uint16_t>(0xBAA1 + 8 * j),
        static_cast<std::uint16_t>(0xBA80 + j),     static_cast<std::uint16_t>(0xBA88 + j),
        static_cast<std::uint16_t>(0xBA90 + j),     static_cast<std::uint16_t>(0xBA98 + j)};
    for (int k = 0; k < 6; ++k) w.Add(1, x[k], static_cast<std::uint8_t>(0x40 + 8 * k + j));
  }
  EXPECT_EQ(DataWrites(bench, 2), w.list);
  EXPECT_TRUE(SettingsEqual(bench, Expected(2, before, w.list)));
  EXPECT_EQ(ConversionLines(bench), 0);
}

TEST(TableConversionsTest, Type8From116To119ExpandsIntoArea2AndClearsTheZoneFlags) {
  Bytes flags(18);
  for (int i = 0; i < 18; ++i) flags[i] = static_cast<std::uint8_t>(0xF0 | i % 4);
  RunBench bench(ConversionBench(8, "116", "119",
                                 {{"settings1_bytes", BytesAt(0xF528, flags)},
                                  {"settings1_bytes", BytesAt(0x9E00, {0x05})},
                                  {"settings1_bytes", BytesAt(0x9EFF, {0x03})}}));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();
  ASSERT_EQ(bench.ExitCode(), 6);
  Writes w;
  for (int i = 0; i < 18; ++i) {
    w.Fill(2, static_cast<std::uint16_t>(0xCFA0 + 4 * i), 4, (flags[i] & 2) ? 0xFF : 0x00);
    w.Fill(2, static_cast<std::uint16_t>(0xCFE8 + 4 * i), 4, (flags[i] & 1) ? 0xFF : 0x00);
  }
  w.Add(1, 0x9E00, 0x04).Add(1, 0x9EFF, 0x02);
  EXPECT_EQ(DataWrites(bench, 8), w.list);
  EXPECT_TRUE(SettingsEqual(bench, Expected(8, before, w.list)));
  EXPECT_EQ(ConversionVerdicts(bench), std::vector<RecordedStatus>(2, {kOk, kPlain}));
}

// The object move of a type 2 panel from 1.11 to 1.12 with one object (0) to move. Every
// reading is confirmed by a second one: b1..b5 are reads 1..10, the check update after
// clearing b2 reads 11..18, and the object's first data byte is read 19.
struct MoveFailureCase {
  const char* name;
  int firstLostRead;
  bool moves;
};

void PrintTo(const MoveFailureCase& c, std::ostream* os) {
  *os << c.name;
}

class ObjectMoveReadFailureTest : public ::testing::TestWithParam<MoveFailureCase> {};

TEST_P(ObjectMoveReadFailureTest, AByteThatCannotBeReadStaysWhereItIs) {
  const MoveFailureCase& c = GetParam();
  RunBench bench(ConversionBench(
      2, "111", "112",
      {{"settings1_bytes", BytesAt(0xDB86, {0x01, 0x00, 0x00, 0x01})},
       {"settings1_bytes", BytesAt(0xDA68, {0x00})},
       {"settings1_bytes", BytesAt(0xBAA0, {0x31, 0x32})},
       {"settings1_bytes", BytesAt(0xBA80, {0x33})},
       {"settings1_bytes", BytesAt(0xBA88, {0x34})},
       {"settings1_bytes", BytesAt(0xBA90, {0x35})},
       {"settings1_bytes", BytesAt(0xBA98, {0x36})},
       {"fault.drop_request", Occurrences(kReadSettings, c.firstLostRead, kFramesPerGiveUp)}}));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();
  ASSERT_EQ(bench.ExitCode(), 6);
  Writes w;
  w.Fill(1, 0x79B0, 8, 0x00);  // the 1.12 cleared fields
  if (c.moves) {
    w.Add(1, 0xDA68, 0x00);
    // The first byte (0xBAA0) was not read: it is neither moved nor cleared.
    const std::array<std::uint16_t, 5> x{0xBAA1, 0xBA80, 0xBA88, 0xBA90, 0xBA98};
    const std::array<std::uint16_t, 5> y{0xAB7E, 0xAB86, 0xAB8E, 0xAB96, 0xAB9E};
    for (int k = 0; k < 5; ++k) w.Add(2, y[k], static_cast<std::uint8_t>(0x32 + k));
    for (int k = 0; k < 5; ++k) w.Add(1, x[k], 0x00);
  }
  EXPECT_EQ(DataWrites(bench, 2), w.list);
  EXPECT_TRUE(SettingsEqual(bench, Expected(2, before, w.list)));
  EXPECT_EQ(ConversionLines(bench), 0);
}

INSTANTIATE_TEST_SUITE_P(Reads, ObjectMoveReadFailureTest,
                         ::testing::Values(MoveFailureCase{"ControlByteLost", 1, false},
                                           MoveFailureCase{"DataByteLost", kFirstMoveRead, true}),
                         [](const ::testing::TestParamInfo<MoveFailureCase>& param) {
                           return param.param.name;
                         });

// A type 3 panel from 1.18 to 1.19 with zone 0 to clear: the zone flag step is the only one.
struct ZoneFailureCase {
  const char* name;
  std::string lost;
};

void PrintTo(const ZoneFailureCase& c, std::ostream* os) {
  *os << c.name;
}

class ZoneFlagFailureTest : public ::testing::TestWithParam<ZoneFailureCase> {};

TEST_P(ZoneFlagFailureTest, EndsTheRunWithExitCode3BeforeTheErase) {
  RunBench bench(ConversionBench(
      3, "118", "119",
      {{"settings1_bytes", BytesAt(0x9C80, {0x05})}, {"fault.drop_request", GetParam().lost}}));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{"ERROR", kBoldRed}}));
  EXPECT_EQ(LastCaption(bench), kConversion);
  EXPECT_EQ(bench.ExitCode(), 3);
  EXPECT_TRUE(bench.Session().StopRequested);
  EXPECT_FALSE(AnyWrite(bench));
  EXPECT_EQ(BoxTexts(bench), std::vector<std::string>{"Continue ?"});
  EXPECT_TRUE(SettingsEqual(bench, before));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ZoneFlagFailureTest,
    ::testing::Values(ZoneFailureCase{"WriteLost", "0x81:*"},
                      ZoneFailureCase{"ReadLost", Occurrences(kReadSettings, 1, kFramesPerGiveUp)}),
    [](const ::testing::TestParamInfo<ZoneFailureCase>& param) { return param.param.name; });

TEST(TableConversionsTest, NothingIsConvertedForAnUnrecognisedPanelProgram) {
  RunBench bench(Bench(FileWith(1, "120"),
                       {{"panel_type", "1"}, {"program", "garbage"}, {"settings_fill", kFill}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_EQ(ConversionLines(bench), 0);
  EXPECT_EQ(bench.Heard(kReadSettings) + bench.Heard(kWriteSettingsByte), 0);
}

TEST(TableConversionsTest, AStopDuringAStepEndsTheRunBeforeTheNextStepAndTheErase) {
  RunBench bench(ConversionBench(1, "109", "120"));
  bench.StartWithFile();
  bool pressed = false;
  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (!pressed && line.caption == kConversion && line.progress.size() == 10) {
      pressed = true;
      bench.app->StopClick();
    }
  };
  bench.Program();
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{"Continue ?", "Abort ?"}));
  // The fill's next write fails at once; no later step begins.
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{"ERROR", kBoldRed}}));
  EXPECT_EQ(LastCaption(bench), kConversion);
  EXPECT_FALSE(AnyWrite(bench));
  EXPECT_EQ(bench.ExitCode(), 3);
}

TEST(TableConversionsTest, AFailedWriteOfAnotherStepShowsErrorAndTheRunGoesOn) {
  // Type 3 from 1.16 to 1.17: the flag expansion alone. Its first write never gets through.
  RunBench bench(ConversionBench(3, "116", "117", {{"fault.drop_request", "0x81:*"}}));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{"ERROR", kBoldRed}}));
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
  // The step gave up at its first write; the rest would have been silenced anyway.
  EXPECT_EQ(bench.Heard(kWriteSettingsByte), kFramesPerGiveUp);
  EXPECT_EQ(bench.op.Line(kConversion)->progress, std::vector<int>{0});
  EXPECT_TRUE(SettingsEqual(bench, before));
}

}  // namespace
}  // namespace korvex::testing
