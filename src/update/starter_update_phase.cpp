// Hook for the starter update; no updater is carried yet, so a needed update ends the run.
#include "update/starter_update_phase.h"

#include "update/run_phases.h"

namespace korvex::update {

std::uint8_t RunStarterUpdatePhase(Context& context) {
  EndWithError(context, kStarterUpdateNotAvailable, shell::kExitUpdateFailed);
  return kStarterUpdateFailed;
}

}  // namespace korvex::update
