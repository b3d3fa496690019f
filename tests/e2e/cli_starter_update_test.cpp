// korvex-cli replacing an old starter of korvex-panel over a pseudo-terminal: the updater is
// loaded, the panel restarts into it, the new starter is connected at 9600 bps and the run
// programs the panel to the end.
#include <gtest/gtest.h>

#if defined(KORVEX_CLI_PATH) && defined(KORVEX_PANEL_PATH)

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "firmware/firmware_check.h"
#include "support/child_process.h"
#include "support/firmware_files.h"
#include "support/panel_process.h"
#include "update/updater_images.h"

namespace korvex::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Connect, the updater, the new starter, the whole program and the restart wait (11.5 s on
// a pseudo-terminal, which has no CTS line) take well under this.
constexpr auto kRunLimit = 120s;

const std::string kNewFile = std::string(KORVEX_SOURCE_DIR) + "/config/demo/demo_type2_v124.qfw";
const std::string kOldFile = std::string(KORVEX_SOURCE_DIR) + "/config/demo/demo_type2_v123.qfw";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(CliStarterUpdateTest, AnOldStarterOnFlashKindFiveIsReplacedAndThePanelProgrammed) {
  TempDir dir;
  PanelProcess panel(KORVEX_PANEL_PATH);
  ASSERT_TRUE(
      panel.Start({"--panel-type", "2", "--program", "qfw:" + kOldFile, "--set", "flash_kind=5",
                   "--set", "starter_version=0x52", "--log", (dir.Path() / "panel.log").string(),
                   "--dump-dir", (dir.Path() / "dump").string()}))
      << panel.Output();

  const ProcessResult run =
      RunProcess({KORVEX_CLI_PATH, kNewFile, panel.PortPath()}, {}, kRunLimit);
  EXPECT_EQ(run.exitCode, 6) << run.output;
  for (const char* text : {"Starter updater loading", "Starter checking", "FLASH programming",
                           "Verification", "Exit code 6"}) {
    EXPECT_TRUE(Contains(run.output, text)) << text << "\n" << run.output;
  }
  EXPECT_FALSE(Contains(run.output, "ERROR")) << run.output;

  const ProcessResult end = panel.Stop();
  EXPECT_EQ(end.exitCode, 0) << end.output;
  const std::string log = ReadText(dir.Path() / "panel.log");
  EXPECT_TRUE(Contains(log, "the starter updater runs")) << log;
  EXPECT_TRUE(Contains(log, "the updater has written starter 6.1")) << log;
  EXPECT_EQ(ReadText(dir.Path() / "dump/violations.txt"), "");

  const std::vector<std::uint8_t> flash = ReadFileBytes((dir.Path() / "dump/flash.bin").string());
  ASSERT_EQ(flash.size(), 0x80000u);
  const std::optional<firmware::FirmwareImage> image = firmware::LoadFirmwareFile(kNewFile);
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
