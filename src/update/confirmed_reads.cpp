#include "update/confirmed_reads.h"

#include <algorithm>
#include <array>

namespace korvex::update {

bool ReadSettingsConfirmed(Context& context, std::uint8_t area, std::uint16_t address,
                           std::span<std::uint8_t, link::kSettingsChunk> data) {
  std::array<std::uint8_t, link::kSettingsChunk> first{};
  std::array<std::uint8_t, link::kSettingsChunk> second{};
  if (!context.starter.ReadSettings(area, address, first) ||
      !context.starter.ReadSettings(area, address, second)) {
    return false;
  }
  if (first != second) {
    context.starter.State().ReadingsDisagreed = true;
    return false;
  }
  std::copy(first.begin(), first.end(), data.begin());
  return true;
}

bool ReadSettingsByteConfirmed(Context& context, std::uint8_t area, std::uint16_t address,
                               std::uint8_t& value) {
  std::array<std::uint8_t, link::kSettingsChunk> data{};
  if (!ReadSettingsConfirmed(context, area, address, data)) return false;
  value = data[0];
  return true;
}

}  // namespace korvex::update
