// Hook for the ST program update; the ST program is not handled yet, the run goes on.
#include "update/st_update_phase.h"

namespace korvex::update {

PhaseOutcome UpdateStProgram(Context& context) {
  (void)context;
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
