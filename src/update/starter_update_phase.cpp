// Replacing the panel's starter: the updater image for the panel's FLASH chip and family is
// written where the panel's program starts (0x00000) and again at 0x60000, the panel is
// restarted so that the updater runs, the updater is told to rebuild the starter, and the
// new starter is connected. The identification then runs again; the program area, which
// the updater overwrote in part, is written later in the run as usual.
#include "update/starter_update_phase.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>

#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "update/flash_layout.h"
#include "update/run_phases.h"
#include "update/updater_images.h"

namespace korvex::update {

namespace {

// The updater goes where the program starts and again into the upper area.
constexpr std::uint8_t kFirstUpdaterSector = 0;
constexpr int kUpdaterPages = static_cast<int>(kUpdaterImageSize / link::kFlashPageSize);

// Pauses: after the first question, and after the restart before the updater is addressed.
constexpr std::uint16_t kBeforeRestartMs = 750;
constexpr std::uint16_t kAfterRestartMs = 250;
// The updater is asked to rebuild the starter this often at most; the new starter is then
// connected this often at most.
constexpr int kRunUpdateRequests = 17;
constexpr int kNewStarterConnects = 49;

constexpr const char* kUpdateQuestion =
    "Update starter ?\n\nIf you want to press 'Yes', make sure that there will be\n"
    "no interrupt in AC and DC panel supply.";
constexpr const char* kManyOutputsWarning =
    "For the updating time\nOUT1..OUT8, +KPD, +EX1 and +EX2 outputs will be switched off.\n\n"
    "Continue ?";
constexpr const char* kTwoOutputsWarning =
    "For the updating time\nOUT1 and OUT2 outputs will be switched off.\n\nContinue ?";
constexpr const char* kTryAgain = "Errors - try again.";
constexpr const char* kStarterError = "STARTER ERROR";

using Page = std::span<const std::uint8_t, link::kFlashPageSize>;

// Panels of types 0, 1, 4 and 5 have two switched outputs; the others have eight and more.
const char* OutputsWarning(std::uint8_t panelType) {
  switch (panelType) {
    case 0:
    case 1:
    case 4:
    case 5:
      return kTwoOutputsWarning;
    default:
      return kManyOutputsWarning;
  }
}

bool Confirmed(Context& context, const char* question) {
  return context.UnattendedRun ||
         context.session.ShowMessageBox(question, shell::MessageKind::kConfirmation, false);
}

// Erases the two sectors and writes the working copy into both. False when a write failed;
// the line then carries the verdict and the exit code is set where the failure has one.
bool LoadUpdater(Context& context, std::span<const std::uint8_t> copy) {
  display::TKVStatus& info = context.session.Info1;
  for (const std::uint8_t sector : {kFirstUpdaterSector, kUpperAreaSector}) {
    const link::WriteStatus status = context.starter.EraseFlashSector(sector);
    if (status == link::WriteStatus::kDone) continue;
    // A starter that no longer answers is a failed starter request, whatever the verdict.
    EndWithError(context, display::kVerdictError,
                 status == link::WriteStatus::kNoReply ? shell::kExitNoConnection : -1);
    return false;
  }
  for (int i = 0; i < kUpdaterPages; ++i) {
    info.KVprogress(i, kUpdaterPages - 1, 1);
    const auto offset = static_cast<std::uint32_t>(i * link::kFlashPageSize);
    const Page page(copy.subspan(offset, link::kFlashPageSize));
    link::WriteStatus status = context.starter.ProgramFlashPage(offset, page);
    if (status == link::WriteStatus::kDone) {
      status = context.starter.ProgramFlashPage(kUpperAreaBase + offset, page);
    }
    if (status == link::WriteStatus::kNoReply) {
      EndWithNoConnection(context);
      return false;
    }
    if (status == link::WriteStatus::kRefused) {
      EndWithError(context, display::kVerdictError);
      return false;
    }
  }
  return true;
}

// Restarts the panel into the updater, has it rebuild the starter and connects the new
// starter at 9600 bps. True when the new starter answers.
bool RebuildStarter(Context& context) {
  shell::Session& session = context.session;
  link::Link& link = context.link;
  // A panel whose starter cannot be reached for the restart never ran the updater: the old
  // starter is still in place, so nothing was replaced.
  if (!context.starter.RestartPanel()) return false;

  link.PumpWait(kAfterRestartMs);
  // One receive turn takes up what is left of the restart's reply; the updater and the new
  // starter both listen at 9600 bps.
  (void)link.ReceiveReply(0, false);
  link.SetRateIndex(0);
  // A port that cannot be reopened shows as a starter that does not answer below.
  (void)link.SetLinkRate();

  bool acknowledged = false;
  for (int i = 0; i < kRunUpdateRequests && !acknowledged && !session.StopRequested; ++i) {
    acknowledged = context.starter.RunStarterUpdate();
  }

  // The new starter is sought even when the updater never acknowledged: a lost
  // acknowledgement does not stop the rebuild. The replacement still counts as failed.
  bool connected = false;
  for (int i = 0; i < kNewStarterConnects && !connected && !session.StopRequested; ++i) {
    connected = context.starter.ConnectStarter() == link::ConnectResult::kConnected;
  }
  return acknowledged && connected;
}

}  // namespace

std::uint8_t RunStarterUpdatePhase(Context& context) {
  shell::Session& session = context.session;
  display::TKVStatus& info = session.Info1;
  const link::StarterState& state = context.starter.State();

  const std::optional<std::size_t> index = UpdaterImageIndex(state.FlashKind, state.PanelType);
  if (!index) {
    // No updater exists for this chip: the panel cannot be programmed by this tool.
    EndWithError(context, kStarterUpdateNotAvailable, shell::kExitUpdateFailed);
    return kStarterUpdateFailed;
  }
  // OperatorConfirmed is set during the identification only by a replacement. A starter
  // that still needs replacing after that was not rebuilt right; replacing it again would
  // write the FLASH over and over without end.
  if (context.OperatorConfirmed) {
    info.KVadd("");
    EndWithError(context, kStarterError, shell::kExitUpdateFailed);
    return kStarterUpdateFailed;
  }

  std::array<std::uint8_t, kUpdaterImageSize> copy{};
  const std::span<const std::uint8_t> image = UpdaterImageAt(context.UpdaterImages, *index);
  std::copy(image.begin(), image.end(), copy.begin());
  if (image.empty() || !UpdaterImageSound(copy)) {
    info.KVadd("");
    EndWithError(context, kStarterError);
    return kStarterUpdateDeclined;
  }

  MarkFlashWritten(context);
  context.StarterWritingBegan = true;
  info.KVadd("Starter updater loading");
  if (!LoadUpdater(context, copy)) return kStarterUpdateFailed;

  if (!Confirmed(context, kUpdateQuestion)) return kStarterUpdateDeclined;
  context.link.PumpWait(kBeforeRestartMs);
  if (!Confirmed(context, OutputsWarning(state.PanelType))) return kStarterUpdateDeclined;

  const bool ok = RebuildStarter(context);
  std::uint8_t result = kStarterUpdateReplaced;
  if (ok) {
    context.OperatorConfirmed = true;
  } else {
    session.ExitCode = shell::kExitUpdateFailed;
    if (!context.UnattendedRun) {
      session.ShowMessageBox(kTryAgain, shell::MessageKind::kInformation, true);
    }
    result = kStarterUpdateFailed;
  }
  // The line reports the loading of the updater, which succeeded either way.
  info.KVstatus(display::kVerdictOk, 0, display::kAttrPlain);
  return result;
}

}  // namespace korvex::update
