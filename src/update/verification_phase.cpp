// Checking the panel's program area against the image block by block (by the check values
// of 512-byte blocks, or byte for byte with read-back verification); on a difference the first
// differing byte is located for the operator. A Test run consists of this comparison alone, and
// only when the panel holds the program the file describes.
#include <array>

#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "firmware/block_check.h"
#include "shell/util.h"
#include "update/block_comparison.h"
#include "update/flash_keypad.h"
#include "update/flash_layout.h"
#include "update/run_phases.h"

namespace korvex::update {

namespace {

// Where the verification pass ends when the upper area check follows it.
constexpr std::uint64_t kBlocksShareWithUpperArea = 94;
constexpr std::uint64_t kFullShare = 100;
constexpr int kAddressDigits = 5;
constexpr int kUpperAreaAddressDigits = 4;

void ShowHintLines(Context& context) {
  display::TKVStatus& info = context.session.Info1;
  info.KVadd("");
  if (context.session.ProgramMode) {
    info.KVadd("Programming error !!!");
    info.KVadd("Try again.");
  }
}

// Reports the first byte of block `block` that differs from the image.
void ReportMismatch(Context& context, std::uint32_t block) {
  shell::Session& session = context.session;
  bool found = false;
  std::uint32_t address = 0;
  for (std::uint32_t k = 0; k < link::kFlashBlockCheckSize && !found && !session.StopRequested;
       ++k) {
    std::uint8_t value = 0;
    if (!context.starter.ReadFlashByte(block + k, value)) break;
    if (value != context.image.MainImage[block + k]) {
      found = true;
      address = block + k;
    }
  }
  if (found) {
    const std::string hex = shell::HexText(address, kAddressDigits);
    ShowKeypadLine(context, "Error   @0x" + hex);
    EndWithError(context, ("ERROR @0x" + hex).c_str());
  } else {
    ShowKeypadLine(context, "Error  ");
    EndWithError(context, display::kVerdictError);
  }
  ShowHintLines(context);
}

PhaseOutcome CheckUpperArea(Context& context, KeypadProgress& keypad) {
  display::TKVStatus& info = context.session.Info1;
  const UpperAreaResult result = UpperAreaCheck(context, [&](int k) {
    const int percent =
        static_cast<int>(kBlocksShareWithUpperArea) + k * 6 / (kUpperAreaBlocks - 1);
    keypad.Show(context, "Verifying   ", percent);
    info.KVprogress(percent, 0, 1);
  });
  switch (result.kind) {
    case UpperAreaResult::Kind::kEqual:
      info.KVstatus(display::kVerdictOk, 0, display::kAttrPlain);
      return PhaseOutcome::kGoOn;
    case UpperAreaResult::Kind::kReadFailed:
      EndWithNoConnection(context);
      return PhaseOutcome::kEndRun;
    case UpperAreaResult::Kind::kDiffer:
      break;
  }
  const std::string hex =
      shell::HexText(result.blockIndex * link::kFlashBlockCheckSize, kUpperAreaAddressDigits);
  ShowKeypadLine(context, "Error   @0x6" + hex);
  EndWithError(context, ("ERROR @0x6" + hex).c_str());
  ShowHintLines(context);
  return PhaseOutcome::kEndRun;
}

// Ends a verification that the operator stopped: the percentage is blanked, nothing is
// claimed.
PhaseOutcome EndStoppedVerification(Context& context) {
  context.session.Info1.KVstatus("", 4, display::kAttrPlain);
  context.session.ExitCode = shell::kExitNoConnection;
  return PhaseOutcome::kEndRun;
}

}  // namespace

PhaseOutcome VerificationPhase(Context& context) {
  shell::Session& session = context.session;
  display::TKVStatus& info = session.Info1;

  // Nothing was written and nothing is to be compared.
  if (session.StOnlyRequested || context.ProgramsIdentical) return PhaseOutcome::kGoOn;
  // A Test run compares only a panel that holds the program the file describes.
  if (!session.ProgramMode && context.PanelDescription != context.image.FileDescription) {
    return PhaseOutcome::kEndRun;
  }

  const bool mirrored = MirrorsLowArea(context.starter.State().FlashKind);
  const std::uint64_t share = mirrored ? kBlocksShareWithUpperArea : kFullShare;
  KeypadProgress keypad(kVerifyingKeypadStep);
  bool mismatch = false;
  std::uint32_t block = 0;
  info.KVadd("Verification");
  for (; block < kProgramAreaSize && !session.StopRequested; block += link::kFlashBlockCheckSize) {
    const int percent = static_cast<int>((block * share + kProgramAreaSize / 2) / kProgramAreaSize);
    keypad.Show(context, "Verifying   ", percent);
    info.KVprogress(percent, 0, 1);
    const BlockComparison comparison = CompareProgramBlock(context, block);
    if (comparison == BlockComparison::kReadFailed) {
      if (session.StopRequested) return EndStoppedVerification(context);
      // The panel stopped answering: say so, as the other steps do.
      EndWithNoConnection(context);
      return PhaseOutcome::kEndRun;
    }
    if (comparison == BlockComparison::kDiffer) {
      mismatch = true;
      break;
    }
  }
  if (mismatch) {
    ReportMismatch(context, block);
    return PhaseOutcome::kEndRun;
  }
  // A pass cut short by the operator has not verified anything.
  if (session.StopRequested) return EndStoppedVerification(context);
  if (mirrored) return CheckUpperArea(context, keypad);
  info.KVstatus(display::kVerdictOk, 0, display::kAttrPlain);
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
