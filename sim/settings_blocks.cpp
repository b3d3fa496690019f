#include "sim/settings_blocks.h"

#include <algorithm>

namespace korvex::sim {

std::optional<SettingsLayout> SettingsLayoutFor(int panelType, int area) {
  if (area != 1 && area != 2) return std::nullopt;
  switch (panelType) {
    case 0:
    case 1:
      return area == 1 ? SettingsLayout{0x2500, 0x5260, 0x52A0}
                       : SettingsLayout{0x5300, 0x60C0, 0x60E0};
    case 2:
    case 3:
    case 6:
    case 7:
      return area == 1 ? SettingsLayout{0x8000, 0xFE80, 0xFF00}
                       : SettingsLayout{0x8000, 0xBF40, 0xBF80};
    case 4:
    case 5:
      return area == 1 ? SettingsLayout{0x8000, 0xFE80, 0xFF00}
                       : SettingsLayout{0x8000, 0xDEE0, 0xDF40};
    case 8:
      return area == 1 ? SettingsLayout{0x8000, 0xFE80, 0xFF00}
                       : SettingsLayout{0x8000, 0xE000, 0xE060};
    default:
      return std::nullopt;
  }
}

std::uint16_t SettingsBlockSum(std::span<const std::uint8_t> area, const SettingsLayout& layout,
                               std::uint32_t block) {
  const std::uint32_t from = layout.base + 256u * block;
  const std::uint32_t to = std::min<std::uint32_t>(from + 256u, layout.limit);
  std::uint16_t sum = 0;
  for (std::uint32_t a = from; a < to && a < area.size(); ++a) {
    sum = static_cast<std::uint16_t>(sum + area[a]);
  }
  return sum;
}

void RefreshSettingsChecks(std::span<std::uint8_t> area, const SettingsLayout& layout) {
  if (area.size() < kSettingsAreaSize) return;
  for (std::uint32_t block = 0; block < layout.BlockCount(); ++block) {
    const std::uint16_t sum = SettingsBlockSum(area, layout, block);
    area[layout.MarkAddress(block)] = kSettingsMarkOk;
    area[layout.SumAddress(block)] = static_cast<std::uint8_t>(sum);
    area[layout.SumAddress(block) + 1] = static_cast<std::uint8_t>(sum >> 8);
  }
}

std::vector<SettingsBlockFault> FindSettingsBlockFaults(std::span<const std::uint8_t> area,
                                                        const SettingsLayout& layout) {
  std::vector<SettingsBlockFault> faults;
  if (area.size() < kSettingsAreaSize) return faults;
  for (std::uint32_t block = 0; block < layout.BlockCount(); ++block) {
    const std::uint16_t computed = SettingsBlockSum(area, layout, block);
    const std::uint8_t mark = area[layout.MarkAddress(block)];
    const auto stored = static_cast<std::uint16_t>(area[layout.SumAddress(block)] |
                                                   area[layout.SumAddress(block) + 1] << 8);
    if (mark != kSettingsMarkOk || stored != computed) {
      faults.push_back(
          {block, static_cast<std::uint16_t>(layout.base + 256u * block), mark, stored, computed});
    }
  }
  return faults;
}

}  // namespace korvex::sim
