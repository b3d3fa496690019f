// Converts the panel's stored settings when the new program needs another format. Runs in a
// Program run after the last confirmation and before the erase.
#pragma once

#include "update/run_context.h"

namespace korvex::update {

// kGoOn to erase and program, kEndRun to end the run.
PhaseOutcome ConvertSettings(Context& context);

}  // namespace korvex::update
