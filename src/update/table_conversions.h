// The table-driven settings conversion steps. Each takes its addresses from the row of
// conversion_tables.h for the connected panel's type, writes through the settings commands
// and ends by clearing SettingsWriteFailed. The steps with a status line add "Settings format
// conversion", show their progress and end with display::kVerdictOk, or display::kVerdictError in
// bold red when a write failed. A step stops writing at its first failure: every later write would
// be silenced.
#pragma once

#include "display/verdict_texts.h"
#include "update/run_context.h"

namespace korvex::update {

// Zero bytes at the type's cleared fields (plain writes; the fields lie outside the
// protected range). No status line.
void ClearFields112(Context& context);
// Moves the selected objects' data from area 1 to area 2 (upgrade) or copies it back
// (downgrade). Panel types 0..7. No status line.
void MoveObjectData112(Context& context, bool upgrade);
// Fills the ten ranges of panel type 1: 0x00 for the upgrade; 0x20 in the first range and
// 0x99 in the others for the downgrade.
void Fill110(Context& context, bool upgrade);
// Clears 49 bytes of panel type 1.
void Clear114(Context& context);
// Expands each source byte's bits 1 and 0 into two tables of 0xFF / 0x00 bytes.
void ExpandFlags117(Context& context);
// Clears a few bytes, and one byte for each scanned byte equal to 0x13.
void Clear111(Context& context);
// Clears bit 0 of every zone byte that has it set. A failure ends the run: display::kVerdictError
// in bold red, the stop flag set and exit code 3 (kEndRun).
PhaseOutcome ClearZoneFlags119(Context& context);

}  // namespace korvex::update
