// Hook for the settings conversion; no conversion is made yet, the run goes on to the erase.
#include "update/settings_conversion.h"

namespace korvex::update {

PhaseOutcome ConvertSettings(Context& context) {
  (void)context;
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
