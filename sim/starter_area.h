// The starter's 64 KB at the top of the FLASH: its code, the language and version digits it
// keeps near 0x71FFA, and the 32-bit sum over the area that the PC recomputes to decide
// whether the starter is sound.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace korvex::sim {

inline constexpr std::uint32_t kStarterBase = 0x70000;
inline constexpr std::uint32_t kStarterSize = 0x10000;
inline constexpr std::uint32_t kStarterLanguageAddress = 0x71FF9;
inline constexpr std::uint32_t kStarterMajorDigitAddress = 0x71FFA;
inline constexpr std::uint32_t kStarterMinorDigitAddress = 0x71FFB;
inline constexpr std::uint32_t kStarterSumAddress = 0x71FFC;  // 4 bytes, low byte first
inline constexpr std::uint32_t kStarterSumSeed = 2000;

// How a generated starter area is spoiled, for panels whose starter must be replaced.
enum class StarterDamage {
  kNone,
  kSum,     // the stored sum is off by one
  kDigits,  // the minor version digit does not give the starter's version
};

// The sum of a 64 KB starter area: from 2000, every byte outside offsets 0x10..0x1B and
// 0x1FFC..0x1FFF is added (modulo 2^32) and the sum is then rotated left by one bit.
std::uint32_t StarterSum(std::span<const std::uint8_t> area);

// The sum stored in an area (offset 0x1FFC, low byte first).
std::uint32_t StoredStarterSum(std::span<const std::uint8_t> area);

// The version the two digits of an area give: (first - '0') * 16 + (second - '0'), modulo 256.
std::uint8_t StarterVersionFromDigits(std::span<const std::uint8_t> area);

// A starter area of the given version (0x61 is 6.1) and language code: code-like bytes that
// depend on the version and seed, the digits, the language, and the right stored sum unless
// `damage` says otherwise.
std::vector<std::uint8_t> BuildStarterArea(std::uint8_t version, std::uint8_t language,
                                           std::uint32_t seed,
                                           StarterDamage damage = StarterDamage::kNone);

}  // namespace korvex::sim
