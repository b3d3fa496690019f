// The ST program phase: versions, the panel's FSK bytes carried into the file's program, the
// comparison, and the update when the ST's program differs. Panels without an ST go on at
// once. Every exchange with the ST is one pass-through request of the starter.
#include "update/st_update_phase.h"

#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "update/run_phases.h"
#include "update/st_update_steps.h"

namespace korvex::update {

bool StPhase::Ask(std::span<const std::uint8_t> request, std::uint8_t wait, std::uint8_t count,
                  std::vector<std::uint8_t>& reply, bool showProgress) {
  return context.starter.StCommand(request, wait, StAnswerTo(request[0]), reply, showProgress,
                                   count);
}

bool StPhase::AskDone(std::span<const std::uint8_t> request, std::uint8_t wait, bool showProgress) {
  std::vector<std::uint8_t> reply;
  return Ask(request, wait, 2, reply, showProgress) && reply.size() == 2 &&
         reply[1] == kStStatusDone;
}

bool StPhase::AskAcknowledged(std::span<const std::uint8_t> request) {
  std::vector<std::uint8_t> reply;
  return Ask(request, kStShortWaitS, 1, reply) && reply.size() == 1;
}

PhaseOutcome EndStoppedStPhase(Context& context) {
  context.session.ExitCode = shell::kExitNoConnection;
  return PhaseOutcome::kEndRun;
}

PhaseOutcome EndStReadFailed(Context& context) {
  if (context.session.StopRequested) return EndStoppedStPhase(context);
  EndWithError(context, display::kVerdictError, shell::kExitNoConnection);
  return PhaseOutcome::kEndRun;
}

PhaseOutcome UpdateStProgram(Context& context) {
  const firmware::StSectionKind kind = StKindForPanelType(context.starter.State().PanelType);
  const std::optional<StKindTraits> traits = StKindTraitsFor(kind);
  if (!traits) return PhaseOutcome::kGoOn;  // a panel without ST
  // Checked files of the panel's type always carry its kind; anything else would address the
  // ST in another kind's form.
  if (context.image.StKind != kind) {
    context.session.ShowMessageBox(kTypeMismatchText, shell::MessageKind::kError, true);
    return PhaseOutcome::kEndRun;
  }

  StPhase phase{
      context, *traits,
      std::span<std::uint8_t>(context.image.StImage).first(firmware::StSectionLength(kind))};
  std::string panelText;
  std::string fileText;
  if (auto end = ShowStVersions(phase, panelText, fileText)) return *end;
  if (context.session.StSkipRequested) return PhaseOutcome::kGoOn;
  if (auto end = CarryOverFsk(phase)) return *end;

  StDifference difference;
  if (auto end = CompareStProgram(phase, panelText, fileText, difference)) return *end;
  if (!difference.newer && !difference.differ) return PhaseOutcome::kGoOn;
  // A Test run reports the difference by the lines above and ends there.
  if (!context.session.ProgramMode) return PhaseOutcome::kEndRun;
  if (!StUpdateConfirmed(context)) return PhaseOutcome::kGoOn;
  return WriteStProgram(phase);
}

}  // namespace korvex::update
