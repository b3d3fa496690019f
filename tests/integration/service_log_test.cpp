// The service log at the end of a Program run that wrote to the panel: written only when the
// marker file holds exactly the access text, into the file of the current month, and never
// into a folder that does not exist.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "run_test_util.h"
#include "shell/service_mode.h"

namespace korvex::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDescriptions =
    "SOLANTA Large v1.23 2025-03-12 EN -> SOLANTA Large v1.24 2025-03-12 EN";

// A type 3 panel holding 1.23 (no settings conversion applies) and a 1.24 file.
BenchSetup WritingRun() {
  return Bench(FileWith(3), {{"program_version", "123"}});
}

// The service mode of the bench's session with this marker content and log folder.
void UseServiceMode(RunBench& bench, const std::string& marker, const fs::path& folder) {
  const std::string path =
      bench.dir.Write("marker.cfg", std::vector<std::uint8_t>(marker.begin(), marker.end()));
  bench.Session().Service =
      shell::ServiceMode(shell::ServicePaths{path, folder.string()}, bench.wallClock);
}

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct MarkerCase {
  const char* name;
  std::string content;
  bool on;
};

void PrintTo(const MarkerCase& c, std::ostream* os) {
  *os << c.name;
}

class ServiceLogMarkerTest : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(ServiceLogMarkerTest, OnlyTheExactAccessTextWritesTheLine) {
  const MarkerCase& c = GetParam();
  RunBench bench(WritingRun());
  bench.StartWithFile();
  const fs::path folder = bench.dir.Path() / "log";
  fs::create_directory(folder);
  UseServiceMode(bench, c.content, folder);
  bench.Program();
  ASSERT_EQ(bench.ExitCode(), 6);
  if (!c.on) {
    EXPECT_TRUE(FilesIn(folder).empty());
    return;
  }
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"KORVEX_2025_03.log"});
  EXPECT_EQ(ReadText(folder / "KORVEX_2025_03.log"),
            std::string("2025-03-12 14:05:09: ") + kDescriptions + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Markers, ServiceLogMarkerTest,
                         ::testing::Values(MarkerCase{"AccessText", "Jolt 93\r\n", true},
                                           MarkerCase{"WithoutLineEnd", "Jolt 93", false},
                                           MarkerCase{"TrailingSpace", "Jolt 93\r\n ", false},
                                           MarkerCase{"OtherLetterCase", "JOLT 93\r\n", false},
                                           MarkerCase{"LineFeedOnly", "Jolt 93\n", false}),
                         [](const ::testing::TestParamInfo<MarkerCase>& param) {
                           return param.param.name;
                         });

TEST(ServiceLogTest, WithoutTheFolderNothingIsWrittenAndNothingShown) {
  RunBench bench(WritingRun());
  bench.StartWithFile();
  const fs::path folder = bench.dir.Path() / "missing";
  UseServiceMode(bench, "Jolt 93\r\n", folder);
  bench.Program();
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(bench.Session().ServiceTestMode());
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{"Continue ?", "Updating ok."}));
}

TEST(ServiceLogTest, EachMonthHasItsFileAndLinesAreAppended) {
  RunBench bench(WritingRun());
  bench.StartWithFile();
  const fs::path folder = bench.dir.Path() / "log";
  fs::create_directory(folder);
  UseServiceMode(bench, "Jolt 93\r\n", folder);
  bench.wallClock.Set({2024, 12, 31, 23, 59, 59});
  bench.Program();
  ASSERT_EQ(bench.ExitCode(), 6);

  // The next run of the process a moment later, in the new year.
  bench.EnterStarter();
  bench.wallClock.Set({2025, 1, 1, 0, 0, 1});
  bench.Program();
  ASSERT_EQ(bench.ExitCode(), 6);
  bench.wallClock.Set({2025, 1, 1, 0, 0, 2});
  bench.Session().WriteLog("appended");

  EXPECT_EQ(ReadText(folder / "KORVEX_2024_12.log"),
            std::string("2024-12-31 23:59:59: ") + kDescriptions + "\r\n");
  EXPECT_EQ(ReadText(folder / "KORVEX_2025_01.log"),
            std::string("2025-01-01 00:00:01: SOLANTA Large v1.24 2025-03-12 EN -> ") +
                "SOLANTA Large v1.24 2025-03-12 EN\r\n2025-01-01 00:00:02: appended\r\n");
}

}  // namespace
}  // namespace korvex::testing
