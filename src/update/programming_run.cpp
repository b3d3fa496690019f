// The programming run: the phases in their order, each able to end the run. A run that the
// operator stopped ends at the next phase boundary with exit code 3, so that a stop is never
// reported as a completed run.
#include "update/programming_run.h"

#include "update/run_phases.h"
#include "update/settings_conversion.h"
#include "update/st_update_phase.h"

namespace korvex::update {

namespace {

// True when the run goes on after a phase with this outcome.
bool GoesOn(Context& context, PhaseOutcome outcome) {
  if (outcome == PhaseOutcome::kEndRun) return false;
  if (context.session.StopRequested) {
    context.session.ExitCode = shell::kExitNoConnection;
    return false;
  }
  return true;
}

void RunPhases(Context& context, bool unattended) {
  if (StartRun(context, unattended) == PhaseOutcome::kEndRun) return;
  if (!GoesOn(context, ConnectPhase(context))) return;
  if (!GoesOn(context, IdentifyPhase(context))) return;

  const PhaseOutcome compatibility = CompatibilityPhase(context);
  if (!GoesOn(context, compatibility)) return;
  if (compatibility == PhaseOutcome::kGoOn) {
    if (!GoesOn(context, ConvertSettings(context))) return;
    if (!GoesOn(context, EraseAndProgram(context))) return;
  }
  if (!GoesOn(context, VerificationPhase(context))) return;
  if (!GoesOn(context, UpdateStProgram(context))) return;
  CompletionPhase(context);
}

}  // namespace

void SOLANTAuniversal(Context& context, bool unattended) {
  RunPhases(context, unattended);
  // A run that changed the panel and then ended without a code of its own failed half way:
  // it must not read as "nothing was run".
  if (context.RunWrote && context.session.ExitCode == shell::kExitNone) {
    context.session.ExitCode = shell::kExitNoConnection;
  }
}

}  // namespace korvex::update
