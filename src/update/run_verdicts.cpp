// The ways a phase ends a run: a bold red verdict at the end of the current line and, for
// failures that have one, an exit code.
#include "display/kv_status.h"
#include "update/run_phases.h"

namespace korvex::update {

void EndWithError(Context& context, const char* text, std::int32_t exitCode) {
  context.session.Info1.KVstatus(text, 0, display::kAttrBoldRed);
  if (exitCode >= 0) context.session.ExitCode = exitCode;
}

void EndWithNoConnection(Context& context) {
  // After an operator stop the lost connection is expected and not worth a verdict.
  if (!context.session.StopRequested) {
    context.session.Info1.KVstatus("NO RS connection", 0, display::kAttrBoldRed);
  }
  context.session.ExitCode = shell::kExitNoConnection;
}

bool EndedOnDisagreement(Context& context) {
  if (!context.starter.State().ReadingsDisagreed) return false;
  EndWithNoConnection(context);
  return true;
}

void MarkFlashWritten(Context& context) {
  context.FlashWritten = true;
  context.RunWrote = true;
}

bool MirrorsLowArea(std::uint8_t flashKind) {
  return flashKind == 1 || flashKind == 4;
}

}  // namespace korvex::update
