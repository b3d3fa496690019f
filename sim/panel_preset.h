// Setting up a simulated panel and taking it apart afterwards. A preset names the panel's
// type, FLASH chip, starter, the program in its FLASH, its settings, its ST controller and the
// faults it shows; it is read from "key = value" lines (a file, or single settings given on
// a command line) and turned into a PanelModel. A dump writes the panel's memories and a
// state file that loads back into the same panel.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/qfw_writer.h"
#include "sim/panel_model.h"
#include "sim/st_controller.h"
#include "sim/starter_area.h"

namespace korvex::sim {

enum class ProgramKind {
  kSample,   // the sample program with an identity header made from the program_* keys
  kBlank,    // erased: no program (unrecognised)
  kGarbage,  // random bytes without a known signature (unrecognised)
  kRaw,      // a file placed at 0x00000 (up to 0x70000 bytes)
  kQfw,      // the main image of a firmware file (and its ST section for st_program = qfw)
  kImage,    // bytes given in memory (tests)
};

enum class StProgramKind { kSample, kBlank, kRaw, kQfw, kImage };

struct ProgramSource {
  ProgramKind kind = ProgramKind::kSample;
  std::string path;                   // kRaw, kQfw
  std::vector<std::uint8_t> bytes;    // kImage: placed at 0x00000
  firmware::IdentityFields identity;  // kSample: the header (rawType: see rawTypeSet)
  bool rawTypeSet = false;            // else the raw code of the preset's panel type
  std::uint32_t seed = 1;
};

// Bytes of a settings area given in a preset (key settings1_bytes or settings2_bytes).
struct SettingsPatch {
  int area = 1;  // 1 or 2
  std::uint16_t address = 0;
  std::vector<std::uint8_t> bytes;
};

struct PanelPreset {
  PanelConfig config;
  ProgramSource program;
  std::string flashFile;  // a whole 512 KB FLASH image; replaces program and starter area
  std::uint8_t starterLanguage = 1;
  StarterDamage starterDamage = StarterDamage::kNone;

  std::array<std::string, 2> settingsFiles;  // areas 1 and 2 (64 KB each)
  // Bytes placed into the settings areas after the files or the fill, in the order given,
  // before the block checks are refreshed.
  std::vector<SettingsPatch> settingsPatches;
  std::optional<std::uint8_t> settingsFill;  // nullopt: bytes from the seed
  std::optional<bool> settingsChecks;        // refresh marks and sums (default: unless files)

  std::optional<StKind> stKind;  // nullopt: the kind of the panel type
  StProgramKind stProgram = StProgramKind::kSample;
  std::string stPath;
  std::vector<std::uint8_t> stBytes;
  StVersionBytes stProgramVersion = {0x01, 0x00, 0x20,
                                     0x20, 0x01, 0x15};  // sample: 1.00 2020-01-15
  std::uint8_t fskPlus = 0x05;
  std::uint8_t fskMinus = 0x22;
  StVersionBytes stStarterVersion = {0x01, 0x03, 0x20, 0x18, 0x06, 0x15};
  std::optional<StVersionBytes> stReportedVersion;
  std::vector<std::uint8_t> stOptions;  // empty: all 0x00
  std::uint8_t stProtection = 0x00;
  bool stOptionsLocked = false;
  std::optional<std::uint32_t> stWeakCell;  // ST address
};

// Sets one key; relative file names are taken relative to baseDir (when not empty). False
// with the reason in *error for an unknown key or a bad value.
bool ApplyPresetSetting(PanelPreset& preset, std::string_view key, std::string_view value,
                        std::string* error, const std::string& baseDir = {});

// Applies "key = value" lines ('#' starts a comment; blank lines are skipped).
bool ApplyPresetText(PanelPreset& preset, std::string_view text, std::string* error,
                     const std::string& baseDir = {});

// Applies a preset file; its relative file names are relative to the file's folder.
bool ApplyPresetFile(PanelPreset& preset, const std::string& path, std::string* error);

// The memories a preset describes; nullopt with the reason when a file cannot be used.
std::optional<PanelMemory> BuildPanelMemory(const PanelPreset& preset, std::string* error);

// The panel a preset describes.
std::unique_ptr<PanelModel> BuildPanel(const PanelPreset& preset, std::string* error = nullptr);

// Writes into `dir` (created if missing): flash.bin, settings1.bin, settings2.bin, st.bin,
// state.cfg (loads back with ApplyPresetFile into a panel with the same memories and starter),
// keypad.txt (the keypad texts in order) and violations.txt.
bool DumpPanel(const PanelModel& panel, const std::string& dir, std::string* error);

// The keys ApplyPresetSetting knows, with a line of help each, for --help.
std::vector<std::pair<std::string, std::string>> PresetKeyHelp();

}  // namespace korvex::sim
