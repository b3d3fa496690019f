// The service bench and the production line with korvex-cli against korvex-panel: a panel
// read out over a noisy line, its program packed into a firmware file and written into a
// second panel; run reports of a successful run, a run without a panel and a run stopped by
// its time limit.
#include <gtest/gtest.h>

#if defined(KORVEX_CLI_PATH) && defined(KORVEX_PANEL_PATH) && defined(KORVEX_QFW_PATH)

#include <algorithm>
#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/e2e_support.h"

namespace korvex::testing {
namespace {

using namespace std::chrono_literals;

// A read-out over a pseudo-terminal without pacing and a Program run with its restart wait
// take well under this.
constexpr auto kRunLimit = 120s;
// The program image korvex-qfw pack takes: FLASH 0x00000..0x5FFFB.
constexpr std::size_t kRawProgramSize = 393212;
constexpr std::size_t kProgramAreaSize = 0x60000;

nlohmann::json ReadJson(const std::filesystem::path& path) {
  std::ifstream in(path);
  return nlohmann::json::parse(in, nullptr, false);
}

class PanelOnLine {
 public:
  explicit PanelOnLine(std::vector<std::string> options) { started_ = run_.StartPanel(options); }
  bool Started() { return started_; }
  CliPanelRun& Run() { return run_; }
  std::vector<std::uint8_t> DumpedFile(const std::string& name) {
    return ReadFileBytes(run_.DumpPath(name).string());
  }

 private:
  CliPanelRun run_{KORVEX_CLI_PATH, KORVEX_PANEL_PATH, kRunLimit};
  bool started_ = false;
};

TEST(CliReadout, ReadOutPackAndProgramGiveASecondPanelTheSameProgram) {
  // The first panel holds 1.24 and damages 0.3 % of its reply bytes.
  PanelOnLine first({"--panel-type", "2", "--program", "qfw:" + kDemoNewFile, "--fault",
                     "corrupt_probability=0.003", "--fault", "seed=11"});
  ASSERT_TRUE(first.Started()) << first.Run().Panel().Output();
  const std::filesystem::path out = first.Run().Dir().Path() / "readout";
  const ProcessResult dump = first.Run().Cli({"dump", first.Run().PortPath(), out.string()});
  ASSERT_EQ(dump.exitCode, 5) << dump.output;
  EXPECT_TRUE(Contains(dump.output, "FLASH reading")) << dump.output;
  ASSERT_EQ(first.Run().StopPanel().exitCode, 0);

  const std::vector<std::uint8_t> flash = ReadFileBytes((out / "flash.bin").string());
  EXPECT_TRUE(flash == first.DumpedFile("flash.bin"));
  EXPECT_TRUE(ReadFileBytes((out / "settings1.bin").string()) == first.DumpedFile("settings1.bin"));
  EXPECT_TRUE(ReadFileBytes((out / "settings2.bin").string()) == first.DumpedFile("settings2.bin"));
  const nlohmann::json facts = ReadJson(out / "panel.json");
  ASSERT_FALSE(facts.is_discarded());
  EXPECT_EQ(facts["panel_type"]["code"], 2);

  // Its program area becomes a firmware file with the program's own header.
  ASSERT_EQ(flash.size(), 0x80000u);
  const std::string raw = first.Run().Dir().Write(
      "program.raw", std::vector<std::uint8_t>(flash.begin(), flash.begin() + kRawProgramSize));
  const std::string packed = (first.Run().Dir().Path() / "restored.qfw").string();
  const ProcessResult pack =
      RunProcess({KORVEX_QFW_PATH, "pack", "--program", raw, "--keep-header", "--output", packed});
  ASSERT_EQ(pack.exitCode, 0) << pack.output;

  // A second panel with the older program receives it.
  PanelOnLine second({"--panel-type", "2", "--program", "qfw:" + kDemoOldFile});
  ASSERT_TRUE(second.Started()) << second.Run().Panel().Output();
  const ProcessResult program = second.Run().Cli({packed, second.Run().PortPath()});
  EXPECT_EQ(program.exitCode, 6) << program.output;
  ASSERT_EQ(second.Run().StopPanel().exitCode, 0);
  const std::vector<std::uint8_t> written = second.DumpedFile("flash.bin");
  ASSERT_EQ(written.size(), 0x80000u);
  EXPECT_TRUE(std::equal(written.begin(), written.begin() + kProgramAreaSize, flash.begin()))
      << "the second panel's program area differs from the first's";
}

TEST(CliReport, ASuccessfulRunReportsItsPhasesExchangesAndWrites) {
  PanelOnLine panel({"--panel-type", "2", "--program", "qfw:" + kDemoOldFile});
  ASSERT_TRUE(panel.Started()) << panel.Run().Panel().Output();
  const std::filesystem::path report = panel.Run().Dir().Path() / "run.json";
  // The options stand anywhere; FILE PORT keep their places among the other parameters.
  const ProcessResult run = panel.Run().Cli(
      {"--report", report.string(), kDemoNewFile, panel.Run().PortPath(), "--timeout=600"});
  ASSERT_EQ(run.exitCode, 6) << run.output;

  const nlohmann::json r = ReadJson(report);
  ASSERT_FALSE(r.is_discarded()) << ReadText(report);
  EXPECT_EQ(r["tool"]["name"], "KORVEX");
  EXPECT_EQ(r["operation"], "program");
  EXPECT_EQ(r["file"]["path"], kDemoNewFile);
  EXPECT_EQ(r["file"]["sha256"].get<std::string>().size(), 64u);
  EXPECT_EQ(r["port"]["name"], panel.Run().PortPath());
  EXPECT_EQ(r["port"]["bit_rate"], 115200);
  EXPECT_TRUE(r["port"]["adapter_latency_ms"].is_null());  // a pseudo-terminal has no timer
  EXPECT_EQ(r["panel"]["program_before"].get<std::string>().find("1.23") != std::string::npos, true)
      << r["panel"];
  std::vector<std::string> names;
  for (const auto& phase : r["phases"]) {
    names.push_back(phase["name"]);
    EXPECT_LE(phase["start_ms"].get<int>(), phase["end_ms"].get<int>());
  }
  for (const char* name : {"Connecting", "FLASH erasing", "FLASH programming", "Verification"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
  EXPECT_GT(r["exchanges"]["requests"].get<int>(), 1000);
  EXPECT_GE(r["exchanges"]["attempts"].get<int>(), r["exchanges"]["requests"].get<int>());
  EXPECT_EQ(r["written"]["flash_sectors_erased"], 6);
  EXPECT_GT(r["written"]["flash_pages"].get<int>(), 0);
  EXPECT_EQ(r["outcome"], "success");
  EXPECT_EQ(r["timed_out"], false);
  EXPECT_EQ(r["exit_code"], 6);
}

TEST(CliReport, ARunWithoutAPanelStillWritesItsReport) {
  TempDir dir;
  const std::filesystem::path report = dir.Path() / "run.json";
  const ProcessResult run =
      RunProcess({KORVEX_CLI_PATH, kDemoNewFile, (dir.Path() / "no-such-port").string(), "--report",
                  report.string()});
  ASSERT_EQ(run.exitCode, 2) << run.output;
  const nlohmann::json r = ReadJson(report);
  ASSERT_FALSE(r.is_discarded()) << ReadText(report);
  EXPECT_EQ(r["outcome"], "failed");
  EXPECT_EQ(r["exit_code"], 2);
  EXPECT_TRUE(r["panel"].is_null());
  EXPECT_EQ(r["written"]["flash_pages"], 0);
}

TEST(CliReport, ATimeLimitStopsAPanelThatFallsSilentAfterTheFastRate) {
  // The panel answers at 9600, agrees to 115200 and then hears nothing.
  PanelOnLine panel(
      {"--panel-type", "2", "--program", "qfw:" + kDemoOldFile, "--fault", "silent_rates=115200"});
  ASSERT_TRUE(panel.Started()) << panel.Run().Panel().Output();
  const std::filesystem::path report = panel.Run().Dir().Path() / "run.json";
  const ProcessResult run = panel.Run().Cli(
      {kDemoNewFile, panel.Run().PortPath(), "--timeout", "3", "--report", report.string()});
  EXPECT_EQ(run.exitCode, 3) << run.output;
  const nlohmann::json r = ReadJson(report);
  ASSERT_FALSE(r.is_discarded()) << ReadText(report);
  EXPECT_EQ(r["outcome"], "timed out");
  EXPECT_EQ(r["timed_out"], true);
  EXPECT_EQ(r["exit_code"], 3);
  EXPECT_EQ(r["written"]["flash_pages"], 0);
}

}  // namespace
}  // namespace korvex::testing

#endif
