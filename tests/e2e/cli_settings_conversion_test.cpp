// korvex-cli programming a type 1 panel from 1.09 to a 1.20 file, served by korvex-panel over
// a pseudo-terminal: the settings memory the panel dumps at the end holds the converted bytes
// with right block marks and sums, and in service test mode (marker and log folder given by
// environment variables) the run leaves its line in the month's log.
#include <gtest/gtest.h>

#if defined(KORVEX_CLI_PATH) && defined(KORVEX_PANEL_PATH)

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "firmware/firmware_check.h"
#include "shell/service_mode.h"
#include "sim/panel_preset.h"
#include "sim/settings_blocks.h"
#include "support/e2e_support.h"
#include "support/run_bench.h"

namespace korvex::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// About 4500 settings exchanges, the program written and the restart wait (11.5 s on a
// pseudo-terminal) take well under this.
constexpr auto kRunLimit = 180s;

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

// The panel: type 1 holding 1.09, settings 0x5A apart from the bytes the steps read.
const std::vector<std::pair<std::string, std::string>> kPanelKeys = {
    {"panel_type", "1"},
    {"program_version", "109"},
    {"settings_fill", "0x5A"},
    // Object move control bytes b1, b4, b5, b3 and b2: object 0 moves.
    {"settings1_bytes", "0x5186 0x01 0x00 0x00 0x01"},
    {"settings1_bytes", "0x51B7 0x00"},
    // Object 0: its record bytes and its bytes of the four arrays.
    {"settings1_bytes", "0x41C4 0x61 0x62"},
    {"settings1_bytes", "0x41B4 0x63"},
    {"settings1_bytes", "0x41B8 0x64"},
    {"settings1_bytes", "0x41BC 0x65"},
    {"settings1_bytes", "0x41C0 0x66"},
    // Flag bytes of the 1.17 expansion.
    {"settings1_bytes", "0x4FEC 0x02 0x01 0x03 0x00 0x02 0x01 0x03 0x00 0x02 0x01"},
    // One 1.11 marker and one zone flag to clear.
    {"settings1_bytes", "0x5143 0x13"},
    {"settings1_bytes", "0x2D80 0x05"},
};

// The settings the panel starts with, built in process from the same keys.
std::array<Bytes, 2> StartingSettings() {
  sim::PanelPreset preset;
  std::string error;
  for (const auto& [key, value] : kPanelKeys) {
    EXPECT_TRUE(sim::ApplyPresetSetting(preset, key, value, &error)) << error;
  }
  const auto memory = sim::BuildPanelMemory(preset, &error);
  EXPECT_TRUE(memory.has_value()) << error;
  return {memory->settings[0], memory->settings[1]};
}

// The converted settings: the starting ones with the conversions' bytes and fresh checks.
std::array<Bytes, 2> ConvertedSettings() {
  std::array<Bytes, 2> s = StartingSettings();
  Bytes& one = s[0];
  Bytes& two = s[1];
  auto fill = [](Bytes& area, std::uint16_t at, int count, std::uint8_t value) {
    std::fill_n(area.begin() + at, count, value);
  };
  fill(one, 0x7D44, 4, 0x00);  // 1.12 cleared fields
  one[0x51B7] = 0x00;          // 1.12 object move: b2, then object 0 into area 2
  const std::array<std::pair<std::uint16_t, std::uint16_t>, 6> moves{{{0x41C4, 0x39B8},
                                                                      {0x41C5, 0x39BC},
                                                                      {0x41B4, 0x3A30},
                                                                      {0x41B8, 0x3A34},
                                                                      {0x41BC, 0x3A38},
                                                                      {0x41C0, 0x3A3C}}};
  for (const auto& [from, to] : moves) {
    two[to] = one[from];
    one[from] = 0x00;
  }
  for (const auto& [at, count] : std::vector<std::pair<std::uint16_t, int>>{{0x3080, 64},
                                                                            {0x3440, 128},
                                                                            {0x35A0, 32},
                                                                            {0x36A0, 32},
                                                                            {0x37A0, 32},
                                                                            {0x38A0, 32},
                                                                            {0x3930, 16},
                                                                            {0x39B0, 16},
                                                                            {0x3A30, 16},
                                                                            {0x3AB0, 16}}) {
    fill(one, at, count, 0x00);  // 1.10 fill
  }
  for (int i = 0; i < 10; ++i) {  // 1.17 expansion
    const std::uint8_t flags = one[0x4FEC + i];
    fill(one, static_cast<std::uint16_t>(0x35A0 + 2 * i), 2, (flags & 2) ? 0xFF : 0x00);
    fill(one, static_cast<std::uint16_t>(0x36A0 + 2 * i), 2, (flags & 1) ? 0xFF : 0x00);
  }
  fill(one, 0x3AB8, 4, 0x00);  // 1.11 clearing; scanned byte 3 is 0x13
  one[0x3D66] = 0x00;
  one[0x2D80] = 0x04;  // 1.19 zone flag
  for (int area = 1; area <= 2; ++area) {
    sim::RefreshSettingsChecks(s[area - 1], *sim::SettingsLayoutFor(1, area));
  }
  return s;
}

std::string FirstDifference(const Bytes& actual, const Bytes& expected) {
  if (actual.size() != expected.size()) return "size " + std::to_string(actual.size());
  for (std::size_t a = 0; a < actual.size(); ++a) {
    if (actual[a] != expected[a]) {
      return "first difference at " + std::to_string(a) + ": " + std::to_string(actual[a]) +
             ", expected " + std::to_string(expected[a]);
    }
  }
  return "";
}

TEST(CliSettingsConversionTest, AType1PanelFrom109To120HoldsTheConvertedSettings) {
  CliPanelRun bench(KORVEX_CLI_PATH, KORVEX_PANEL_PATH, kRunLimit);
  const TempDir& dir = bench.Dir();
  const std::string file = dir.Write("type1_v120.qfw", FileWith(1, "120"));
  const std::string olderFile = dir.Write("type1_v109.qfw", FileWith(1, "109"));
  const fs::path logs = dir.Path() / "logs";
  fs::create_directory(logs);
  const std::string marker =
      dir.Write("test.cfg", Bytes{'J', 'o', 'l', 't', ' ', '9', '3', '\r', '\n'});

  std::vector<std::string> options;
  for (const auto& [key, value] : kPanelKeys) {
    options.push_back("--set");
    options.push_back(key + "=" + value);
  }
  ASSERT_TRUE(bench.StartPanel(options)) << bench.Panel().Output();

  const ProcessResult run = bench.Cli(
      {file, bench.PortPath()},
      {{shell::kServiceMarkerEnvVar, marker}, {shell::kServiceLogDirEnvVar, logs.string()}});
  EXPECT_EQ(run.exitCode, 6) << run.output;
  // The fill, the expansion, the 1.11 clearing and the zone flags show their lines.
  EXPECT_EQ(Count(run.output, "Settings format conversion"), 4) << run.output;
  EXPECT_EQ(Count(run.output, "ERROR"), 0) << run.output;

  const ProcessResult end = bench.StopPanel();
  EXPECT_EQ(end.exitCode, 0) << end.output;
  EXPECT_EQ(ReadText(bench.DumpPath("violations.txt")), "");
  const std::array<Bytes, 2> expected = ConvertedSettings();
  for (int area = 1; area <= 2; ++area) {
    const Bytes dumped =
        ReadFileBytes(bench.DumpPath("settings" + std::to_string(area) + ".bin").string());
    EXPECT_TRUE(sim::FindSettingsBlockFaults(dumped, *sim::SettingsLayoutFor(1, area)).empty())
        << "area " << area;
    EXPECT_EQ(FirstDifference(dumped, expected[area - 1]), "") << "area " << area;
  }

  // One log line in the month's file: the panel's program, " -> ", the file's program.
  const auto newer = firmware::LoadFirmwareFile(file);
  const auto older = firmware::LoadFirmwareFile(olderFile);
  ASSERT_TRUE(newer && older);
  std::vector<fs::path> logFiles;
  for (const auto& entry : fs::directory_iterator(logs)) logFiles.push_back(entry.path());
  ASSERT_EQ(logFiles.size(), 1u);
  EXPECT_EQ(logFiles[0].filename().string().rfind("KORVEX_", 0), 0u);
  const std::string log = ReadText(logFiles[0]);
  const std::string tail = ": " + older->FileDescription + " -> " + newer->FileDescription + "\r\n";
  EXPECT_EQ(Count(log, "\r\n"), 1) << log;
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail) << log;
}

}  // namespace
}  // namespace korvex::testing

#endif  // KORVEX_CLI_PATH && KORVEX_PANEL_PATH
