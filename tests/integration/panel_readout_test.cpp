// The read-out of a panel (korvex-cli dump) against the simulated panel: the files equal the
// panel's memories, nothing is written to the panel, and a read-out that fails or is stopped
// leaves no file that looks whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "link/settings_commands.h"
#include "run_test_util.h"
#include "update/panel_readout.h"

namespace korvex::testing {
namespace {

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

::testing::AssertionResult SameBytes(const std::vector<std::uint8_t>& file,
                                     std::span<const std::uint8_t> memory) {
  if (file.size() != memory.size()) {
    return ::testing::AssertionFailure() << file.size() << " bytes, not " << memory.size();
  }
  const auto differ = std::mismatch(file.begin(), file.end(), memory.begin());
  if (differ.first == file.end()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "first difference at 0x" << std::hex << (differ.first - file.begin());
}

nlohmann::json ReadJson(const std::filesystem::path& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in);
}

std::vector<std::string> FilesIn(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  if (!std::filesystem::exists(dir)) return names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool AnyPanelWrite(const RunBench& bench) {
  return AnyWrite(bench) || bench.Heard(kWriteSettings) + bench.Heard(kWriteSettingsByte) > 0;
}

struct ReadoutCase {
  const char* name;
  PresetKeys keys;
};

class ReadoutEqualsPanelTest : public ::testing::TestWithParam<ReadoutCase> {};

TEST_P(ReadoutEqualsPanelTest, FilesHoldThePanelsMemoriesByteForByte) {
  RunBench bench(Bench(FileWith(3), GetParam().keys));
  bench.StartWithFile();
  const std::filesystem::path out = bench.dir.Path() / "readout";
  bench.app->ReadOutClick(out);

  EXPECT_EQ(bench.ExitCode(), 5);
  EXPECT_EQ(FilesIn(out), (std::vector<std::string>{"flash.bin", "panel.json", "settings1.bin",
                                                    "settings2.bin"}));
  EXPECT_TRUE(SameBytes(ReadBytes(out / "flash.bin"), bench.panel->Flash()));
  EXPECT_TRUE(SameBytes(ReadBytes(out / "settings1.bin"), bench.panel->Settings(1)));
  EXPECT_TRUE(SameBytes(ReadBytes(out / "settings2.bin"), bench.panel->Settings(2)));
  EXPECT_FALSE(AnyPanelWrite(bench));
  EXPECT_TRUE(bench.panel->Violations().empty());

  const nlohmann::json facts = ReadJson(out / "panel.json");
  EXPECT_EQ(facts["panel_type"]["code"], 3);
  EXPECT_EQ(facts["flash_type"]["code"], 5);
  EXPECT_EQ(facts["starter"]["version"], "6.1 " + firmware::LanguageName(1));
  EXPECT_EQ(facts["starter"]["area_sum_sound"], true);
  EXPECT_EQ(facts["program"]["description"], bench.app->RunContext().PanelDescription);
  EXPECT_TRUE(facts["settings"]["area1"]["invalid_blocks"].empty());
  EXPECT_FALSE(facts["settings"]["area1"]["valid_blocks"].empty());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadoutEqualsPanelTest,
    ::testing::Values(ReadoutCase{"CleanLine", {}},
                      // About one reply in two of a page read arrives damaged; some damage
                      // passes the reply's own check and only the block check finds it.
                      ReadoutCase{"CorruptedReplies",
                                  {{"fault.corrupt_probability", "0.003"}, {"fault.seed", "5"}}},
                      ReadoutCase{"LostReplies", {{"fault.drop_probability", "0.02"}}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ReadoutTest, PanelFactsNameADamagedStarterAndABrokenSettingsBlock) {
  // Settings area 1 all zero with every block marked (zero sums are right), then one byte of
  // its second block changed behind the sum's back.
  const auto protection = link::SettingsProtectionFor(3, 1);
  ASSERT_TRUE(protection);
  const int blocks = (protection->limit - protection->base + 255) / 256;
  std::string marks = std::to_string(protection->limit);
  for (int i = 0; i < blocks; ++i) marks += " 0xFF";
  const std::uint32_t broken = protection->base + 0x100;
  RunBench bench(Bench(FileWith(3), {{"starter_damage", "sum"},
                                     {"settings_fill", "0x00"},
                                     {"settings_checks", "keep"},
                                     {"settings1_bytes", marks},
                                     {"settings1_bytes", std::to_string(broken) + " 0x5A"}}));
  bench.StartWithFile();
  const std::filesystem::path out = bench.dir.Path() / "readout";
  bench.app->ReadOutClick(out);

  ASSERT_EQ(bench.ExitCode(), 5);
  const nlohmann::json facts = ReadJson(out / "panel.json");
  EXPECT_EQ(facts["starter"]["area_sum_sound"], false);
  char block[16];
  std::snprintf(block, sizeof block, "0x%04X", broken);
  EXPECT_EQ(facts["settings"]["area1"]["invalid_blocks"], nlohmann::json::array({block}));
  EXPECT_EQ(facts["settings"]["area1"]["valid_blocks"].size(),
            static_cast<std::size_t>(blocks - 1));
}

TEST(ReadoutTest, ABlockCheckThatNeverArrivesFailsWithCodeThreeAndNoFiles) {
  RunBench bench(Bench(FileWith(3), {{"fault.corrupt_reply", "0x64:*"}}));
  bench.StartWithFile();
  const std::filesystem::path out = bench.dir.Path() / "readout";
  bench.app->ReadOutClick(out);

  EXPECT_EQ(bench.ExitCode(), 3);
  EXPECT_EQ(VerdictOf(bench, "FLASH reading"), (RecordedStatus{kNoConnection, kBoldRed}));
  EXPECT_TRUE(FilesIn(out).empty());
}

TEST(ReadoutTest, StopDuringTheSettingsLeavesNoFiles) {
  RunBench bench(Bench(FileWith(3)));
  bench.StartWithFile();
  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption == "Settings 2 reading" && line.progress.size() == 10) {
      bench.app->StopClick();
    }
  };
  const std::filesystem::path out = bench.dir.Path() / "readout";
  bench.app->ReadOutClick(out);

  EXPECT_EQ(bench.ExitCode(), 3);
  EXPECT_EQ(BoxTexts(bench), std::vector<std::string>{"Abort ?"});
  EXPECT_TRUE(FilesIn(out).empty());
}

TEST(ReadoutTest, AFolderThatCannotBeWrittenFailsAfterTheReads) {
  RunBench bench(Bench(FileWith(3)));
  bench.StartWithFile();
  const std::string blocker = bench.dir.Write("plain-file", {1, 2, 3});
  bench.app->ReadOutClick(std::filesystem::path(blocker) / "readout");

  EXPECT_EQ(bench.ExitCode(), 3);
  ASSERT_EQ(bench.op.boxes.size(), 1u);
  EXPECT_NE(bench.op.boxes[0].text.find("cannot create the folder"), std::string::npos);
}

}  // namespace
}  // namespace korvex::testing
