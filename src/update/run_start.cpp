// The start of a run: fresh run flags, the firmware file read and checked again (it may have
// changed on disk since it was chosen), and an open port.
#include "firmware/open_file.h"
#include "update/run_phases.h"

namespace korvex::update {

PhaseOutcome StartRun(Context& context, bool unattended) {
  context.image.VarekVariant = false;
  context.PanelVarekVariant = false;
  context.ProgramsIdentical = false;
  context.OperatorConfirmed = false;
  context.RunWrote = false;
  context.starter.State().ReadingsDisagreed = false;
  context.session.PortReady = false;
  context.UnattendedRun = unattended;

  // Sets the file's variant flag again when the file is accepted.
  if (!firmware::OpenFile(context.session, context.image, false)) return PhaseOutcome::kEndRun;
  context.session.PortReady = context.link.EnsurePortChosen();
  return context.session.PortReady ? PhaseOutcome::kGoOn : PhaseOutcome::kEndRun;
}

}  // namespace korvex::update
