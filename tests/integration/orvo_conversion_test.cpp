// The conversion of the ORVO devices' temperature settings (panel types 4 and 5, 1.08 / 1.09)
// in a Program run against the simulated panel: the records written back with their block
// checks, the conditions that block it, the question and its answers.
#include <gtest/gtest.h>

#include "settings_test_util.h"

namespace korvex::testing {
namespace {

constexpr const char* kCannotConvert =
    "It is not possible to convert the format\rof ORVO devices temperature settings.\r\r"
    "Continue ?";

// The device tables: 48 type bytes (area 2), 48 24-bit values (area 2) and 48 three-byte
// records (area 1).
struct OrvoTables {
  Bytes types = Bytes(48, 0x00);
  Bytes values = Bytes(144, 0x00);
  Bytes records = Bytes(144, 0x00);

  // A type-23 device at positions i and i+1 with its six record bytes and one value.
  OrvoTables& Device(int i, const Bytes& record, std::uint32_t value = 0) {
    types[i] = 23;
    std::copy(record.begin(), record.end(), records.begin() + 3 * i);
    Value(i, value).Value(i + 1, value);
    return *this;
  }
  OrvoTables& Value(int i, std::uint32_t value) {
    for (int b = 0; b < 3; ++b) values[3 * i + b] = static_cast<std::uint8_t>(value >> 8 * b);
    return *this;
  }
  PresetKeys Keys() const {
    return {{"settings2_bytes", BytesAt(0xD960, types)},
            {"settings2_bytes", BytesAt(0xD990, values)},
            {"settings1_bytes", BytesAt(0xF57A, records)}};
  }
  // The three 64-byte writes that put the record table back.
  std::vector<ChunkWrite> WriteBack() const {
    std::vector<ChunkWrite> writes;
    for (const int offset : {0, 64, 80}) {
      writes.push_back({1, static_cast<std::uint16_t>(0xF57A + offset),
                        Bytes(records.begin() + offset, records.begin() + offset + 64)});
    }
    return writes;
  }
};

// Two devices in the 1.09 layout that convert down.
OrvoTables Convertible109() {
  OrvoTables t;
  t.Device(0, {0x01, 0xAB, 0x6C, 0x81, 0xCD, 25}, 0x123456);
  t.Device(10, {0x00, 0x05, 20, 0x80, 0x10, 3}, 0x000001);
  t.types[2] = 7;  // another device
  return t;
}

TEST(OrvoConversionTest, AnUpgradeWritesTheTemperaturesInTheNewLayout) {
  OrvoTables t;
  t.Device(0, {0x01, 0xAB, 0x00, 0xCD, 0x00, 100});  // C = 100 gives T = 0
  t.types[2] = 7;
  t.records[6] = 0x11;
  t.Device(3, {0x00, 0x12, 0x01, 0x34, 0x00, 125});  // C = 125 gives T = 15
  t.Device(5, {0xFF, 0x00, 0xF0, 0x77, 0x00, 200});  // C = 200 gives T = 20
  t.types[47] = 23;                                  // no second position: left alone
  t.records[141] = 0x44;
  RunBench bench(ConversionBench(4, "108", "109", t.Keys()));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();
  ASSERT_EQ(bench.ExitCode(), 6);

  OrvoTables converted = t;
  const Bytes records109 = {0x01, 0xAB, 0x00, 0x80, 0xCD, 0x00};
  std::copy(records109.begin(), records109.end(), converted.records.begin());
  const Bytes device3 = {0x00, 0x12, 0x0F, 0x81, 0x34, 0x0F};
  std::copy(device3.begin(), device3.end(), converted.records.begin() + 9);
  const Bytes device5 = {0x01, 0x00, 0x14, 0x80, 0x77, 0x14};
  std::copy(device5.begin(), device5.end(), converted.records.begin() + 15);
  EXPECT_EQ(ChunkWrites(bench), converted.WriteBack());
  EXPECT_TRUE(DataWrites(bench, 4).empty());
  EXPECT_TRUE(SettingsEqual(bench, Expected(4, before, {}, converted.WriteBack())));
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{kOk, kPlain}}));
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{"Continue ?", "Updating ok."}));
}

TEST(OrvoConversionTest, ADowngradeTakesTheSmallerTemperatureOfEachDevice) {
  const OrvoTables t = Convertible109();
  RunBench bench(ConversionBench(5, "109", "108", t.Keys()));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();  // the older program is accepted
  ASSERT_EQ(bench.ExitCode(), 6);

  OrvoTables converted = t;
  const Bytes device0 = {0x01, 0xAB, 0x01, 0xCD, 0x00, 122};  // T2 = 25 is limited to 20
  std::copy(device0.begin(), device0.end(), converted.records.begin());
  const Bytes device10 = {0x00, 0x05, 0x00, 0x10, 0x00, 113};
  std::copy(device10.begin(), device10.end(), converted.records.begin() + 30);
  EXPECT_EQ(ChunkWrites(bench), converted.WriteBack());
  EXPECT_TRUE(SettingsEqual(bench, Expected(5, before, {}, converted.WriteBack())));
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{kOk, kPlain}}));
}

struct BlockCase {
  const char* name;
  void (*spoil)(OrvoTables&);
};

void PrintTo(const BlockCase& c, std::ostream* os) {
  *os << c.name;
}

class OrvoDowngradeBlockedTest : public ::testing::TestWithParam<BlockCase> {};

// One device that cannot be converted leaves the whole table as it was; Yes goes on.
TEST_P(OrvoDowngradeBlockedTest, NothingIsWrittenAndYesGoesOnWithQuestionMarks) {
  OrvoTables t = Convertible109();
  GetParam().spoil(t);
  RunBench bench(ConversionBench(5, "109", "108", t.Keys()));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();
  ASSERT_GE(bench.op.boxes.size(), 2u);
  EXPECT_EQ(bench.op.boxes[1].text, kCannotConvert);
  EXPECT_EQ(bench.op.boxes[1].kind, shell::MessageKind::kConfirmation);
  EXPECT_FALSE(bench.op.boxes[1].okOnly);
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{"???", kPlain}}));
  EXPECT_TRUE(ChunkWrites(bench).empty());
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(SettingsEqual(bench, before));
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, OrvoDowngradeBlockedTest,
    ::testing::Values(
        BlockCase{"SecondPositionNotFree", [](OrvoTables& tables) { tables.types[11] = 5; }},
        BlockCase{"ValuesDiffer", [](OrvoTables& tables) { tables.Value(1, 0x123457); }},
        BlockCase{"FirstPositionMarked", [](OrvoTables& tables) { tables.records[0] |= 0x80; }},
        BlockCase{"SecondPositionUnmarked", [](OrvoTables& tables) { tables.records[33] = 0x00; }},
        BlockCase{"DeviceAtTheLastPosition", [](OrvoTables& tables) { tables.types[47] = 23; }},
        BlockCase{"DeviceOfType25", [](OrvoTables& tables) { tables.types[30] = 25; }}),
    [](const ::testing::TestParamInfo<BlockCase>& param) { return param.param.name; });

struct DirectionCase {
  const char* name;
  int panelType;
  const char* panelVersion;
  const char* fileVersion;
};

void PrintTo(const DirectionCase& c, std::ostream* os) {
  *os << c.name;
}

class OrvoType25Test : public ::testing::TestWithParam<DirectionCase> {};

TEST_P(OrvoType25Test, ADeviceOfType25BlocksTheConversionWithoutAnyType23) {
  const DirectionCase& c = GetParam();
  OrvoTables t;
  t.types[7] = 25;
  t.records[21] = 0x99;
  RunBench bench(ConversionBench(c.panelType, c.panelVersion, c.fileVersion, t.Keys()));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();
  const std::vector<std::string> boxes = BoxTexts(bench);
  EXPECT_EQ(boxes.back(), "Updating ok.");
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), kCannotConvert), 1);
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{"???", kPlain}}));
  EXPECT_TRUE(ChunkWrites(bench).empty());
  EXPECT_TRUE(SettingsEqual(bench, before));
}

INSTANTIATE_TEST_SUITE_P(Directions, OrvoType25Test,
                         ::testing::Values(DirectionCase{"Upgrade", 4, "108", "109"},
                                           DirectionCase{"Downgrade", 5, "109", "108"}),
                         [](const ::testing::TestParamInfo<DirectionCase>& param) {
                           return param.param.name;
                         });

TEST(OrvoConversionTest, NoAnswersEndTheRunBeforeTheErase) {
  OrvoTables t = Convertible109();
  t.types[47] = 23;
  RunBench bench(ConversionBench(5, "109", "108", t.Keys()));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.op.answers = {true, false};  // the older program yes, going on no
  bench.Program();
  EXPECT_EQ(LastCaption(bench), kConversion);
  EXPECT_TRUE(bench.op.Line(kConversion)->statuses.empty());
  EXPECT_FALSE(AnyWrite(bench));
  EXPECT_EQ(bench.ExitCode(), 0);
  EXPECT_TRUE(SettingsEqual(bench, before));
}

TEST(OrvoConversionTest, AnUnattendedRunGoesOnWithoutAskingAndShowsQuestionMarks) {
  OrvoTables t = Convertible109();
  t.types[11] = 5;
  RunBench bench(ConversionBench(5, "109", "108", t.Keys()));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartUnattended();
  EXPECT_TRUE(bench.op.boxes.empty());
  // "???" rather than "   ok": the table kept its old layout.
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{"???", kPlain}}));
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
  EXPECT_TRUE(SettingsEqual(bench, before));
}

TEST(OrvoConversionTest, WithoutDevicesToConvertOnlyTheTypesAreRead) {
  OrvoTables t;
  t.types = Bytes(48, 7);
  RunBench bench(ConversionBench(4, "108", "109", t.Keys()));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{"not needed", kPlain}}));
  // Read twice: the second reading confirms the first.
  ASSERT_EQ(bench.Heard(kReadSettings), 2);
  for (const auto& read : bench.HeardRequests(kReadSettings)) {
    EXPECT_EQ(read.request, (Bytes{kReadSettings, 0x60, 0xD9, 0x02}));
  }
  EXPECT_EQ(bench.Heard(kWriteSettings) + bench.Heard(kWriteSettingsByte), 0);
  EXPECT_EQ(bench.ExitCode(), 6);
}

TEST(OrvoConversionTest, IsNotDueOnOtherPanelTypes) {
  OrvoTables t;
  t.Device(0, {0x01, 0xAB, 0x00, 0xCD, 0x00, 100});
  RunBench bench(ConversionBench(3, "108", "109", t.Keys()));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_EQ(ConversionLines(bench), 0);
  EXPECT_EQ(bench.Heard(kReadSettings), 0);
}

struct FailureCase {
  const char* name;
  PresetKeys faults;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class OrvoFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(OrvoFailureTest, ALostReadOrWriteLeavesTheTableAndAsks) {
  OrvoTables t;
  t.Device(0, {0x01, 0xAB, 0x00, 0xCD, 0x00, 100});
  PresetKeys keys = t.Keys();
  for (const auto& key : GetParam().faults) keys.push_back(key);
  RunBench bench(ConversionBench(4, "108", "109", keys));
  const std::array<Bytes, 2> before = SettingsOf(bench);
  bench.StartWithFile();
  bench.Program();
  const std::vector<std::string> boxes = BoxTexts(bench);
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), kCannotConvert), 1);
  EXPECT_EQ(ConversionVerdicts(bench), (std::vector<RecordedStatus>{{"???", kPlain}}));
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(SettingsEqual(bench, before));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, OrvoFailureTest,
    ::testing::Values(
        FailureCase{"TypeTableRead", {{"fault.drop_request", Occurrences(0x70, 1, 16)}}},
        FailureCase{"ValueTableRead", {{"fault.drop_request", Occurrences(0x70, 2, 16)}}},
        FailureCase{"RecordWrite", {{"fault.drop_request", "0x80:*"}}}),
    [](const ::testing::TestParamInfo<FailureCase>& param) { return param.param.name; });

TEST(OrvoConversionTest, AFailedWriteBackSilencesTheClearedFieldsOfTheNextStep) {
  // Type 4 from 1.08 to 1.12: the ORVO step, the 1.12 cleared fields, the object move and
  // the 1.11 clearing.
  OrvoTables t;
  t.Device(0, {0x01, 0xAB, 0x00, 0xCD, 0x00, 100});
  PresetKeys keys = t.Keys();
  keys.push_back({"fault.drop_request", "0x80:*"});
  RunBench bench(ConversionBench(4, "108", "112", keys));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(ConversionVerdicts(bench),
            (std::vector<RecordedStatus>{{"???", kPlain}, {kOk, kPlain}}));
  // The first 64-byte write gave up; the others were not sent.
  EXPECT_EQ(bench.Heard(kWriteSettings), kFramesPerGiveUp);
  // No cleared field at 0x7988. The flag is cleared after that step: the object move (no
  // object selected in the 0x5A settings) clears b2, and the 1.11 clearing its eight bytes.
  EXPECT_EQ(DataWrites(bench, 4), Writes().Add(1, 0xF0DA, 0x00).Fill(1, 0xF0D0, 8, 0x00).list);
  EXPECT_EQ(bench.ExitCode(), 6);
}

}  // namespace
}  // namespace korvex::testing
