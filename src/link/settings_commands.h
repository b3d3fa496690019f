// Starter commands for the panel's settings memory: two areas addressed by 16-bit addresses,
// read 64 bytes at a time and written 64 bytes or one byte at a time. Every 256-byte block of
// an area's protected range has a mark byte and a 16-bit sum at the end of the area, which
// are refreshed after bytes of the block changed. The commands themselves are members of
// Starter.
#pragma once

#include <cstdint>
#include <optional>

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

}  // namespace korvex::link
