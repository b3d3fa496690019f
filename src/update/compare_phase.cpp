// Before anything is written: the keypads announce the run, the program in the panel is
// shown next to the program in the file, and the run is refused for another panel type,
// variant or version range. The programs are compared (by version text, and block by
// block when the versions are equal: by check values, or read back with read-back
// verification), an older program needs the operator's consent, and a
// last question guards the erase.
#include <algorithm>
#include <string>

#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "firmware/block_check.h"
#include "firmware/identity.h"
#include "shell/about.h"
#include "update/block_comparison.h"
#include "update/flash_layout.h"
#include "update/run_phases.h"

namespace korvex::update {

namespace {

constexpr const char* kOlderQuestion =
    "Selected program is older than panel program.\rProgram anyway ?";
// The share of the comparison's progress that the block comparison fills when the upper
// area check follows it.
constexpr std::int64_t kBlocksShareWithUpperArea = 94;
constexpr std::int64_t kFullShare = 100;
constexpr std::uint8_t kCurrentStarter = 0x61;

// Version texts compare byte by byte as unsigned values; a prefix is the smaller.
bool TextLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

std::string VersionNumber(const std::string& versionText) {
  return versionText.substr(0, 3);
}

enum class Comparison { kDone, kEndRun };

// Compares the programs; sets ProgramsIdentical.
Comparison ComparePrograms(Context& context) {
  shell::Session& session = context.session;
  display::TKVStatus& info = session.Info1;
  const link::StarterState& state = context.starter.State();
  const std::string& panelText = context.PanelVersionText;
  const std::string& fileText = context.image.FileVersionText;
  const bool recognised = context.PanelIdentity.recognised;
  const bool sameLanguage = context.PanelIdentity.languageCode == context.image.LanguageCode;

  info.KVadd("Programs comparison");
  bool identical = panelText == fileText && sameLanguage;
  bool newer =
      (panelText == fileText && !sameLanguage) || !recognised || TextLess(panelText, fileText);
  if (context.OperatorConfirmed) {
    identical = false;
    newer = true;
  }
  if (!newer && recognised && TextLess(fileText, panelText)) {
    info.KVstatus("older", 0, display::kAttrPlain);
    if (!context.OperatorConfirmed) {
      if (!context.UnattendedRun &&
          !session.ShowMessageBox(kOlderQuestion, shell::MessageKind::kWarning, false)) {
        return Comparison::kEndRun;
      }
      identical = false;
      if (!context.UnattendedRun) context.OperatorConfirmed = true;
    }
  }

  const bool mirrored = MirrorsLowArea(state.FlashKind);
  const std::int64_t share = mirrored ? kBlocksShareWithUpperArea : kFullShare;
  for (std::int64_t p = kProgramAreaSize - link::kFlashBlockCheckSize;
       identical && p >= 0 && !session.StopRequested; p -= link::kFlashBlockCheckSize) {
    const std::int64_t done = kProgramAreaSize - (p + link::kFlashBlockCheckSize);
    info.KVprogress(static_cast<std::int32_t>((done * share + 0x2FFFE) / kProgramAreaSize), 0, 1);
    const BlockComparison block = CompareProgramBlock(context, static_cast<std::uint32_t>(p));
    if (block == BlockComparison::kReadFailed) {
      EndWithNoConnection(context);
      return Comparison::kEndRun;
    }
    if (block == BlockComparison::kDiffer) {
      identical = false;
      newer = true;
    }
  }

  if (mirrored && identical) {
    const UpperAreaResult upper = UpperAreaCheck(context, [&info](int i) {
      info.KVprogress(i * 6 / (kUpperAreaBlocks - 1) + static_cast<int>(kBlocksShareWithUpperArea),
                      0, 1);
    });
    if (upper.kind == UpperAreaResult::Kind::kReadFailed) {
      EndWithNoConnection(context);
      return Comparison::kEndRun;
    }
    if (upper.kind == UpperAreaResult::Kind::kDiffer) {
      identical = false;
      newer = true;
    }
  }

  info.KVstatus(identical ? display::kVerdictOk : (newer ? "newer" : "older"), 0,
                display::kAttrPlain);
  context.ProgramsIdentical = identical;
  return Comparison::kDone;
}

}  // namespace

PhaseOutcome CompatibilityPhase(Context& context) {
  shell::Session& session = context.session;
  display::TKVStatus& info = session.Info1;
  const link::StarterState& state = context.starter.State();

  context.starter.ShowKeypadText(shell::kKeypadTitle, context.UnattendedRun ? "Express mode" : " ",
                                 true);

  // Both descriptions padded to one length, so that they line up at the right end.
  std::string panelLine = context.PanelDescription;
  std::string fileLine = context.image.FileDescription;
  const std::size_t width = std::max(panelLine.size(), fileLine.size());
  panelLine.resize(width, ' ');
  fileLine.resize(width, ' ');
  info.KVadd("Program in panel");
  info.KVstatus(panelLine, 0, display::kAttrPlain);
  info.KVadd("Program in file");
  info.KVstatus(fileLine, 0, display::kAttrPlain);

  if (!session.ProgramMode) return PhaseOutcome::kSkipToVerification;

  if (state.PanelType != context.image.PanelType) {
    session.ShowMessageBox(kTypeMismatchText, shell::MessageKind::kError, true);
    return PhaseOutcome::kEndRun;
  }
  const bool panelOutOfRange =
      context.PanelIdentity.recognised &&
      VersionNumber(context.PanelVersionText) > firmware::kHighestSupportedVersion;
  if (panelOutOfRange ||
      VersionNumber(context.image.FileVersionText) > firmware::kHighestSupportedVersion) {
    if (!session.StopRequested) {
      session.ShowMessageBox(firmware::kVersionRangeMessage, shell::MessageKind::kError, true);
    }
    return PhaseOutcome::kEndRun;
  }

  if (!session.StOnlyRequested) {
    if (ComparePrograms(context) == Comparison::kEndRun) return PhaseOutcome::kEndRun;
    if (context.ProgramsIdentical) return PhaseOutcome::kSkipToVerification;
  } else {
    return PhaseOutcome::kSkipToVerification;
  }

  if (state.StarterVersion < kCurrentStarter) {
    info.KVadd("");
    EndWithError(context, "Starter version < 6.1 !!!", shell::kExitUpdateFailed);
    return PhaseOutcome::kEndRun;
  }
  if (context.PanelVarekVariant != context.image.VarekVariant) {
    session.ShowMessageBox(kTypeMismatchText, shell::MessageKind::kError, true);
    return PhaseOutcome::kEndRun;
  }
  if (!context.UnattendedRun && !context.OperatorConfirmed &&
      !session.ShowMessageBox("Continue ?", shell::MessageKind::kConfirmation, false)) {
    return PhaseOutcome::kEndRun;
  }
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
