#include "sim/panel_preset.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "firmware/firmware_check.h"
#include "firmware/identity.h"
#include "sim/program_image.h"
#include "sim/request_text.h"
#include "sim/settings_blocks.h"

namespace korvex::sim {

namespace {

namespace fs = std::filesystem;

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

std::string Resolve(std::string_view path, const std::string& baseDir) {
  fs::path p{std::string(path)};
  if (p.is_relative() && !baseDir.empty()) p = fs::path(baseDir) / p;
  return p.string();
}

std::optional<std::vector<std::uint8_t>> ReadFile(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Fail(error, "cannot read " + path);
    return std::nullopt;
  }
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool WriteFile(const fs::path& path, std::span<const std::uint8_t> bytes, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) return Fail(error, "cannot write " + path.string());
  return true;
}

bool WriteText(const fs::path& path, const std::string& text, std::string* error) {
  return WriteFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                   error);
}

std::optional<bool> ParseBool(std::string_view value) {
  value = Trim(value);
  if (value == "yes" || value == "true" || value == "on" || value == "1") return true;
  if (value == "no" || value == "false" || value == "off" || value == "0") return false;
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> ParseBytes(std::string_view value) {
  std::vector<std::uint8_t> bytes;
  for (std::string_view item : SplitList(value)) {
    const auto n = ParseNumber(item);
    if (!n || *n > 0xFF) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(*n));
  }
  return bytes;
}

std::string BytesText(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::uint8_t b : bytes) text += (text.empty() ? "" : " ") + HexByte(b);
  return text;
}

const char* CtsName(CtsBehaviour cts) {
  switch (cts) {
    case CtsBehaviour::kOff:
      return "off";
    case CtsBehaviour::kOn:
      return "on";
    case CtsBehaviour::kPulse:
      break;
  }
  return "pulse";
}

template <typename T>
bool Number(std::string_view key, std::string_view value, T& out, std::uint64_t max,
            std::string* error) {
  const auto n = ParseNumber(value);
  if (!n || *n > max)
    return Fail(error, "bad value for " + std::string(key) + ": " + std::string(value));
  out = static_cast<T>(*n);
  return true;
}

bool Flag(std::string_view key, std::string_view value, bool& out, std::string* error) {
  const auto b = ParseBool(value);
  if (!b)
    return Fail(error, "bad value for " + std::string(key) + " (yes or no): " + std::string(value));
  out = *b;
  return true;
}

bool Rate(std::string_view key, std::string_view value, std::uint32_t& out, bool allowNone,
          std::string* error) {
  if (allowNone && Trim(value) == "none") {
    out = 0;
    return true;
  }
  const auto n = ParseNumber(value);
  if (!n || (*n != 9600 && *n != 57600 && *n != 115200)) {
    return Fail(error, "bad rate for " + std::string(key) + ": " + std::string(value));
  }
  out = static_cast<std::uint32_t>(*n);
  return true;
}

// A version as text ("1.05 2019-04-01") or as the six bytes the ST sends (any
// values, so that an ST reporting nibbles above 9 can be set up).
bool Version(std::string_view key, std::string_view value, StVersionBytes& out,
             std::string* error) {
  if (const auto v = ParseStVersion(std::string(Trim(value)))) {
    out = *v;
    return true;
  }
  const auto bytes = ParseBytes(value);
  if (!bytes || bytes->size() != out.size())
    return Fail(error, "bad version for " + std::string(key) +
                           " (form 1.05 2019-04-01, or six bytes): " + std::string(value));
  std::copy(bytes->begin(), bytes->end(), out.begin());
  return true;
}

// The text form when it reads back as the same bytes, else the six bytes.
std::string VersionSetting(const StVersionBytes& v) {
  const std::string text = StVersionText(v);
  const auto back = ParseStVersion(text);
  return back && *back == v ? text : BytesText(v);
}

// "kind:path" values of program and st_program.
std::pair<std::string_view, std::string_view> SplitSource(std::string_view value) {
  value = Trim(value);
  const std::size_t colon = value.find(':');
  if (colon == std::string_view::npos) return {value, {}};
  return {value.substr(0, colon), value.substr(colon + 1)};
}

std::optional<firmware::FirmwareImage> LoadQfw(const std::string& path, std::string* error) {
  std::string reason;
  auto image = firmware::LoadFirmwareFile(path, &reason);
  if (!image) Fail(error, "firmware file " + path + " refused: " + reason);
  return image;
}

// What a key's setter works on.
struct SettingTarget {
  PanelPreset& preset;
  std::string* error;
  const std::string& baseDir;
  PanelConfig& Config() const { return preset.config; }
};
using Setter = bool (*)(const SettingTarget& to, std::string_view key, std::string_view value);

// A value that names one of a few choices; `names` lists them for the error.
template <typename T>
bool Choice(std::string_view key, std::string_view value,
            std::initializer_list<std::pair<std::string_view, T>> choices, const char* names,
            T& out, std::string* error) {
  for (const auto& [name, choice] : choices) {
    if (value == name) {
      out = choice;
      return true;
    }
  }
  return Fail(error,
              "bad value for " + std::string(key) + " (" + names + "): " + std::string(value));
}

// A file path, relative to the preset's folder; empty stays empty.
std::string PathSetting(std::string_view value, const std::string& baseDir) {
  return value.empty() ? std::string() : Resolve(value, baseDir);
}

bool SetProgram(const SettingTarget& to, std::string_view, std::string_view value) {
  const auto [kind, path] = SplitSource(value);
  ProgramSource& p = to.preset.program;
  p.path.clear();
  if (kind == "sample")
    p.kind = ProgramKind::kSample;
  else if (kind == "blank")
    p.kind = ProgramKind::kBlank;
  else if (kind == "garbage")
    p.kind = ProgramKind::kGarbage;
  else if (kind == "raw" && !path.empty())
    p.kind = ProgramKind::kRaw;
  else if (kind == "qfw" && !path.empty())
    p.kind = ProgramKind::kQfw;
  else
    return Fail(to.error, "bad value for program (sample, blank, garbage, raw:FILE, qfw:FILE): " +
                              std::string(value));
  if (!path.empty()) p.path = Resolve(path, to.baseDir);
  return true;
}

bool SetProgramDigits(const SettingTarget& to, std::string_view key, std::string_view value) {
  const bool version = key == "program_version";
  const std::size_t size = version ? 3 : 8;
  if (value.size() != size ||
      !std::all_of(value.begin(), value.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
    return Fail(to.error, std::string(key) + " needs " + std::to_string(size) +
                              " digits: " + std::string(value));
  }
  firmware::IdentityFields& id = to.preset.program.identity;
  (version ? id.version : id.date) = std::string(value);
  return true;
}

bool SetSettingsBytes(const SettingTarget& to, std::string_view key, std::string_view value) {
  const std::vector<std::string_view> items = SplitList(value);
  // A missing or unreadable address is taken as the end of the area, which
  // fails the fit check below.
  const std::uint64_t address =
      items.empty() ? kSettingsAreaSize : ParseNumber(items[0]).value_or(kSettingsAreaSize);
  SettingsPatch patch;
  patch.area = key == "settings1_bytes" ? 1 : 2;
  for (std::size_t i = 1; i < items.size(); ++i) {
    const auto b = ParseNumber(items[i]);
    if (!b || *b > 0xFF) {
      return Fail(to.error, "bad byte for " + std::string(key) + ": " + std::string(items[i]));
    }
    patch.bytes.push_back(static_cast<std::uint8_t>(*b));
  }
  if (patch.bytes.empty() || address + patch.bytes.size() > kSettingsAreaSize) {
    return Fail(to.error,
                std::string(key) +
                    " needs an address and bytes that fit below 0x10000: " + std::string(value));
  }
  patch.address = static_cast<std::uint16_t>(address);
  to.preset.settingsPatches.push_back(std::move(patch));
  return true;
}

bool SetStProgram(const SettingTarget& to, std::string_view, std::string_view value) {
  const auto [kind, path] = SplitSource(value);
  PanelPreset& preset = to.preset;
  preset.stPath.clear();
  if (kind == "sample")
    preset.stProgram = StProgramKind::kSample;
  else if (kind == "blank")
    preset.stProgram = StProgramKind::kBlank;
  else if (kind == "qfw")
    preset.stProgram = StProgramKind::kQfw;
  else if (kind == "raw" && !path.empty())
    preset.stProgram = StProgramKind::kRaw;
  else
    return Fail(to.error,
                "bad value for st_program (sample, blank, raw:FILE, qfw): " + std::string(value));
  if (!path.empty()) preset.stPath = Resolve(path, to.baseDir);
  return true;
}

bool SetFaultKey(const SettingTarget& to, std::string_view key, std::string_view value) {
  return SetFault(to.Config().faults, key.substr(6), value, to.error);
}

// Setters of the plain fields: a number up to a limit, or yes/no.
template <auto Field, std::uint64_t Max>
bool ConfigNumber(const SettingTarget& to, std::string_view key, std::string_view value) {
  return Number(key, value, to.Config().*Field, Max, to.error);
}
template <auto Field>
bool ConfigFlag(const SettingTarget& to, std::string_view key, std::string_view value) {
  return Flag(key, value, to.Config().*Field, to.error);
}
template <auto Field, std::uint64_t Max>
bool PresetNumber(const SettingTarget& to, std::string_view key, std::string_view value) {
  return Number(key, value, to.preset.*Field, Max, to.error);
}
template <auto Field>
bool PresetFlag(const SettingTarget& to, std::string_view key, std::string_view value) {
  return Flag(key, value, to.preset.*Field, to.error);
}
template <auto Field, std::uint64_t Max>
bool IdentityNumber(const SettingTarget& to, std::string_view key, std::string_view value) {
  return Number(key, value, to.preset.program.identity.*Field, Max, to.error);
}

struct PresetKey {
  std::string_view key;
  std::string_view help;
  Setter set;
};

// Every key of a preset: its name, its line of help and what it sets.
const std::vector<PresetKey>& PresetKeys() {
  static const std::vector<PresetKey> keys{
      {"panel_type", "panel type code the starter reports, 0..8 (default 3)",
       ConfigNumber<&PanelConfig::panelType, 0xFF>},
      {"flash_kind", "FLASH chip code, 1..9 (default 5); others are reported as they are",
       ConfigNumber<&PanelConfig::flashKind, 0xFF>},
      {"starter_version", "starter version byte, 0x61 is 6.1 (default 0x61)",
       ConfigNumber<&PanelConfig::starterVersion, 0xFF>},
      {"starter_language", "language code kept at 0x71FF9 (default 1)",
       PresetNumber<&PanelPreset::starterLanguage, 0xFF>},
      {"starter_damage", "none | sum | digits: spoil the starter area's stored sum or digits",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         return Choice(k, v,
                       {{"none", StarterDamage::kNone},
                        {"sum", StarterDamage::kSum},
                        {"digits", StarterDamage::kDigits}},
                       "none, sum or digits", to.preset.starterDamage, to.error);
       }},
      {"rebuilt_starter_version", "version the starter updater builds (default 0x61)",
       ConfigNumber<&PanelConfig::rebuiltStarterVersion, 0xFF>},
      {"listen_rate", "rate the starter listens at when the simulation starts (default 9600)",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         return Rate(k, v, to.Config().listenRate, false, to.error);
       }},
      {"fast_rate",
       "115200 | 57600 | none: answer to the fast-rate request (default "
       "115200)",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         return Rate(k, v, to.Config().fastRate, true, to.error);
       }},
      {"token", "four bytes of link token held at the start (default: from the seed)",
       [](const SettingTarget& to, std::string_view, std::string_view v) {
         const auto bytes = ParseBytes(v);
         if (!bytes || bytes->size() != 4)
           return Fail(to.error, "token needs four bytes: " + std::string(v));
         to.Config().token =
             std::array<std::uint8_t, 4>{(*bytes)[0], (*bytes)[1], (*bytes)[2], (*bytes)[3]};
         return true;
       }},
      {"cts", "pulse | off | on: CTS after a restart (default pulse)",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         return Choice(k, v,
                       {{"pulse", CtsBehaviour::kPulse},
                        {"off", CtsBehaviour::kOff},
                        {"on", CtsBehaviour::kOn}},
                       "pulse, off or on", to.Config().cts, to.error);
       }},
      {"cts_delay_ms", "program start to CTS on (default 300)",
       ConfigNumber<&PanelConfig::ctsDelayMs, 0xFFFFFFFFu>},
      {"cts_pulse_ms", "CTS stays on this long (default 1500)",
       ConfigNumber<&PanelConfig::ctsPulseMs, 0xFFFFFFFFu>},
      {"boot_ms", "restart to program, updater or starter running (default 150)",
       ConfigNumber<&PanelConfig::bootMs, 0xFFFFFFFFu>},
      {"rearm_ms",
       "the running program returns to the starter after this; 0 never "
       "(default 0)",
       ConfigNumber<&PanelConfig::rearmMs, 0xFFFFFFFFu>},
      {"start_in_program", "yes | no: the panel runs its program at the start (default no)",
       ConfigFlag<&PanelConfig::startInProgram>},
      {"wire_time", "yes | no: bytes take 10 bit times each on the line",
       ConfigFlag<&PanelConfig::wireTime>},
      {"chip_times", "yes | no: FLASH, settings and ST operations take their time",
       ConfigFlag<&PanelConfig::chipTimes>},
      {"strict",
       "yes | no: refuse FLASH writes that break the link-token rules (default "
       "yes)",
       ConfigFlag<&PanelConfig::strict>},
      {"seed", "seed of generated contents, tokens and random faults (default 1)",
       ConfigNumber<&PanelConfig::seed, 0xFFFFFFFFu>},
      {"program",
       "sample | blank | garbage | raw:FILE | qfw:FILE: the program in the "
       "FLASH",
       SetProgram},
      {"program_signature", "sample program: three signature letters (default SOL)",
       [](const SettingTarget& to, std::string_view, std::string_view v) {
         if (v.size() != 3) return Fail(to.error, "program_signature needs three letters");
         to.preset.program.identity.signature = std::string(v);
         return true;
       }},
      {"program_type", "sample program: raw panel type code (default: that of panel_type)",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         to.preset.program.rawTypeSet = true;
         return Number(k, v, to.preset.program.identity.rawType, 0xFF, to.error);
       }},
      {"program_version", "sample program: three version digits (default 124)", SetProgramDigits},
      {"program_date", "sample program: yyyymmdd (default 20250312)", SetProgramDigits},
      {"program_language", "sample program: language code (default 1)",
       IdentityNumber<&firmware::IdentityFields::languageCode, 0xFF>},
      {"program_beta", "sample program: beta number (default 0)",
       IdentityNumber<&firmware::IdentityFields::betaNumber, 0xFF>},
      {"program_seed", "sample program: seed of its bytes (default 1)",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         return Number(k, v, to.preset.program.seed, 0xFFFFFFFFu, to.error);
       }},
      {"flash", "FILE: a whole 512 KB FLASH image (replaces program and starter area)",
       [](const SettingTarget& to, std::string_view, std::string_view v) {
         to.preset.flashFile = PathSetting(v, to.baseDir);
         return true;
       }},
      {"settings1", "FILE: settings area 1 (64 KB)",
       [](const SettingTarget& to, std::string_view, std::string_view v) {
         to.preset.settingsFiles[0] = PathSetting(v, to.baseDir);
         return true;
       }},
      {"settings2", "FILE: settings area 2 (64 KB)",
       [](const SettingTarget& to, std::string_view, std::string_view v) {
         to.preset.settingsFiles[1] = PathSetting(v, to.baseDir);
         return true;
       }},
      {"settings_fill", "random | 0xNN: generated settings bytes (default random)",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         if (v == "random") {
           to.preset.settingsFill.reset();
           return true;
         }
         std::uint8_t fill = 0;
         if (!Number(k, v, fill, 0xFF, to.error)) return false;
         to.preset.settingsFill = fill;
         return true;
       }},
      {"settings1_bytes",
       "ADDRESS BYTE...: bytes placed in settings area 1 from ADDRESS "
       "(repeatable; the block "
       "checks are refreshed afterwards unless settings_checks = keep or files "
       "are given)",
       SetSettingsBytes},
      {"settings2_bytes", "ADDRESS BYTE...: the same for settings area 2", SetSettingsBytes},
      {"settings_checks",
       "refresh | keep: write right block marks and sums (default refresh, "
       "keep when files are given)",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         return Choice(k, v, {{"refresh", true}, {"keep", false}}, "refresh or keep",
                       to.preset.settingsChecks, to.error);
       }},
      {"st_kind",
       "auto | none | A | B | C: the ST controller (default auto: by panel "
       "type)",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         if (v == "auto") {
           to.preset.stKind.reset();
           return true;
         }
         StKind kind = StKind::kNone;
         if (!Choice(
                 k, v,
                 {{"none", StKind::kNone}, {"A", StKind::kA}, {"B", StKind::kB}, {"C", StKind::kC}},
                 "auto, none, A, B or C", kind, to.error)) {
           return false;
         }
         to.preset.stKind = kind;
         return true;
       }},
      {"st_program", "sample | blank | raw:FILE | qfw: the ST's program memory", SetStProgram},
      {"st_version", "sample ST program's version, e.g. 1.00 2020-01-15",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         return Version(k, v, to.preset.stProgramVersion, to.error);
       }},
      {"st_fsk", "sample ST program's FSK plus and minus bytes (default 0x05 0x22)",
       [](const SettingTarget& to, std::string_view, std::string_view v) {
         const auto bytes = ParseBytes(v);
         if (!bytes || bytes->size() != 2)
           return Fail(to.error, "st_fsk needs two bytes: " + std::string(v));
         to.preset.fskPlus = (*bytes)[0];
         to.preset.fskMinus = (*bytes)[1];
         return true;
       }},
      {"st_starter_version", "the ST starter's version (default 1.03 2018-06-15)",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         return Version(k, v, to.preset.stStarterVersion, to.error);
       }},
      {"st_reported_version",
       "the ST reports this program version whatever it holds (text, or six "
       "bytes)",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         if (v == "none") {
           to.preset.stReportedVersion.reset();
           return true;
         }
         StVersionBytes version{};
         if (!Version(k, v, version, to.error)) return false;
         to.preset.stReportedVersion = version;
         return true;
       }},
      {"st_options", "the ST's option bytes (kinds B and C; default all 0x00)",
       [](const SettingTarget& to, std::string_view, std::string_view v) {
         const auto bytes = ParseBytes(v);
         if (!bytes) return Fail(to.error, "bad bytes for st_options: " + std::string(v));
         to.preset.stOptions = *bytes;
         return true;
       }},
      {"st_protection", "the ST's protection byte, 0xAA protected (default 0x00)",
       PresetNumber<&PanelPreset::stProtection, 0xFF>},
      {"st_options_locked", "yes: the ST acknowledges option writes but keeps its options",
       PresetFlag<&PanelPreset::stOptionsLocked>},
      {"st_weak_cell", "ST address of a cell that loses its value after programming",
       [](const SettingTarget& to, std::string_view k, std::string_view v) {
         if (Trim(v) == "none") {
           to.preset.stWeakCell.reset();
           return true;
         }
         std::uint32_t address = 0;
         if (!Number(k, v, address, 0xFFFFFF, to.error)) return false;
         to.preset.stWeakCell = address;
         return true;
       }},
      {"fault.drop_request", "selectors: requests lost on the line (17, 0x62:5, 0x62:*)",
       SetFaultKey},
      {"fault.drop_reply", "selectors: requests carried out whose reply is lost", SetFaultKey},
      {"fault.corrupt_reply", "selectors: replies with one bit flipped", SetFaultKey},
      {"fault.garble_reply",
       "selectors: replies whose data changes in a way the check bytes cannot see", SetFaultKey},
      {"fault.delay_reply", "selector=ms, ...: replies that leave later", SetFaultKey},
      {"fault.drop_probability", "probability that any reply is lost", SetFaultKey},
      {"fault.corrupt_probability", "probability that any reply byte gets a flipped bit",
       SetFaultKey},
      {"fault.reply_delay_ms", "added to every reply", SetFaultKey},
      {"fault.silent_rates", "rates at which requests are neither carried out nor answered",
       SetFaultKey},
      {"fault.refuse_connect", "refuse the first N connect requests", SetFaultKey},
      {"fault.refuse_code", "data byte of a refused connection (default 1)", SetFaultKey},
      {"fault.identify_answer", "answer code of identification instead of 0x92", SetFaultKey},
      {"fault.power_loss_at", "the power fails during request N (a write is left half done)",
       SetFaultKey},
      {"fault.lose_token_at", "the panel forgets the link token just before request N",
       SetFaultKey},
      {"fault.service_menu_at",
       "the operator restarts the panel into its starter just before request N", SetFaultKey},
      {"fault.refuse_writes_from", "FLASH erases and page programs from request N are refused",
       SetFaultKey},
      {"fault.seed", "seed of the random faults (default 1)", SetFaultKey},
  };
  return keys;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> PresetKeyHelp() {
  std::vector<std::pair<std::string, std::string>> help;
  for (const PresetKey& key : PresetKeys()) help.emplace_back(key.key, key.help);
  return help;
}

bool ApplyPresetSetting(PanelPreset& preset, std::string_view key, std::string_view value,
                        std::string* error, const std::string& baseDir) {
  key = Trim(key);
  value = Trim(value);
  const SettingTarget target{preset, error, baseDir};
  const std::vector<PresetKey>& keys = PresetKeys();
  const auto row =
      std::find_if(keys.begin(), keys.end(), [&](const PresetKey& k) { return k.key == key; });
  if (row != keys.end()) return row->set(target, key, value);
  // The fault plan names its own unknown keys.
  if (key.starts_with("fault.")) return SetFaultKey(target, key, value);
  return Fail(error, "unknown key: " + std::string(key));
}

bool ApplyPresetText(PanelPreset& preset, std::string_view text, std::string* error,
                     const std::string& baseDir) {
  std::size_t lineNumber = 0;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    const std::size_t hash = line.find('#');
    if (hash != std::string_view::npos) line = line.substr(0, hash);
    line = Trim(line);
    if (line.empty()) continue;
    const std::size_t eq = line.find('=');
    std::string reason;
    if (eq == std::string_view::npos) {
      reason = "expected key = value";
    } else if (ApplyPresetSetting(preset, line.substr(0, eq), line.substr(eq + 1), &reason,
                                  baseDir)) {
      continue;
    }
    return Fail(error, "line " + std::to_string(lineNumber) + ": " + reason);
  }
  return true;
}

bool ApplyPresetFile(PanelPreset& preset, const std::string& path, std::string* error) {
  const auto bytes = ReadFile(path, error);
  if (!bytes) return false;
  const std::string text(bytes->begin(), bytes->end());
  std::string reason;
  if (!ApplyPresetText(preset, text, &reason, fs::path(path).parent_path().string())) {
    return Fail(error, path + ": " + reason);
  }
  return true;
}

namespace {

// The FLASH: a whole image from a file, or the program area with the mirrored low pages and
// the starter area. `qfw` keeps a firmware file the program came from, for the ST.
bool FillFlash(const PanelPreset& preset, PanelMemory& memory,
               std::optional<firmware::FirmwareImage>& qfw, std::string* error) {
  const PanelConfig& c = preset.config;
  const ProgramSource& program = preset.program;
  memory.flash.assign(kFlashSize, 0xFF);
  if (!preset.flashFile.empty()) {
    const auto bytes = ReadFile(preset.flashFile, error);
    if (!bytes) return false;
    if (bytes->size() != kFlashSize) {
      Fail(error, preset.flashFile + " has " + std::to_string(bytes->size()) +
                      " bytes; a FLASH image has 524288");
      return false;
    }
    memory.flash = *bytes;
  } else {
    std::vector<std::uint8_t> area;
    switch (program.kind) {
      case ProgramKind::kSample: {
        firmware::IdentityFields identity = program.identity;
        if (!program.rawTypeSet) identity.rawType = RawTypeFor(c.panelType);
        area = MakeProgramArea(identity, program.seed);
        break;
      }
      case ProgramKind::kBlank:
        break;
      case ProgramKind::kGarbage: {
        area.resize(firmware::kMainImageFileSize);
        std::mt19937 rng(program.seed ^ 0x6A7BA6Eu);
        for (std::uint8_t& b : area) b = static_cast<std::uint8_t>(rng() >> 24);
        area[0x12000] = 0xFF;  // no signature can start here
        break;
      }
      case ProgramKind::kRaw: {
        const auto bytes = ReadFile(program.path, error);
        if (!bytes) return false;
        area = *bytes;
        break;
      }
      case ProgramKind::kQfw:
        qfw = LoadQfw(program.path, error);
        if (!qfw) return false;
        area.assign(qfw->MainImage.begin(), qfw->MainImage.begin() + firmware::kMainImageFileSize);
        break;
      case ProgramKind::kImage:
        area = program.bytes;
        break;
    }
    if (area.size() > kStarterBase) {
      Fail(error, "the program has " + std::to_string(area.size()) +
                      " bytes; at most 458752 fit below the starter");
      return false;
    }
    std::copy(area.begin(), area.end(), memory.flash.begin());
    if (const auto info = FlashKindInfoFor(c.flashKind); info && info->pageWrite) {
      std::copy_n(memory.flash.begin(), kMirrorLimit, memory.flash.begin() + kMirrorBase);
    }
    const std::vector<std::uint8_t> starter =
        BuildStarterArea(c.starterVersion, preset.starterLanguage, c.seed, preset.starterDamage);
    std::copy(starter.begin(), starter.end(), memory.flash.begin() + kStarterBase);
  }

  return true;
}

// The two settings areas: files, or generated bytes; then the patches and the block checks.
bool FillSettings(const PanelPreset& preset, PanelMemory& memory, std::string* error) {
  const PanelConfig& c = preset.config;
  bool anyFile = false;
  std::mt19937 rng(c.seed ^ 0x5E77u);
  for (int a = 0; a < 2; ++a) {
    std::vector<std::uint8_t>& area = memory.settings[a];
    if (!preset.settingsFiles[a].empty()) {
      const auto bytes = ReadFile(preset.settingsFiles[a], error);
      if (!bytes) return false;
      if (bytes->size() != kSettingsAreaSize) {
        Fail(error, preset.settingsFiles[a] + " has " + std::to_string(bytes->size()) +
                        " bytes; a settings area has 65536");
        return false;
      }
      area = *bytes;
      anyFile = true;
      continue;
    }
    area.resize(kSettingsAreaSize);
    for (std::uint8_t& b : area) {
      b = preset.settingsFill ? *preset.settingsFill : static_cast<std::uint8_t>(rng() >> 24);
    }
  }
  for (const SettingsPatch& patch : preset.settingsPatches) {
    if (patch.area < 1 || patch.area > 2 ||
        patch.address + patch.bytes.size() > memory.settings[patch.area - 1].size()) {
      Fail(error, "settings bytes outside area " + std::to_string(patch.area));
      return false;
    }
    std::copy(patch.bytes.begin(), patch.bytes.end(),
              memory.settings[patch.area - 1].begin() + patch.address);
  }
  if (preset.settingsChecks.value_or(!anyFile)) {
    for (int a = 0; a < 2; ++a) {
      if (const auto layout = SettingsLayoutFor(c.panelType, a + 1)) {
        RefreshSettingsChecks(memory.settings[a], *layout);
      }
    }
  }

  return true;
}

// The ST controller: its kind, versions and options, and its program memory.
bool FillSt(const PanelPreset& preset, PanelMemory& memory,
            std::optional<firmware::FirmwareImage>& qfw, std::string* error) {
  const PanelConfig& c = preset.config;
  const ProgramSource& program = preset.program;
  StState& st = memory.st;
  st.kind = preset.stKind.value_or(StKindForPanelType(c.panelType));
  st.starterVersion = preset.stStarterVersion;
  st.programVersion = preset.stReportedVersion;
  st.protection = preset.stProtection;
  st.optionsLocked = preset.stOptionsLocked;
  st.weakCell = preset.stWeakCell;
  const auto info = StKindInfoFor(st.kind);
  if (info) {
    switch (preset.stProgram) {
      case StProgramKind::kSample:
        st.memory = MakeStProgram(st.kind, preset.stProgramVersion, preset.fskPlus, preset.fskMinus,
                                  c.seed);
        break;
      case StProgramKind::kBlank:
        st.memory.assign(info->length, info->erased);
        break;
      case StProgramKind::kRaw: {
        const auto bytes = ReadFile(preset.stPath, error);
        if (!bytes) return false;
        st.memory = *bytes;
        break;
      }
      case StProgramKind::kQfw:
        if (!qfw && program.kind == ProgramKind::kQfw) qfw = LoadQfw(program.path, error);
        if (!qfw) {
          if (program.kind != ProgramKind::kQfw)
            Fail(error, "st_program = qfw needs program = qfw:FILE");
          return false;
        }
        if (qfw->StKind != st.kind) {
          Fail(error, std::string("the firmware file's ST section is of kind ") +
                          firmware::StKindName(qfw->StKind) + ", the panel's ST of kind " +
                          firmware::StKindName(st.kind));
          return false;
        }
        st.memory.assign(qfw->StProgram().begin(), qfw->StProgram().end());
        break;
      case StProgramKind::kImage:
        st.memory = preset.stBytes;
        break;
    }
    if (st.memory.size() != info->length) {
      Fail(error, "the ST program has " + std::to_string(st.memory.size()) + " bytes; kind " +
                      firmware::StKindName(st.kind) + " holds " + std::to_string(info->length));
      return false;
    }
    st.options = preset.stOptions;
    st.options.resize(info->optionCount, 0x00);
  }
  return true;
}

}  // namespace

std::optional<PanelMemory> BuildPanelMemory(const PanelPreset& preset, std::string* error) {
  PanelMemory memory;
  std::optional<firmware::FirmwareImage> qfw;
  if (!FillFlash(preset, memory, qfw, error) || !FillSettings(preset, memory, error) ||
      !FillSt(preset, memory, qfw, error)) {
    return std::nullopt;
  }
  return memory;
}

std::unique_ptr<PanelModel> BuildPanel(const PanelPreset& preset, std::string* error) {
  auto memory = BuildPanelMemory(preset, error);
  if (!memory) return nullptr;
  return std::make_unique<PanelModel>(preset.config, std::move(*memory));
}

bool DumpPanel(const PanelModel& panel, const std::string& dir, std::string* error) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return Fail(error, "cannot create " + dir + ": " + ec.message());
  const fs::path d(dir);
  const PanelConfig& c = panel.Config();
  if (!WriteFile(d / "flash.bin", panel.Flash(), error)) return false;
  if (!WriteFile(d / "settings1.bin", panel.Settings(1), error)) return false;
  if (!WriteFile(d / "settings2.bin", panel.Settings(2), error)) return false;
  const StState& st = panel.St();
  if (!st.memory.empty() && !WriteFile(d / "st.bin", st.memory, error)) return false;

  std::ostringstream s;
  s << "# Panel state written by the simulator; loads back as a preset.\n"
    << "# mode " << ModeName(panel.Mode()) << ", " << panel.RequestCount() << " requests heard, "
    << panel.Violations().size() << " violations\n"
    << "panel_type = " << int{c.panelType} << "\n"
    << "flash_kind = " << int{c.flashKind} << "\n"
    << "starter_version = " << HexByte(panel.StarterVersion()) << "\n"
    << "rebuilt_starter_version = " << HexByte(c.rebuiltStarterVersion) << "\n"
    << "listen_rate = " << panel.ListenRate() << "\n"
    << "fast_rate = " << (c.fastRate == 0 ? std::string("none") : std::to_string(c.fastRate))
    << "\n"
    << "token = " << BytesText(panel.Token()) << "\n"
    << "cts = " << CtsName(c.cts) << "\n"
    << "cts_delay_ms = " << c.ctsDelayMs << "\n"
    << "cts_pulse_ms = " << c.ctsPulseMs << "\n"
    << "boot_ms = " << c.bootMs << "\n"
    << "rearm_ms = " << c.rearmMs << "\n"
    << "start_in_program = " << (panel.Mode() == PanelMode::kProgram ? "yes" : "no") << "\n"
    << "wire_time = " << (c.wireTime ? "yes" : "no") << "\n"
    << "chip_times = " << (c.chipTimes ? "yes" : "no") << "\n"
    << "strict = " << (c.strict ? "yes" : "no") << "\n"
    << "seed = " << c.seed << "\n"
    << "flash = flash.bin\n"
    << "settings1 = settings1.bin\n"
    << "settings2 = settings2.bin\n"
    << "settings_checks = keep\n"
    << "st_kind = " << (st.kind == StKind::kNone ? "none" : firmware::StKindName(st.kind)) << "\n";
  if (!st.memory.empty()) s << "st_program = raw:st.bin\n";
  s << "st_starter_version = " << VersionSetting(st.starterVersion) << "\n";
  if (st.programVersion)
    s << "st_reported_version = " << VersionSetting(*st.programVersion) << "\n";
  if (!st.options.empty()) s << "st_options = " << BytesText(st.options) << "\n";
  s << "st_protection = " << HexByte(st.protection) << "\n";
  if (st.optionsLocked) s << "st_options_locked = yes\n";
  if (st.weakCell) s << "st_weak_cell = " << HexAddress(*st.weakCell) << "\n";
  if (!WriteText(d / "state.cfg", s.str(), error)) return false;

  std::ostringstream k;
  for (const KeypadText& t : panel.KeypadHistory()) {
    k << "#" << t.seq << (t.title ? " title" : "");
    if (t.cleared) k << " cleared";
    if (t.line1) k << " line1=\"" << *t.line1 << "\"";
    if (t.line2) k << " line2=\"" << *t.line2 << "\"";
    k << "\n";
  }
  if (!WriteText(d / "keypad.txt", k.str(), error)) return false;

  std::ostringstream v;
  for (const Violation& violation : panel.Violations())
    v << "#" << violation.seq << " " << violation.text << "\n";
  return WriteText(d / "violations.txt", v.str(), error);
}

}  // namespace korvex::sim
