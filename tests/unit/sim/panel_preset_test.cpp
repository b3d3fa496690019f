#include "sim/panel_preset.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "firmware/identity.h"
#include "firmware/qfw_writer.h"
#include "firmware/sample_program.h"
#include "panel_test_util.h"
#include "pc_side.h"
#include "sim/program_image.h"
#include "sim/settings_blocks.h"
#include "sim/starter_area.h"
#include "support/firmware_files.h"

namespace korvex::sim {
namespace {

namespace fs = std::filesystem;
using testing::MakePanel;
using testing::PcSide;
using testing::PresetWith;
using Bytes = std::vector<std::uint8_t>;

class PresetFiles : public ::testing::Test {
 protected:
  PresetFiles() : dir_(temp_.Path()) {}

  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return (dir_ / name).string();
  }
  std::string Write(const std::string& name, const Bytes& bytes) {
    std::ofstream out(dir_ / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return (dir_ / name).string();
  }
  static Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  korvex::testing::TempDir temp_;  // this test's own folder, removed at the end
  fs::path dir_;
};

std::array<std::uint8_t, firmware::kIdentityBlockSize> IdentityBlock(
    std::span<const std::uint8_t> flash) {
  std::array<std::uint8_t, firmware::kIdentityBlockSize> block{};
  std::copy_n(flash.begin() + 0x12000, 17, block.begin());
  block[17] = flash[0x12019];
  return block;
}

TEST(PanelPreset, SampleProgramCarriesTheHeaderOfTheKeys) {
  auto panel = MakePanel({{"panel_type", "5"},
                          {"program_version", "118"},
                          {"program_date", "20240102"},
                          {"program_language", "4"},
                          {"program_signature", "vrk"}});
  const auto header = firmware::DecodeIdentityBlock(IdentityBlock(panel->Flash()));
  ASSERT_TRUE(header.recognised);
  EXPECT_EQ(header.rawType, 0x84);  // panel type 5
  EXPECT_EQ(header.versionDate, "11820240102");
  EXPECT_EQ(header.languageCode, 4);
  EXPECT_TRUE(header.varekVariant);
  // Banks 1..5 repeat bank 0's low 8 KB, so the short page-program form reproduces them.
  for (std::uint32_t bank = 1; bank < 6; ++bank) {
    EXPECT_TRUE(std::equal(panel->Flash().begin(), panel->Flash().begin() + 0x2000,
                           panel->Flash().begin() + bank * 0x10000))
        << bank;
  }
  EXPECT_TRUE(ProgramRecognised(panel->Flash()));
}

TEST(PanelPreset, UnrecognisedPrograms) {
  for (const char* program : {"blank", "garbage"}) {
    auto panel = MakePanel({{"program", program}});
    EXPECT_FALSE(ProgramRecognised(panel->Flash())) << program;
  }
}

TEST(PanelPreset, StKindFollowsThePanelTypeUnlessGiven) {
  EXPECT_EQ(MakePanel({{"panel_type", "3"}})->St().kind, StKind::kNone);
  EXPECT_EQ(MakePanel({{"panel_type", "4"}})->St().kind, StKind::kA);
  EXPECT_EQ(MakePanel({{"panel_type", "5"}})->St().kind, StKind::kB);
  EXPECT_EQ(MakePanel({{"panel_type", "8"}})->St().kind, StKind::kC);
  EXPECT_EQ(MakePanel({{"panel_type", "8"}, {"st_kind", "none"}})->St().kind, StKind::kNone);
  const auto b =
      MakePanel({{"panel_type", "5"}, {"st_options", "1 2 3"}, {"st_protection", "0xAA"}});
  EXPECT_EQ(b->St().options.size(), 14u);
  EXPECT_EQ(b->St().options[2], 3);
  EXPECT_EQ(b->St().protection, 0xAA);
}

TEST(PanelPreset, GeneratedSettingsHaveRightChecksOrAFill) {
  auto panel = MakePanel({{"panel_type", "0"}});
  for (int area : {1, 2}) {
    EXPECT_TRUE(FindSettingsBlockFaults(panel->Settings(area), *SettingsLayoutFor(0, area)).empty())
        << area;
  }
  auto filled = MakePanel({{"settings_fill", "0x00"}, {"settings_checks", "keep"}});
  EXPECT_TRUE(std::all_of(filled->Settings(1).begin(), filled->Settings(1).end(),
                          [](std::uint8_t b) { return b == 0; }));
}

TEST(PanelPreset, SettingsBytesArePlacedBeforeTheChecksAreRefreshed) {
  auto panel = MakePanel({{"panel_type", "1"},
                          {"settings_fill", "0x5A"},
                          {"settings1_bytes", "0x5186 0x0F 2, 0x0D"},
                          {"settings2_bytes", "0x5300 0xEE"},
                          {"settings1_bytes", "0x5187 0x44"}});
  const auto area1 = panel->Settings(1);
  EXPECT_EQ((Bytes(area1.begin() + 0x5185, area1.begin() + 0x518A)),
            (Bytes{0x5A, 0x0F, 0x44, 0x0D, 0x5A}));
  EXPECT_EQ(panel->Settings(2)[0x5300], 0xEE);
  for (int area : {1, 2}) {
    EXPECT_TRUE(FindSettingsBlockFaults(panel->Settings(area), *SettingsLayoutFor(1, area)).empty())
        << area;
  }

  PanelPreset preset;
  std::string error;
  for (const char* value : {"", "0x5186", "0x5186 0x100", "0xFFFF 1 2", "0x10000 1"}) {
    EXPECT_FALSE(ApplyPresetSetting(preset, "settings1_bytes", value, &error)) << value;
  }
}

TEST(PanelPreset, RefusesUnknownKeysAndBadValues) {
  PanelPreset preset;
  std::string error;
  for (const auto& [key, value] :
       std::vector<std::pair<const char*, const char*>>{{"colour", "red"},
                                                        {"listen_rate", "4800"},
                                                        {"program", "raw:"},
                                                        {"program", "disk"},
                                                        {"program_version", "12"},
                                                        {"token", "1 2 3"},
                                                        {"st_kind", "D"},
                                                        {"st_version", "1.2"},
                                                        {"wire_time", "maybe"},
                                                        {"panel_type", "256"}}) {
    EXPECT_FALSE(ApplyPresetSetting(preset, key, value, &error)) << key << " = " << value;
    EXPECT_FALSE(error.empty());
  }
  EXPECT_FALSE(ApplyPresetText(preset, "panel_type = 2\nno equals sign\n", &error));
  EXPECT_NE(error.find("line 2"), std::string::npos);
}

TEST_F(PresetFiles, FileNamesAreRelativeToThePresetFile) {
  Bytes area(0x10000, 0x3C);
  Write("area1.bin", area);
  const std::string path = Write("panel.cfg",
                                 "# a type 2 panel\n"
                                 "panel_type = 2   # Medium\n"
                                 "flash_kind = 8\n"
                                 "settings1 = area1.bin\n"
                                 "fault.refuse_connect = 1\n");
  PanelPreset preset;
  std::string error;
  ASSERT_TRUE(ApplyPresetFile(preset, path, &error)) << error;
  auto panel = BuildPanel(preset, &error);
  ASSERT_NE(panel, nullptr) << error;
  EXPECT_EQ(panel->Config().panelType, 2);
  EXPECT_EQ(panel->Config().faults.refuseConnect, 1u);
  // A settings file is taken as it is: its checks are not refreshed.
  EXPECT_TRUE(std::equal(area.begin(), area.end(), panel->Settings(1).begin()));

  PanelPreset missing;
  ASSERT_TRUE(ApplyPresetText(missing, "settings2 = nowhere.bin", &error, dir_.string()));
  EXPECT_EQ(BuildPanel(missing, &error), nullptr);
  EXPECT_NE(error.find("nowhere.bin"), std::string::npos);
}

TEST_F(PresetFiles, ProgramAndStProgramFromAFirmwareFile) {
  firmware::IdentityFields identity;
  identity.rawType = 0x84;  // panel type 5, ST kind B
  identity.version = "121";
  firmware::QfwInput input;
  input.program = firmware::MakeSampleProgram(4);
  firmware::WriteIdentityHeader(input.program, identity);
  input.stProgram = MakeStProgram(StKind::kB, {0x01, 0x09, 0x20, 0x23, 0x07, 0x08}, 0x01, 0x28, 4);
  const auto qfw = firmware::BuildQfw(input);
  ASSERT_TRUE(qfw.error.empty()) << qfw.error;
  const std::string file = Write("panel.qfw", qfw.bytes);

  auto panel =
      MakePanel({{"panel_type", "5"}, {"program", ("qfw:" + file).c_str()}, {"st_program", "qfw"}});
  ASSERT_NE(panel, nullptr);
  const Bytes area = firmware::MainImageWithChecks(input.program);
  EXPECT_TRUE(std::equal(area.begin(), area.end(), panel->Flash().begin()));
  EXPECT_EQ(panel->St().memory, input.stProgram);

  std::string error;
  auto wrongKind = BuildPanel(
      PresetWith(
          {{"panel_type", "7"}, {"program", ("qfw:" + file).c_str()}, {"st_program", "qfw"}}),
      &error);
  EXPECT_EQ(wrongKind, nullptr);
  EXPECT_NE(error.find("kind"), std::string::npos);
  auto damaged = qfw.bytes;
  damaged[1000] ^= 0x01;
  Write("damaged.qfw", damaged);
  EXPECT_EQ(
      BuildPanel(PresetWith({{"program", ("qfw:" + (dir_ / "damaged.qfw").string()).c_str()}}),
                 &error),
      nullptr);
}

TEST_F(PresetFiles, DumpLoadsBackIntoTheSamePanel) {
  auto panel = MakePanel({{"panel_type", "5"},
                          {"flash_kind", "1"},
                          {"starter_version", "0x55"},
                          {"rebuilt_starter_version", "0x62"},
                          {"st_protection", "0xAA"}});
  PcSide pc(*panel);
  ASSERT_TRUE(pc.Connect().valid);
  pc.Exchange({0x1E, 9, 8, 7, 6});
  pc.Exchange({0x81, 0x10, 0x80, 0x02, 0x77});
  const std::string text = "Programming 42% ";
  Bytes keypad = {0x21, 0x11, 0x7D};
  keypad.insert(keypad.end(), text.begin(), text.end());
  pc.Exchange(keypad);
  pc.Exchange({0x26, 0x02, 0x66, 0x66});  // no token check: a violation

  std::string error;
  ASSERT_TRUE(DumpPanel(*panel, (dir_ / "dump").string(), &error)) << error;
  EXPECT_EQ(Read(dir_ / "dump" / "flash.bin"), Bytes(panel->Flash().begin(), panel->Flash().end()));
  EXPECT_EQ(Read(dir_ / "dump" / "settings2.bin")[0x8010], 0x77);
  EXPECT_EQ(Read(dir_ / "dump" / "st.bin"), panel->St().memory);
  const Bytes keypadText = Read(dir_ / "dump" / "keypad.txt");
  EXPECT_NE(std::string(keypadText.begin(), keypadText.end()).find("line2=\"Programming 42% \""),
            std::string::npos);
  const Bytes violations = Read(dir_ / "dump" / "violations.txt");
  EXPECT_NE(std::string(violations.begin(), violations.end()).find("#5 "), std::string::npos);

  PanelPreset again;
  ASSERT_TRUE(ApplyPresetFile(again, (dir_ / "dump" / "state.cfg").string(), &error)) << error;
  auto reloaded = BuildPanel(again, &error);
  ASSERT_NE(reloaded, nullptr) << error;
  EXPECT_TRUE(std::equal(panel->Flash().begin(), panel->Flash().end(), reloaded->Flash().begin()));
  for (int area : {1, 2}) {
    EXPECT_TRUE(std::equal(panel->Settings(area).begin(), panel->Settings(area).end(),
                           reloaded->Settings(area).begin()));
  }
  EXPECT_EQ(reloaded->St().memory, panel->St().memory);
  EXPECT_EQ(reloaded->St().options, panel->St().options);
  EXPECT_EQ(reloaded->St().protection, 0xAA);
  EXPECT_EQ(reloaded->StarterVersion(), 0x55);
  EXPECT_EQ(reloaded->Config().rebuiltStarterVersion, 0x62);
  EXPECT_EQ(reloaded->Token(), (std::array<std::uint8_t, 4>{9, 8, 7, 6}));
  EXPECT_EQ(reloaded->Config().flashKind, 1);
}

TEST_F(PresetFiles, TheStsWornPartsAndAnyReportedVersionLoadBack) {
  auto panel = MakePanel({{"panel_type", "5"},
                          {"st_reported_version", "0x01 0x0A 0x20 0x20 0x01 0x15"},
                          {"st_options_locked", "yes"},
                          {"st_weak_cell", "0x9000"}});
  std::string error;
  ASSERT_TRUE(DumpPanel(*panel, (dir_ / "dump").string(), &error)) << error;
  PanelPreset again;
  ASSERT_TRUE(ApplyPresetFile(again, (dir_ / "dump" / "state.cfg").string(), &error)) << error;
  auto reloaded = BuildPanel(again, &error);
  ASSERT_NE(reloaded, nullptr) << error;
  EXPECT_EQ(reloaded->St().programVersion, panel->St().programVersion);
  EXPECT_TRUE(reloaded->St().optionsLocked);
  EXPECT_EQ(reloaded->St().weakCell, std::optional<std::uint32_t>(0x9000));
}

TEST(PanelPreset, EveryKeyHasHelp) {
  PanelPreset preset;
  std::string error;
  for (const auto& [key, help] : PresetKeyHelp()) {
    EXPECT_FALSE(help.empty()) << key;
    // Every documented key is known (a bad value may be refused, an unknown key never).
    ApplyPresetSetting(preset, key, "", &error);
    EXPECT_EQ(error.find("unknown"), std::string::npos) << key << ": " << error;
  }
}

}  // namespace
}  // namespace korvex::sim
