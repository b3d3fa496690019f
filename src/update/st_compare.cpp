// Whether the ST's program differs from the file's: by the version texts first; when they
// agree, by the ST's check of every 128-byte block. In service test mode Enter forces an
// update and Esc suppresses it during the block comparison. A differing program is written in
// a Program run, after a question only when the operator has not agreed to write yet.
#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "update/st_update_steps.h"

namespace korvex::update {

namespace {

constexpr std::uint8_t kBlockCheckReplyCount = 3;  // answer, check low, check high
constexpr int kBlankedVerdictWidth = 4;

std::uint16_t ReplyCheck(const std::vector<std::uint8_t>& reply) {
  return static_cast<std::uint16_t>(reply[1] | reply[2] << 8);
}

}  // namespace

std::optional<PhaseOutcome> CompareStProgram(StPhase& phase, const std::string& panelText,
                                             const std::string& fileText, StDifference& result) {
  shell::Session& session = phase.context.session;
  display::TKVStatus& info = session.Info1;
  result.newer = StTextGreater(fileText, panelText);
  result.differ = fileText != panelText;
  // A version the ST reports with a nibble above 9 does not read as a version: the ST's
  // program is taken as older and written without comparing contents.
  if (!StVersionWellFormed(panelText)) result.newer = true;
  if (result.newer || result.differ) return std::nullopt;

  session.StKeepKey = false;
  session.StForceKey = false;
  info.KVadd("Programs comparison");
  const StKindTraits& traits = phase.traits;
  const auto lastBlock = static_cast<std::int32_t>(traits.Blocks() - 1);
  for (std::uint32_t offset = 0; offset < traits.count; offset += kStBlockSize) {
    info.KVprogress(static_cast<std::int32_t>(offset / kStBlockSize), lastBlock, 0);
    const std::vector<std::uint8_t> request = StAddressedRequest(traits, kStBlockCheck, offset);
    std::vector<std::uint8_t> reply;
    if (!phase.Ask(request, kStShortWaitS, kBlockCheckReplyCount, reply)) {
      if (session.StopRequested) {
        info.KVstatus("", kBlankedVerdictWidth, display::kAttrPlain);
        return EndStoppedStPhase(phase.context);
      }
      return EndStReadFailed(phase.context);
    }
    if (ReplyCheck(reply) != StBlockCheck(phase.Block(offset))) result.differ = true;
    if (result.differ || session.StopRequested || session.StKeepKey || session.StForceKey) break;
  }
  // A comparison the operator stopped has not seen every block: it claims nothing.
  if (session.StopRequested) {
    info.KVstatus("", kBlankedVerdictWidth, display::kAttrPlain);
    return EndStoppedStPhase(phase.context);
  }
  if (session.StForceKey) result.differ = true;
  if (session.StKeepKey) result.differ = false;  // Esc wins over Enter
  info.KVstatus(result.differ ? "newer" : display::kVerdictOk, 0, display::kAttrPlain);
  return std::nullopt;
}

bool StUpdateConfirmed(Context& context) {
  // The operator is asked only when nothing else says to write: the main program was up to
  // date and the operator has not agreed to program in this run.
  if (context.UnattendedRun || context.OperatorConfirmed || !context.ProgramsIdentical) {
    return true;
  }
  return context.session.ShowMessageBox("Update ST program ?", shell::MessageKind::kConfirmation,
                                        false);
}

}  // namespace korvex::update
