#include "update/panel_readout.h"

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <span>
#include <system_error>

#include "display/kv_status.h"
#include "firmware/identity.h"
#include "link/confirmed_reads.h"
#include "link/settings_commands.h"
#include "update/flash_layout.h"
#include "update/run_phases.h"

namespace korvex::update {

namespace {

constexpr const char* kOk = "   ok";
constexpr std::uint32_t kStoredSumAddress = kStarterAreaBase + 0x1FFC;

// Percent of `done` out of `total`, for KVprogress with maximum 0.
std::int32_t Percent(std::uint32_t done, std::uint32_t total) {
  return static_cast<std::int32_t>(static_cast<std::uint64_t>(done) * 100 / total);
}

bool ReadFlash(Context& context, std::vector<std::uint8_t>& flash) {
  display::TKVStatus& info = context.session.Info1;
  info.KVadd("FLASH reading");
  flash.assign(kFlashSize, 0);
  constexpr std::uint32_t kPages = kFlashSize / link::kFlashPageSize;
  const bool read = link::ReadConfirmedFlash(context.starter, 0, flash, [&info](std::size_t page) {
    info.KVprogress(Percent(static_cast<std::uint32_t>(page), kPages), 0, 1);
  });
  if (read) info.KVstatus(kOk, 0, display::kAttrPlain);
  return read;
}

bool ReadSettingsArea(Context& context, std::uint8_t area, std::vector<std::uint8_t>& bytes) {
  display::TKVStatus& info = context.session.Info1;
  info.KVadd("Settings " + std::to_string(area) + " reading");
  bytes.assign(kSettingsAreaSize, 0);
  for (std::uint32_t address = 0; address < kSettingsAreaSize; address += link::kSettingsChunk) {
    info.KVprogress(Percent(address, kSettingsAreaSize), 0, 1);
    const std::span<std::uint8_t> chunk(bytes.data() + address, link::kSettingsChunk);
    if (!link::ReadConfirmedSettings(context.starter, area, static_cast<std::uint16_t>(address),
                                     chunk.first<link::kSettingsChunk>())) {
      return false;
    }
  }
  info.KVstatus(kOk, 0, display::kAttrPlain);
  return true;
}

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

nlohmann::json SettingsFacts(std::uint8_t panelType, std::uint8_t area,
                             const std::vector<std::uint8_t>& bytes) {
  const auto protection = link::SettingsProtectionFor(panelType, area);
  nlohmann::json facts = {{"valid_blocks", nlohmann::json::array()},
                          {"invalid_blocks", nlohmann::json::array()}};
  if (!protection) return facts;
  const std::vector<bool> valid = ValidSettingsBlocks(panelType, area, bytes);
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const auto block = static_cast<std::uint32_t>(protection->base + i * link::kSettingsBlockSize);
    facts[valid[i] ? "valid_blocks" : "invalid_blocks"].push_back(Hex(block, 4));
  }
  return facts;
}

nlohmann::json PanelFacts(const Context& context, const PanelReadout& readout) {
  const link::StarterState& state = context.starter.State();
  const char* flashName = FlashKindName(state.FlashKind);
  return {
      {"flash_type", {{"code", state.FlashKind}, {"name", flashName ? flashName : "?"}}},
      {"panel_type", {{"code", state.PanelType}, {"name", PlainModelName(state.PanelType)}}},
      {"starter",
       {{"version", StarterVersionText(state.StarterVersion, context.StarterLanguage)},
        {"language", firmware::LanguageName(context.StarterLanguage)},
        {"area_sum_sound", StarterAreaSound(readout.flash)}}},
      {"program", {{"description", context.PanelDescription}}},
      {"settings",
       {{"area1", SettingsFacts(state.PanelType, 1, readout.settings[0])},
        {"area2", SettingsFacts(state.PanelType, 2, readout.settings[1])}}},
      {"read_ms", readout.elapsedMs},
  };
}

// Writes `bytes` to dir/name through a temporary file that is renamed when complete.
bool WriteWhole(const std::filesystem::path& dir, const std::string& name,
                std::span<const char> bytes, std::string& error) {
  const std::filesystem::path target = dir / name;
  const std::filesystem::path temporary = dir / ("." + name + ".partial");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      error = "cannot write " + target.string();
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    error = "cannot write " + target.string();
    return false;
  }
  return true;
}

std::span<const char> AsChars(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Reads everything and writes the files; false with the verdict set when either failed.
bool ReadAndStore(Context& context, const std::filesystem::path& dir) {
  PanelReadout readout;
  if (!ReadPanelMemories(context, readout)) return false;
  std::string error;
  if (!WriteReadoutFiles(context, readout, dir, error)) {
    context.session.Info1.KVadd("Saving read-out");
    EndWithError(context, "ERROR", shell::kExitNoConnection);
    context.session.ShowMessageBox(error + ". Check that the folder can be written.",
                                   shell::MessageKind::kError, true);
    return false;
  }
  return true;
}

}  // namespace

bool StarterAreaSound(const std::vector<std::uint8_t>& flash) {
  if (flash.size() < kFlashSize) return false;
  std::uint32_t stored = 0;
  for (int k = 3; k >= 0; --k) stored = stored << 8 | flash[kStoredSumAddress + k];
  return StarterAreaSum(std::span(flash).subspan(kStarterAreaBase, kStarterAreaSize)) == stored;
}

std::vector<bool> ValidSettingsBlocks(std::uint8_t panelType, std::uint8_t area,
                                      const std::vector<std::uint8_t>& settings) {
  std::vector<bool> valid;
  const auto protection = link::SettingsProtectionFor(panelType, area);
  if (!protection || settings.size() < kSettingsAreaSize) return valid;
  const link::SettingsProtection& p = *protection;
  for (std::uint32_t block = p.base; block < p.limit; block += link::kSettingsBlockSize) {
    const std::uint32_t end = std::min<std::uint32_t>(block + link::kSettingsBlockSize, p.limit);
    std::uint16_t sum = 0;
    for (std::uint32_t a = block; a < end; ++a) sum = static_cast<std::uint16_t>(sum + settings[a]);
    const std::uint32_t index = (block - p.base) / link::kSettingsBlockSize;
    const std::uint32_t sumAddress = p.check + 2 * index;
    const std::uint16_t stored =
        static_cast<std::uint16_t>(settings[sumAddress] | settings[sumAddress + 1] << 8);
    valid.push_back(settings[p.limit + index] == link::kSettingsMarkValue && stored == sum);
  }
  return valid;
}

bool WriteReadoutFiles(const Context& context, const PanelReadout& readout,
                       const std::filesystem::path& dir, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    error = "cannot create the folder " + dir.string();
    return false;
  }
  const std::string facts = PanelFacts(context, readout).dump(2) + "\n";
  return WriteWhole(dir, "flash.bin", AsChars(readout.flash), error) &&
         WriteWhole(dir, "settings1.bin", AsChars(readout.settings[0]), error) &&
         WriteWhole(dir, "settings2.bin", AsChars(readout.settings[1]), error) &&
         WriteWhole(dir, "panel.json", facts, error);
}

bool ReadPanelMemories(Context& context, PanelReadout& readout) {
  const std::uint32_t start = context.session.Time().TickMs();
  bool read = ReadFlash(context, readout.flash);
  for (std::uint8_t area = 1; read && area <= 2; ++area) {
    read = ReadSettingsArea(context, area, readout.settings[area - 1]);
  }
  readout.elapsedMs = context.session.Time().TickMs() - start;
  if (!read) EndWithNoConnection(context);
  return read;
}

void ReadOutPanel(Context& context, const std::filesystem::path& dir) {
  shell::Session& session = context.session;
  session.ProgramMode = false;  // no starter check: a read-out never writes
  if (!OpenChosenPort(context)) return;
  if (ConnectPhase(context) == PhaseOutcome::kEndRun || session.StopRequested ||
      IdentifyPhase(context) == PhaseOutcome::kEndRun || session.StopRequested) {
    session.ExitCode = shell::kExitNoConnection;
    return;
  }
  if (ReadAndStore(context, dir)) session.ExitCode = shell::kExitNothingWritten;
}

bool BackUpPanel(Context& context, const std::filesystem::path& dir) {
  if (!ReadAndStore(context, dir)) return false;
  context.session.Info1.KVadd("Back-up saved");
  context.session.Info1.KVstatus(kOk, 0, display::kAttrPlain);
  return true;
}

}  // namespace korvex::update
