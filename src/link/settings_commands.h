// Starter commands for the panel's settings memory: two areas addressed by 16-bit addresses,
// read 64 bytes at a time and written 64 bytes or one byte at a time. Every 256-byte block of
// an area's protected range has a mark byte and a 16-bit sum at the end of the area, which
// are refreshed after bytes of the block changed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "link/link.h"
#include "link/starter_state.h"

namespace korvex::link {

inline constexpr std::size_t kSettingsChunk = 64;
inline constexpr std::uint16_t kSettingsBlockSize = 256;
inline constexpr std::uint16_t kSettingsAttempts = 4;
inline constexpr std::uint16_t kReadSettingsBudgetMs = 750;
inline constexpr std::uint16_t kWriteSettingsBudgetMs = 1000;
inline constexpr int kSettingsFailureLimit = 3;  // give up at the fourth failure of a kind
inline constexpr std::uint8_t kSettingsMarkValue = 0xFF;

// The protected range of one settings area: blocks of 256 bytes from base up to (not
// including) limit; block i has its mark at limit + i and its sum at check + 2i (low byte)
// and check + 2i + 1 (high byte).
struct SettingsProtection {
  std::uint16_t base;
  std::uint16_t limit;
  std::uint16_t check;
  bool operator==(const SettingsProtection&) const = default;
};
// The protection of `area` (1 or 2) on panels of `panelType` (0..8); nullopt for others.
std::optional<SettingsProtection> SettingsProtectionFor(std::uint8_t panelType, std::uint8_t area);

// Reads the 64 bytes from address on; `data` is left unchanged on failure.
bool ReadSettings(Link& link, std::uint8_t area, std::uint16_t address,
                  std::span<std::uint8_t, kSettingsChunk> data);
// Reads one byte (the first of a 64-byte read).
bool ReadSettingsByte(Link& link, std::uint8_t area, std::uint16_t address, std::uint8_t& value);

// Writes 64 bytes. Sends nothing while state.SettingsWriteFailed is set; giving up (also on
// Stop) sets it.
void WriteSettings(Link& link, StarterState& state, std::uint8_t area, std::uint16_t address,
                   std::span<const std::uint8_t, kSettingsChunk> data);
// Writes one byte; as WriteSettings, but gives up only on the failure counts, not on Stop.
void WriteSettingsByte(Link& link, StarterState& state, std::uint8_t area, std::uint16_t address,
                       std::uint8_t value);
// Writes the bytes of `s` one by one from address on (addresses wrap at 16 bits).
void WriteSettingsString(Link& link, StarterState& state, std::uint8_t area, std::uint16_t address,
                         std::string_view s);

// Recomputes the sum of the protected block starting at `block` from the panel's bytes and
// writes its mark (0xFF) and sum. True when all four chunks were read twice alike; two readings
// that differ set state.ReadingsDisagreed and write nothing. A block address that is
// not the start of a block inside the protected range writes nothing and gives false; a panel
// type or area without a table entry shows "ERROR 1" or "ERROR 2" and gives false.
bool UpdateSettingsCheck(Link& link, StarterState& state, std::uint8_t area, std::uint16_t block);
// Writes one byte and refreshes the mark and sum of its block. An address outside the
// protected range has no mark or sum: the byte alone is written and the result is true.
bool WriteSettingsByteChecked(Link& link, StarterState& state, std::uint8_t area,
                              std::uint16_t address, std::uint8_t value);

}  // namespace korvex::link
