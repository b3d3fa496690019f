// The committed demo firmware files: valid for a type 2 panel, with the shape the simulator
// and the short page-program form rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "firmware/firmware_check.h"
#include "firmware/identity.h"
#include "firmware/sample_program.h"
#include "support/firmware_files.h"

namespace korvex::firmware {
namespace {

std::string DemoPath(const std::string& name) {
  return std::string(KORVEX_SOURCE_DIR) + "/config/demo/" + name;
}

TEST(DemoFirmware, BothVersionsAreValidTypeTwoFilesOfRealisticShape) {
  if (!testing::BuildUsesCommittedTestKey()) GTEST_SKIP() << "demo files use the test key";
  struct Case {
    const char* name;
    const char* description;
    const char* versionText;
  };
  for (const Case& c :
       {Case{"demo_type2_v124.qfw", "SOLANTA Medium v1.24 2025-03-12 EN", "12420250312000"},
        Case{"demo_type2_v123.qfw", "SOLANTA Medium v1.23 2024-11-05 EN", "12320241105000"}}) {
    std::string error;
    const auto image = LoadFirmwareFile(DemoPath(c.name), &error);
    ASSERT_TRUE(image) << c.name << ": " << error;
    EXPECT_EQ(image->PanelType, 2);
    EXPECT_EQ(image->StKind, StSectionKind::kNone);
    EXPECT_EQ(image->FileDescription, c.description);
    EXPECT_EQ(image->FileVersionText, c.versionText);
    EXPECT_TRUE(VersionSupported(image->FileVersionText.substr(0, 3)));
    const auto& flash = image->MainImage;
    for (std::uint32_t bank = 1; bank <= 5; ++bank) {
      EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + kRepeatedLowSize,
                             flash.begin() + bank * kBankSize))
          << c.name << " bank " << bank;
    }
    int erasedPages = 0;
    for (std::uint32_t page = 0; page < 0x60000; page += 256) {
      erasedPages += std::all_of(flash.begin() + page, flash.begin() + page + 256,
                                 [](std::uint8_t b) { return b == 0xFF; });
    }
    EXPECT_GT(erasedPages, 100) << c.name;
    EXPECT_LT(erasedPages, 1536 - 300) << c.name;
  }
}

}  // namespace
}  // namespace korvex::firmware
