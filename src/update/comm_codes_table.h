// The settings writes that reset a panel's communication codes, per panel type: zero blocks
// of 64 bytes and short byte strings, all in settings area 1, in the order they are made.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvex::update {

inline constexpr std::uint8_t kCommCodesSettingsArea = 1;

struct CommCodesWrite {
  std::uint16_t address = 0;
  bool zeroBlock = false;  // 64 bytes 0x00 (WriteSettings); otherwise `bytes`
  std::string bytes;       // written one by one from address on (WriteSettingsString)

  bool operator==(const CommCodesWrite&) const = default;
};

// The writes for a panel type 0..8 in order; nullopt for another type.
std::optional<std::vector<CommCodesWrite>> CommCodesWrites(int panelType);

}  // namespace korvex::update
