// Reads whose values are written back to the panel. A reply's check bytes let some two-bit
// errors through, so such a value is read twice and must come out the same; two readings
// that disagree mark the line as unreliable (StarterState::ReadingsDisagreed) and count as a
// failed read, so that nothing is written from them.
#pragma once

#include <cstdint>
#include <span>

#include "link/settings_commands.h"
#include "update/run_context.h"

namespace korvex::update {

// The 64 settings bytes from `address`, confirmed by a second read.
bool ReadSettingsConfirmed(Context& context, std::uint8_t area, std::uint16_t address,
                           std::span<std::uint8_t, link::kSettingsChunk> data);
// One settings byte, confirmed by a second read.
bool ReadSettingsByteConfirmed(Context& context, std::uint8_t area, std::uint16_t address,
                               std::uint8_t& value);

}  // namespace korvex::update
