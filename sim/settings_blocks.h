// The panel's settings memory: two areas of 64 KB, and in each the protected range whose
// 256-byte blocks carry a mark byte and a 16-bit sum kept at the end of the area. The panel
// firmware trusts a block only when its mark is 0xFF and its sum matches; the PC refreshes
// both after changing bytes of a block.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace korvex::sim {

inline constexpr std::uint32_t kSettingsAreaSize = 0x10000;
inline constexpr std::uint8_t kSettingsMarkOk = 0xFF;

struct SettingsLayout {
  std::uint16_t base;   // first protected byte
  std::uint16_t limit;  // end of the protected bytes; the marks start here
  std::uint16_t check;  // the block sums start here, two bytes per block, low byte first

  std::uint32_t BlockCount() const { return (limit - base + 255u) / 256u; }
  std::uint32_t MarkAddress(std::uint32_t block) const { return limit + block; }
  std::uint32_t SumAddress(std::uint32_t block) const { return check + 2 * block; }
};

// The layout of area 1 or 2 for a panel type 0..8; nullopt for another type or area.
std::optional<SettingsLayout> SettingsLayoutFor(int panelType, int area);

// The sum of block `block` of an area: the 16-bit sum, from 0, of its bytes below the limit.
std::uint16_t SettingsBlockSum(std::span<const std::uint8_t> area, const SettingsLayout& layout,
                               std::uint32_t block);

// Writes the mark 0xFF and the right sum of every block.
void RefreshSettingsChecks(std::span<std::uint8_t> area, const SettingsLayout& layout);

struct SettingsBlockFault {
  std::uint32_t block;    // block index
  std::uint16_t address;  // block address
  std::uint8_t mark;      // stored mark
  std::uint16_t storedSum;
  std::uint16_t computedSum;
};

// The blocks whose mark is not 0xFF or whose stored sum differs from their bytes.
std::vector<SettingsBlockFault> FindSettingsBlockFaults(std::span<const std::uint8_t> area,
                                                        const SettingsLayout& layout);

}  // namespace korvex::sim
