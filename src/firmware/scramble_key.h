// The key of the firmware file format: three byte tables that scramble the main program
// image. The build embeds one key (a test key unless configured otherwise); other keys can
// be made from 512 bytes for tests and tools.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace korvex::firmware {

inline constexpr std::size_t kSubstTableSize = 256;
inline constexpr std::size_t kShiftTableSize = 29;
inline constexpr std::size_t kMaskTableSize = 227;
inline constexpr std::size_t kScrambleKeySize = kSubstTableSize + kShiftTableSize + kMaskTableSize;

struct ScrambleKey {
  std::array<std::uint8_t, kSubstTableSize> SubstTable{};  // a permutation of 0..255
  std::array<std::uint8_t, kShiftTableSize> ShiftTable{};
  std::array<std::uint8_t, kMaskTableSize> MaskTable{};
  // SubstTable inverted: InverseSubst[SubstTable[b]] == b (used to scramble).
  std::array<std::uint8_t, kSubstTableSize> InverseSubst{};
};

// The key built into this program.
const ScrambleKey& ConfiguredKey();

// A key from its 512-byte form (SubstTable, ShiftTable, MaskTable in that order); nullopt when
// the size is wrong or the first 256 bytes are not a permutation.
std::optional<ScrambleKey> ScrambleKeyFromBytes(std::span<const std::uint8_t> bytes);

}  // namespace korvex::firmware
