#include "firmware/scrambler.h"

namespace korvex::firmware {

namespace {

std::uint16_t ShiftPosAt(std::uint64_t position) {
  return static_cast<std::uint16_t>(position % kShiftTableSize);
}
std::uint16_t MaskPosAt(std::uint64_t position) {
  return static_cast<std::uint16_t>(position % kMaskTableSize);
}

}  // namespace

void DescrambleInPlace(std::span<std::uint8_t> data, std::uint16_t& shiftPos,
                       std::uint16_t& maskPos, const ScrambleKey& key) {
  // Positions handed in from outside are brought into range rather than trusted.
  std::uint16_t shift = static_cast<std::uint16_t>(shiftPos % kShiftTableSize);
  std::uint16_t mask = static_cast<std::uint16_t>(maskPos % kMaskTableSize);
  for (std::uint8_t& b : data) {
    std::uint8_t s = key.SubstTable[b];
    s = static_cast<std::uint8_t>(s + 256u - key.ShiftTable[shift]);
    b = static_cast<std::uint8_t>(s ^ key.MaskTable[mask]);
    if (++shift == kShiftTableSize) shift = 0;
    if (++mask == kMaskTableSize) mask = 0;
  }
  shiftPos = shift;
  maskPos = mask;
}

void Descramble(std::span<std::uint8_t> data, std::uint64_t position, const ScrambleKey& key) {
  std::uint16_t shift = ShiftPosAt(position);
  std::uint16_t mask = MaskPosAt(position);
  DescrambleInPlace(data, shift, mask, key);
}

void Scramble(std::span<std::uint8_t> data, std::uint64_t position, const ScrambleKey& key) {
  std::uint16_t shift = ShiftPosAt(position);
  std::uint16_t mask = MaskPosAt(position);
  for (std::uint8_t& b : data) {
    const std::uint8_t s =
        static_cast<std::uint8_t>((b ^ key.MaskTable[mask]) + key.ShiftTable[shift]);
    b = key.InverseSubst[s];
    if (++shift == kShiftTableSize) shift = 0;
    if (++mask == kMaskTableSize) mask = 0;
  }
}

}  // namespace korvex::firmware
