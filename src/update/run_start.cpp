// The start of a run: fresh run flags, the firmware file read and checked again (it may have
// changed on disk since it was chosen), and an open port.
#include <optional>

#include "firmware/open_file.h"
#include "link/usb_latency.h"
#include "update/run_phases.h"

namespace korvex::update {

PhaseOutcome StartRun(Context& context, bool unattended) {
  context.image.VarekVariant = false;
  context.PanelVarekVariant = false;
  context.ProgramsIdentical = false;
  context.OperatorConfirmed = false;
  context.BackUpMade = false;
  context.RunWrote = false;
  context.starter.State().ReadingsDisagreed = false;
  context.session.PortReady = false;
  context.UnattendedRun = unattended;

  // Sets the file's variant flag again when the file is accepted.
  if (!firmware::OpenFile(context.session, context.image, false)) return PhaseOutcome::kEndRun;
  return OpenChosenPort(context) ? PhaseOutcome::kGoOn : PhaseOutcome::kEndRun;
}

namespace {

// Tells the operator once per session when the port's USB adapter holds received bytes back
// (its latency timer above 1 ms), with the cost and the fix; the report takes the value.
void NoteAdapterLatency(Context& context) {
  shell::Session& session = context.session;
  const std::optional<link::AdapterLatency> latency = context.link.KVRS().AdapterLatencyOfPort();
  if (!latency) return;
  session.AdapterLatencyMs = latency->timerMs;
  if (latency->timerMs <= link::kFastLatencyMs || session.AdapterLatencyNoted) return;
  session.AdapterLatencyNoted = true;
  session.Op().ShowNotice(link::LatencyNote(latency->device, latency->timerMs));
}

}  // namespace

bool OpenChosenPort(Context& context) {
  shell::Session& session = context.session;
  session.PortReady = context.link.EnsurePortChosen(session.Op());
  const link::OpenResult& open = context.link.KVRS().LastOpenResult();
  // The operator choosing no port is no failure worth a box.
  if (!session.PortReady && !context.link.KVRS().SelectedPort().empty() && !open.Ok()) {
    session.ShowMessageBox(open.message, shell::MessageKind::kError, true);
  }
  if (session.PortReady) NoteAdapterLatency(context);
  return session.PortReady;
}

}  // namespace korvex::update
