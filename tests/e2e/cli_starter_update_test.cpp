// korvex-cli replacing an old starter of korvex-panel over a pseudo-terminal: the updater is
// loaded, the panel restarts into it, the new starter is connected at 9600 bps and the run
// programs the panel to the end.
#include <gtest/gtest.h>

#if defined(KORVEX_CLI_PATH) && defined(KORVEX_PANEL_PATH)

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "firmware/firmware_check.h"
#include "support/e2e_support.h"
#include "update/updater_images.h"

namespace korvex::testing {
namespace {

using namespace std::chrono_literals;

// Connect, the updater, the new starter, the whole program and the restart wait (11.5 s on
// a pseudo-terminal, which has no CTS line) take well under this.
constexpr auto kRunLimit = 120s;

TEST(CliStarterUpdateTest, AnOldStarterOnFlashKindFiveIsReplacedAndThePanelProgrammed) {
  CliPanelRun bench(KORVEX_CLI_PATH, KORVEX_PANEL_PATH, kRunLimit);
  ASSERT_TRUE(bench.StartPanel({"--panel-type", "2", "--program", "qfw:" + kDemoOldFile, "--set",
                                "flash_kind=5", "--set", "starter_version=0x52"}))
      << bench.Panel().Output();

  const ProcessResult run = bench.Cli({kDemoNewFile, bench.PortPath()});
  EXPECT_EQ(run.exitCode, 6) << run.output;
  for (const char* text : {"Starter updater loading", "Starter checking", "FLASH programming",
                           "Verification", "Exit code 6"}) {
    EXPECT_TRUE(Contains(run.output, text)) << text << "\n" << run.output;
  }
  EXPECT_FALSE(Contains(run.output, "ERROR")) << run.output;

  const ProcessResult end = bench.StopPanel();
  EXPECT_EQ(end.exitCode, 0) << end.output;
  const std::string log = bench.LogText();
  EXPECT_TRUE(Contains(log, "the starter updater runs")) << log;
  EXPECT_TRUE(Contains(log, "the updater has written starter 6.1")) << log;
  EXPECT_EQ(ReadText(bench.DumpPath("violations.txt")), "");

  const std::vector<std::uint8_t> flash = ReadFileBytes(bench.DumpPath("flash.bin").string());
  ASSERT_EQ(flash.size(), 0x80000u);
  const std::optional<firmware::FirmwareImage> image = firmware::LoadFirmwareFile(kDemoNewFile);
  ASSERT_TRUE(image.has_value());
  EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 0x60000, image->MainImage.begin()))
      << "the panel's FLASH 0x00000..0x5FFFF differs from the file's image";
  // The updater's second copy (FLASH kind 5, a type 2 panel) stays above the program area.
  const auto updater = update::UpdaterImageAt(update::BuiltInUpdaterImages(), 0);
  EXPECT_TRUE(std::equal(updater.begin(), updater.end(), flash.begin() + 0x60000));
  // The new starter holds its version digits.
  EXPECT_EQ(flash[0x71FFA], '6');
  EXPECT_EQ(flash[0x71FFB], '1');
}

}  // namespace
}  // namespace korvex::testing

#endif
