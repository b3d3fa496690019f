// The "--" options of a run against the simulated panel on the virtual clock: the time limit,
// the back-up before the first write, the run report of a stopped run, and the note about a
// slow USB adapter.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "run_test_util.h"

namespace korvex::testing {
namespace {

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

nlohmann::json ReadJson(const std::filesystem::path& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in, nullptr, false);
}

// --- Time limit ----------------------------------------------------------------------------

TEST(TimeLimitTest, APanelSilentAfterTheFastRateIsStoppedAtTheLimitWithCodeThree) {
  RunBench bench(Bench(FileWith(3), {{"fault.silent_rates", "115200"}}));
  bench.Session().Options.timeoutSeconds = 20;
  bench.Session().Options.reportFile = (bench.dir.Path() / "run.json").string();
  const std::uint64_t start = bench.clock.NowMs();
  bench.StartUnattended();

  EXPECT_EQ(bench.ExitCode(), 3);
  EXPECT_TRUE(bench.Session().TimedOut);
  const std::uint64_t elapsed = bench.clock.NowMs() - start;
  EXPECT_GE(elapsed, 20000u);
  EXPECT_LT(elapsed, 22000u);  // the exchange in progress ends, then the run
  EXPECT_FALSE(AnyWrite(bench));
  const nlohmann::json report = ReadJson(bench.dir.Path() / "run.json");
  EXPECT_EQ(report["outcome"], "timed out");
  EXPECT_EQ(report["exit_code"], 3);
  EXPECT_GT(report["exchanges"]["failed"].get<int>(), 0);
}

TEST(TimeLimitTest, ALimitThatIsNotReachedChangesNothing) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  bench.Session().Options.timeoutSeconds = 600;
  bench.StartUnattended();
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_FALSE(bench.Session().TimedOut);
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
}

// --- Back-up -------------------------------------------------------------------------------

TEST(BackUpTest, TheBackUpHoldsThePanelAsItWasBeforeTheRunWroteIt) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  const std::vector<std::uint8_t> flashBefore(bench.panel->Flash().begin(),
                                              bench.panel->Flash().end());
  const std::vector<std::uint8_t> settingsBefore(bench.panel->Settings(1).begin(),
                                                 bench.panel->Settings(1).end());
  const std::filesystem::path backup = bench.dir.Path() / "backup";
  bench.Session().Options.backupDir = backup.string();
  bench.StartUnattended();

  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
  EXPECT_TRUE(ReadBytes(backup / "flash.bin") == flashBefore);
  EXPECT_TRUE(ReadBytes(backup / "settings1.bin") == settingsBefore);
  EXPECT_TRUE(std::filesystem::exists(backup / "panel.json"));
  // The back-up lines come before the first write.
  const std::vector<std::string> captions = bench.op.Captions();
  const auto saved = std::find(captions.begin(), captions.end(), "Back-up saved");
  const auto erase = std::find(captions.begin(), captions.end(), "FLASH erasing");
  ASSERT_NE(saved, captions.end());
  EXPECT_LT(saved, erase);
}

TEST(BackUpTest, AFailedBackUpWritesNothing) {
  struct Case {
    const char* name;
    PresetKeys keys;
    bool folderBlocked;
  };
  for (const Case& c : {Case{"block checks lost", {{"fault.corrupt_reply", "0x64:*"}}, false},
                        Case{"folder cannot be made", {}, true}}) {
    PresetKeys keys = c.keys;
    keys.emplace_back("program_version", "123");
    RunBench bench(Bench(FileWith(3), keys));
    std::filesystem::path backup = bench.dir.Path() / "backup";
    if (c.folderBlocked) backup = std::filesystem::path(bench.dir.Write("file", {1})) / "backup";
    bench.Session().Options.backupDir = backup.string();
    bench.StartUnattended();

    EXPECT_EQ(bench.ExitCode(), 3) << c.name;
    EXPECT_FALSE(AnyWrite(bench)) << c.name;
    EXPECT_EQ(bench.Heard(kWriteSettings) + bench.Heard(kWriteSettingsByte), 0) << c.name;
    EXPECT_FALSE(std::filesystem::exists(backup / "flash.bin")) << c.name;
  }
}

TEST(BackUpTest, ATestRunMakesNoBackUp) {
  RunBench bench(Bench(FileWith(3)));
  bench.StartWithFile();
  bench.Session().Options.backupDir = (bench.dir.Path() / "backup").string();
  bench.Test();
  EXPECT_EQ(bench.ExitCode(), 5);
  EXPECT_FALSE(std::filesystem::exists(bench.dir.Path() / "backup"));
}

// --- Report of a stopped run ----------------------------------------------------------------

TEST(RunReportTest, AStoppedRunIsReportedAsStoppedWithThePhaseItStoppedIn) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  bench.StartWithFile();
  const std::filesystem::path path = bench.dir.Path() / "run.json";
  bench.Session().Options.reportFile = path.string();
  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption == "FLASH programming" && line.progress.size() == 5) bench.app->StopClick();
  };
  bench.Program();

  EXPECT_EQ(bench.ExitCode(), 3);
  const nlohmann::json report = ReadJson(path);
  ASSERT_FALSE(report.is_discarded());
  EXPECT_EQ(report["outcome"], "stopped");
  EXPECT_EQ(report["timed_out"], false);
  EXPECT_EQ(report["phases"].back()["name"], "FLASH programming");
  EXPECT_EQ(report["written"]["flash_sectors_erased"], 6);
  EXPECT_GT(report["written"]["flash_pages"].get<int>(), 0);
  EXPECT_EQ(report["panel"]["program_before"], bench.app->RunContext().PanelDescription);
  EXPECT_EQ(report["exit_code"], 3);
}

// --- Slow USB adapter -----------------------------------------------------------------------

TEST(AdapterLatencyTest, ASlowAdapterIsNamedOnceAndReported) {
  RunBench bench(Bench(FileWith(3)));
  bench.device->latency = link::AdapterLatency{"/dev/ttyUSB0", 16};
  bench.StartWithFile();
  bench.Session().Options.reportFile = (bench.dir.Path() / "run.json").string();
  bench.Test();
  bench.EnterStarter();
  bench.Test();

  ASSERT_EQ(bench.op.notices.size(), 1u);
  EXPECT_NE(bench.op.notices[0].find("16 ms"), std::string::npos);
  EXPECT_EQ(ReadJson(bench.dir.Path() / "run.json")["port"]["adapter_latency_ms"], 16);
}

TEST(AdapterLatencyTest, AFastAdapterIsNotMentioned) {
  RunBench bench(Bench(FileWith(3)));
  bench.device->latency = link::AdapterLatency{"/dev/ttyUSB0", 1};
  bench.StartWithFile();
  bench.Test();
  EXPECT_TRUE(bench.op.notices.empty());
}

}  // namespace
}  // namespace korvex::testing
