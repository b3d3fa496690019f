// Replaces the panel's starter when the starter check finds it too old or damaged.
#pragma once

#include <cstdint>

#include "update/run_context.h"

namespace korvex::update {

// Results of a starter update.
inline constexpr std::uint8_t kStarterUpdateFailed = 0;    // a step failed after writing began
inline constexpr std::uint8_t kStarterUpdateReplaced = 1;  // identify the panel again
inline constexpr std::uint8_t kStarterUpdateDeclined = 2;  // image unsound, or operator said No

// The status shown when no updater exists for the panel's FLASH chip.
inline constexpr const char* kStarterUpdateNotAvailable = "Starter update not available";

// Runs the update; every result but kStarterUpdateReplaced ends the run.
std::uint8_t RunStarterUpdatePhase(Context& context);

}  // namespace korvex::update
