// The three check values of a run of bytes, as the firmware file stores them for its program
// and as the panel's starter computes them over a FLASH block: a 16-bit sum from 0xB094, an
// exclusive-or from 0x7A and a nibble-swap chain from 0x3E.
#pragma once

#include <cstdint>
#include <span>

namespace korvex::firmware {

inline constexpr std::uint16_t kBlockSumSeed = 0xB094;
inline constexpr std::uint8_t kBlockXorSeed = 0x7A;
inline constexpr std::uint8_t kBlockChainSeed = 0x3E;

struct BlockCheckValues {
  std::uint16_t sum = kBlockSumSeed;
  std::uint8_t xorValue = kBlockXorSeed;
  std::uint8_t chain = kBlockChainSeed;

  bool operator==(const BlockCheckValues&) const = default;

  // Feeds more bytes; feeding a block in pieces gives the same values as feeding it whole.
  void Add(std::span<const std::uint8_t> bytes);
  void Add(std::uint8_t b) {
    sum = static_cast<std::uint16_t>(sum + b);
    xorValue = static_cast<std::uint8_t>(xorValue ^ b);
    const std::uint8_t t = static_cast<std::uint8_t>(b + chain);
    chain = static_cast<std::uint8_t>(((t & 0x0F) << 4) | (t >> 4));
  }
};

// The check values of a whole block, starting from the seeds.
BlockCheckValues BlockCheck(std::span<const std::uint8_t> bytes);

}  // namespace korvex::firmware
