// The end of a run that got through: the communication codes reset when the automatic
// mode asked for it, the restart of the panel with a wait until its program is up, the exit
// code, the service log line and the verdict for the operator. Also the Restart command.
#include <array>
#include <optional>
#include <string>

#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "update/comm_codes_table.h"
#include "update/flash_layout.h"
#include "update/run_phases.h"

namespace korvex::update {

namespace {

// The reset erases the upper area and marks its last page (0x6FF00).
constexpr std::uint32_t kCommCodesMarkPage =
    kUpperAreaBase + link::kFlashSectorSize - link::kFlashPageSize;
constexpr int kCtsSamples = 100;
// CTS on for this many samples in a row means the panel's program is up.
constexpr int kCtsOnSamples = 16;
constexpr std::uint16_t kRestartWaitMs = 11500;
// Each wait turn gives the processor back this long.
constexpr std::uint32_t kWaitTurnMs = 1;
constexpr std::uint16_t kSettleMs = 10;

// Erases sector 6, marks its last byte and carries out the table's settings writes.
PhaseOutcome ResetCommCodes(Context& context) {
  display::TKVStatus& info = context.session.Info1;
  link::StarterState& state = context.starter.State();

  info.KVadd("Communication codes restart");
  context.RunWrote = true;
  if (context.starter.EraseFlashSector(kUpperAreaSector) != link::WriteStatus::kDone) {
    EndWithError(context, display::kVerdictError);
    return PhaseOutcome::kEndRun;
  }
  std::array<std::uint8_t, link::kFlashPageSize> page{};
  page.fill(0xFF);
  page.back() = 0x00;
  if (context.starter.ProgramFlashPage(kCommCodesMarkPage, page) != link::WriteStatus::kDone) {
    EndWithError(context, display::kVerdictError);
    return PhaseOutcome::kEndRun;
  }
  state.SettingsWriteFailed = false;
  const std::optional<std::vector<CommCodesWrite>> writes = CommCodesWrites(state.PanelType);
  if (!writes) {
    EndWithError(context, display::kVerdictError);
    return PhaseOutcome::kEndRun;
  }
  const std::array<std::uint8_t, link::kSettingsChunk> zeros{};
  for (const CommCodesWrite& write : *writes) {
    // A failed write silences the ones after it.
    if (state.SettingsWriteFailed) break;
    if (write.zeroBlock) {
      context.starter.WriteSettings(kCommCodesSettingsArea, write.address, zeros);
    } else {
      context.starter.WriteSettingsString(kCommCodesSettingsArea, write.address, write.bytes);
    }
  }
  if (state.SettingsWriteFailed) {
    EndWithError(context, display::kVerdictError);
    return PhaseOutcome::kEndRun;
  }
  info.KVstatus(display::kVerdictOk, 0, display::kAttrPlain);
  return PhaseOutcome::kGoOn;
}

void ShowRestartVerdict(Context& context, bool restarted) {
  if (context.session.StopRequested) return;
  context.session.Info1.KVstatus(restarted ? display::kVerdictOk : display::kVerdictError, 0,
                                 restarted ? display::kAttrPlain : display::kAttrBoldRed);
}

// Restarts the panel and waits until its program is up: CTS, off in the starter, comes on
// for a while once the program runs and goes off again. Without that pattern the wait lasts
// its full length.
void RestartAndWait(Context& context, bool ctsWaitAllowed) {
  shell::Session& session = context.session;
  link::TKVRS& port = context.link.KVRS();

  session.Info1.KVadd("Restarting panel");
  int ctsOff = 0;
  for (int i = 0; i < kCtsSamples; ++i) {
    session.ProcessMessages();
    if (!port.RSgetCTS()) ++ctsOff;
  }
  const bool restarted = context.starter.RestartPanel();
  session.Op().ShowWaitDialog(true);

  const auto start = static_cast<std::uint16_t>(session.Time().TickMs());
  int ctsOn = 0;
  for (;;) {
    session.ProcessMessages();
    session.Time().SleepMs(kWaitTurnMs);
    if (port.RSgetCTS() && ctsWaitAllowed && ctsOff == kCtsSamples) {
      if (ctsOn < kCtsOnSamples) ++ctsOn;
    } else {
      if (ctsOn >= kCtsOnSamples) break;
      ctsOn = 0;
    }
    const auto elapsed =
        static_cast<std::uint16_t>(static_cast<std::uint16_t>(session.Time().TickMs()) - start);
    if (elapsed >= kRestartWaitMs || session.StopRequested) break;
  }
  context.link.PumpWait(kSettleMs);
  port.RSdone();
  session.Op().ShowWaitDialog(false);
  ShowRestartVerdict(context, restarted);
}

}  // namespace

PhaseOutcome CompletionPhase(Context& context) {
  shell::Session& session = context.session;
  const bool ctsWaitAllowed = !session.CommCodesResetRequested && !session.FskGiven;

  const char* finalChoice = nullptr;
  if (session.ProgramMode) {
    if (session.CommCodesResetRequested) {
      // Once per process, whatever comes of it.
      session.CommCodesResetRequested = false;
      if (ResetCommCodes(context) == PhaseOutcome::kEndRun) return PhaseOutcome::kEndRun;
    }
    RestartAndWait(context, ctsWaitAllowed);
    if (!context.UnattendedRun) finalChoice = "Updating ok.";
  } else {
    session.CommCodesResetRequested = false;
    finalChoice = "Comparison ok.";
  }

  if (context.FlashWritten) {
    session.ExitCode = shell::kExitWritten;
    session.WriteLog(context.PanelDescription + " -> " + context.image.FileDescription);
  } else {
    session.ExitCode = shell::kExitNothingWritten;
  }
  if (finalChoice) session.ShowMessageBox(finalChoice, shell::MessageKind::kInformation, true);
  return PhaseOutcome::kGoOn;
}

RestartOutcome StandaloneRestart(Context& context) {
  if (!OpenChosenPort(context)) return RestartOutcome::kNoPort;
  context.session.Info1.KVadd("Restarting panel");
  const bool restarted = context.starter.RestartPanel();
  context.link.KVRS().RSdone();
  ShowRestartVerdict(context, restarted);
  if (context.session.StopRequested) return RestartOutcome::kStopped;
  return restarted ? RestartOutcome::kRestarted : RestartOutcome::kNoAnswer;
}

}  // namespace korvex::update
