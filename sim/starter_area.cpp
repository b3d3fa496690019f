#include "sim/starter_area.h"

#include <random>

namespace korvex::sim {

namespace {

constexpr std::uint32_t kSerialFrom = 0x10;  // panel serial data, outside the sum
constexpr std::uint32_t kSerialTo = 0x1C;
constexpr std::uint32_t kSumOffset = kStarterSumAddress - kStarterBase;
constexpr std::uint32_t kLanguageOffset = kStarterLanguageAddress - kStarterBase;
constexpr std::uint32_t kMajorOffset = kStarterMajorDigitAddress - kStarterBase;
constexpr std::uint32_t kMinorOffset = kStarterMinorDigitAddress - kStarterBase;
constexpr std::uint32_t kCodeEnd = 0x1F00;  // code fills the first 8 KB; the rest is erased

bool Covered(std::uint32_t offset) {
  const bool serial = offset >= kSerialFrom && offset < kSerialTo;
  const bool sum = offset >= kSumOffset && offset < kSumOffset + 4;
  return !serial && !sum;
}

}  // namespace

std::uint32_t StarterSum(std::span<const std::uint8_t> area) {
  std::uint32_t sum = kStarterSumSeed;
  for (std::uint32_t i = 0; i < area.size() && i < kStarterSize; ++i) {
    if (!Covered(i)) continue;
    sum += area[i];
    sum = (sum << 1) | (sum >> 31);
  }
  return sum;
}

std::uint32_t StoredStarterSum(std::span<const std::uint8_t> area) {
  if (area.size() < kSumOffset + 4) return 0;
  return static_cast<std::uint32_t>(area[kSumOffset]) |
         static_cast<std::uint32_t>(area[kSumOffset + 1]) << 8 |
         static_cast<std::uint32_t>(area[kSumOffset + 2]) << 16 |
         static_cast<std::uint32_t>(area[kSumOffset + 3]) << 24;
}

std::uint8_t StarterVersionFromDigits(std::span<const std::uint8_t> area) {
  if (area.size() <= kMinorOffset) return 0;
  return static_cast<std::uint8_t>(((area[kMajorOffset] - 0x30) << 4) |
                                   ((area[kMinorOffset] - 0x30) & 0xFF));
}

std::vector<std::uint8_t> BuildStarterArea(std::uint8_t version, std::uint8_t language,
                                           std::uint32_t seed, StarterDamage damage) {
  std::vector<std::uint8_t> area(kStarterSize, 0xFF);
  std::mt19937 rng(seed * 0x9E3779B9u + version);
  for (std::uint32_t i = 0; i < kCodeEnd; ++i) area[i] = static_cast<std::uint8_t>(rng() >> 24);
  // Reset vector and the serial block the panel keeps outside the sum.
  area[0] = 0x02;
  area[1] = 0x00;
  area[2] = 0x40;
  for (std::uint32_t i = kSerialFrom; i < kSerialTo; ++i) {
    area[i] = static_cast<std::uint8_t>(rng() >> 24);
  }
  area[kLanguageOffset] = language;
  area[kMajorOffset] = static_cast<std::uint8_t>(0x30 + (version >> 4));
  area[kMinorOffset] = static_cast<std::uint8_t>(0x30 + (version & 0x0F));
  if (damage == StarterDamage::kDigits) ++area[kMinorOffset];
  std::uint32_t sum = StarterSum(area);
  if (damage == StarterDamage::kSum) ++sum;
  for (int k = 0; k < 4; ++k) area[kSumOffset + k] = static_cast<std::uint8_t>(sum >> (8 * k));
  return area;
}

}  // namespace korvex::sim
