// A deterministic program image with the shape of a real one, for demonstrations and tests:
// code-like bytes, erased (0xFF) pages, text tables, and the low 8 KB of every 64 KB bank
// repeating bank 0's (the panel's short page-program form copies from sector 0). The area
// of the identity header (0x12000..0x120FF) is left erased for the packer to fill.
#pragma once

#include <cstdint>
#include <vector>

namespace korvex::firmware {

inline constexpr std::uint32_t kBankSize = 0x10000;
inline constexpr std::uint32_t kRepeatedLowSize = 0x2000;  // low 8 KB repeated in banks 1..5

// kProgramSize bytes; the same seed always gives the same bytes.
std::vector<std::uint8_t> MakeSampleProgram(std::uint32_t seed);

}  // namespace korvex::firmware
