// One programming run (Program or Test, interactive or unattended), from the re-check of the
// firmware file to the restart of the panel. ProgramMode must be set before the call. The
// outcome is in the status panel, the message boxes and ExitCode.
#pragma once

#include "update/run_context.h"

namespace korvex::update {

void SOLANTAuniversal(Context& context, bool unattended);

}  // namespace korvex::update
