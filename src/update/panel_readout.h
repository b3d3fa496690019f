// The read-out of a panel: its whole FLASH and both settings areas, every read confirmed,
// and the facts the identification learnt, for a service bench's copy of a panel and for the
// back-up a Program run makes before its first write. Nothing is written to the panel.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "update/run_context.h"

namespace korvex::update {

inline constexpr std::uint32_t kFlashSize = 0x80000;
inline constexpr std::uint32_t kSettingsAreaSize = 0x10000;

// What a read-out found in the panel.
struct PanelReadout {
  std::vector<std::uint8_t> flash;                    // kFlashSize bytes
  std::array<std::vector<std::uint8_t>, 2> settings;  // areas 1 and 2, kSettingsAreaSize each
  std::uint32_t elapsedMs = 0;                        // the reads alone
};

// Reads the FLASH and both settings areas of the panel the run is connected to and has
// identified, with progress lines. False when a block could not be confirmed or on Stop;
// the run's verdict and ExitCode 3 are then set (as a lost connection).
bool ReadPanelMemories(Context& context, PanelReadout& readout);

// Whether the starter area's stored sum (0x71FFC, least significant byte first) matches the
// sum over the area.
bool StarterAreaSound(const std::vector<std::uint8_t>& flash);

// Which protected 256-byte blocks of a settings area hold a valid mark and sum; empty for a
// panel type without a protection table.
std::vector<bool> ValidSettingsBlocks(std::uint8_t panelType, std::uint8_t area,
                                      const std::vector<std::uint8_t>& settings);

// Writes flash.bin, settings1.bin, settings2.bin and panel.json into `dir` (created when
// missing). Each file is written under a temporary name and renamed once complete, so a
// failure never leaves a whole-looking file. False with `error` set when a file could not
// be written.
bool WriteReadoutFiles(const Context& context, const PanelReadout& readout,
                       const std::filesystem::path& dir, std::string& error);

// The whole read-out operation of `korvex-cli dump`: port, connection and identification as
// a run makes them (no starter check), the reads and the files. ExitCode 5 on success, 2 for
// a port that cannot be opened, 3 for a read-out that failed, was stopped or could not be
// written.
void ReadOutPanel(Context& context, const std::filesystem::path& dir);

// The back-up of a Program run, made once before its first write when the session's
// options name a folder: the same reads and files. False (with the verdict and ExitCode 3)
// when it failed; the run then must not write.
bool BackUpPanel(Context& context, const std::filesystem::path& dir);

}  // namespace korvex::update
