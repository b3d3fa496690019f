#include "firmware/scramble_key.h"

#include <algorithm>

namespace korvex::firmware {

namespace {

constexpr std::array<std::uint8_t, kScrambleKeySize> kEmbeddedKey = {
#include "korvex/scramble_key.inc"
};

}  // namespace

std::optional<ScrambleKey> ScrambleKeyFromBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != kScrambleKeySize) return std::nullopt;
  ScrambleKey key;
  std::copy_n(bytes.begin(), kSubstTableSize, key.SubstTable.begin());
  std::copy_n(bytes.begin() + kSubstTableSize, kShiftTableSize, key.ShiftTable.begin());
  std::copy_n(bytes.begin() + kSubstTableSize + kShiftTableSize, kMaskTableSize,
              key.MaskTable.begin());
  std::array<bool, kSubstTableSize> seen{};
  for (std::size_t b = 0; b < kSubstTableSize; ++b) {
    const std::uint8_t s = key.SubstTable[b];
    if (seen[s]) return std::nullopt;
    seen[s] = true;
    key.InverseSubst[s] = static_cast<std::uint8_t>(b);
  }
  return key;
}

const ScrambleKey& ConfiguredKey() {
  // The configure step has already refused a key that is not a permutation.
  static const ScrambleKey key = *ScrambleKeyFromBytes(kEmbeddedKey);
  return key;
}

}  // namespace korvex::firmware
