// Converts the panel's stored settings when the new program keeps them in another layout.
// Runs in a Program run after the last confirmation and before the erase. Each step is due
// when the versions of the program in the panel and of the file lie on different sides of
// its version boundary (and, for some, when the panel is of certain types); the steps run in
// a fixed order.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "update/run_context.h"

namespace korvex::update {

// The conversion steps in the order in which they run.
enum class ConversionStep {
  kOrvoTemperature,   // temperature settings of ORVO wireless devices (1.08 / 1.09)
  kClearedFields112,  // fields that 1.12 expects cleared
  kObjectMove112,     // object data moved between the areas (1.11 / 1.12)
  kFill110,           // ranges filled for 1.10 (or back for 1.09)
  kClearing114,       // bytes cleared for 1.14
  kFlagExpansion117,  // one flag byte expanded into two tables for 1.17
  kClearing111,       // bytes cleared for 1.11
  kZoneFlag119,       // a zone flag bit cleared for 1.19
};

struct PlannedStep {
  ConversionStep step;
  bool upgrade;  // false: the step converts back to the older layout
  bool operator==(const PlannedStep&) const = default;
};

// The steps due for a panel of `panelType` holding a program of `panelVersionText` when the
// file's program has `fileVersionText`, in running order. Versions compare by their first
// three characters as text ("108" for 1.08). Nothing is due when the program in the panel is
// unrecognised (a version text shorter than three characters). The 1.14 clearing is left out
// when the 1.10 fill runs, which already clears those bytes.
std::vector<PlannedStep> PlanConversions(std::uint8_t panelType, std::string_view panelVersionText,
                                         std::string_view fileVersionText);

// Runs the steps due for the connected panel and the file. kGoOn to erase and program,
// kEndRun to end the run (the operator declined to go on, the zone flags could not be
// converted, or the operator stopped).
PhaseOutcome ConvertSettings(Context& context);

}  // namespace korvex::update
