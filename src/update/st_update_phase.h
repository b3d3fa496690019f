// Compares and updates the program of the panel's ST controller. Runs after the FLASH
// verification (or where it was passed over) and before the completion.
#pragma once

#include "update/run_context.h"

namespace korvex::update {

// kGoOn to the completion, kEndRun to end the run.
PhaseOutcome UpdateStProgram(Context& context);

}  // namespace korvex::update
