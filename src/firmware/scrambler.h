// The byte transformation of the main program image, on memory. Byte p of a stream (counted
// from the stream's base offset) is descrambled with ShiftTable[p mod 29] and
// MaskTable[p mod 227]; scrambling is the exact inverse.
#pragma once

#include <cstdint>
#include <span>

#include "firmware/scramble_key.h"

namespace korvex::firmware {

// Descrambles the bytes in place, starting with the given table positions; the positions
// advance once per byte and wrap (ShiftPos 0..28, MaskPos 0..226).
void DescrambleInPlace(std::span<std::uint8_t> data, std::uint16_t& shiftPos,
                       std::uint16_t& maskPos, const ScrambleKey& key);

// Descrambles / scrambles bytes whose first byte sits at stream position `position`.
void Descramble(std::span<std::uint8_t> data, std::uint64_t position,
                const ScrambleKey& key = ConfiguredKey());
void Scramble(std::span<std::uint8_t> data, std::uint64_t position,
              const ScrambleKey& key = ConfiguredKey());

}  // namespace korvex::firmware
