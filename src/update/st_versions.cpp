// The versions of the ST's starter, of its program and of the program in the file, and the
// panel's two FSK bytes, which the new program must keep: they are read from the ST (or taken
// from the command line), written into the file's ST program and its checksum is refreshed.
// In a Program run the program version (which decides the update) and the FSK bytes (which
// are written) are asked twice: a reply's check bytes let some two-bit errors through.
#include <array>

#include "display/kv_status.h"
#include "firmware/st_section.h"
#include "shell/util.h"
#include "update/run_phases.h"
#include "update/st_update_steps.h"

namespace korvex::update {

namespace {

constexpr std::uint8_t kFskReadWaitS = kStShortWaitS;
constexpr std::uint32_t kVersionRecordLength = 7;

enum class Confirmation { kConfirmed, kFailed, kDisagrees };

// Asks once more and compares the replies; only a Program run writes from them.
Confirmation ConfirmReply(StPhase& phase, std::span<const std::uint8_t> request, std::uint8_t wait,
                          std::uint8_t count, const std::vector<std::uint8_t>& reply) {
  if (!phase.context.session.ProgramMode) return Confirmation::kConfirmed;
  std::vector<std::uint8_t> again;
  if (!phase.Ask(request, wait, count, again)) return Confirmation::kFailed;
  return again == reply ? Confirmation::kConfirmed : Confirmation::kDisagrees;
}

// A request whose reply decides a write: asked twice when that matters. The end of the run
// when the ST does not answer or the two replies disagree.
std::optional<PhaseOutcome> AskTrusted(StPhase& phase, std::span<const std::uint8_t> request,
                                       std::uint8_t wait, std::uint8_t count, bool confirm,
                                       std::vector<std::uint8_t>& reply) {
  if (!phase.Ask(request, wait, count, reply)) return EndStReadFailed(phase.context);
  if (!confirm) return std::nullopt;
  switch (ConfirmReply(phase, request, wait, count, reply)) {
    case Confirmation::kConfirmed:
      return std::nullopt;
    case Confirmation::kFailed:
      return EndStReadFailed(phase.context);
    case Confirmation::kDisagrees:
      break;
  }
  EndWithNoConnection(phase.context);
  return PhaseOutcome::kEndRun;
}

// One version line: the text of the reply, or the end of the run.
std::optional<PhaseOutcome> ReadVersion(StPhase& phase, const char* caption, std::uint8_t request,
                                        bool confirm, std::string& text) {
  display::TKVStatus& info = phase.context.session.Info1;
  info.KVadd(caption);
  const std::array<std::uint8_t, 1> command{request};
  std::vector<std::uint8_t> reply;
  if (auto end = AskTrusted(phase, command, kStShortWaitS, kStVersionReplyCount, confirm, reply)) {
    return end;
  }
  text = StReplyVersionText(reply);
  info.KVstatus(text, 0, display::kAttrPlain);
  return std::nullopt;
}

bool FskValid(std::uint8_t value) {
  return value <= kFskLimit;
}

}  // namespace

std::optional<PhaseOutcome> ShowStVersions(StPhase& phase, std::string& panelText,
                                           std::string& fileText) {
  std::string starterText;
  if (auto end = ReadVersion(phase, "ST starter version", kStStarterVersion, false, starterText)) {
    return end;
  }
  if (auto end = ReadVersion(phase, "ST program", kStProgramVersion, true, panelText)) return end;

  display::TKVStatus& info = phase.context.session.Info1;
  info.KVadd("ST program in file");
  fileText = StFileVersionText(std::span<const std::uint8_t>(phase.program)
                                   .subspan(phase.traits.versionOffset, kVersionRecordLength));
  info.KVstatus(fileText, 0, display::kAttrPlain);
  return std::nullopt;
}

std::optional<PhaseOutcome> CarryOverFsk(StPhase& phase) {
  if (!phase.traits.hasFsk) return std::nullopt;
  shell::Session& session = phase.context.session;
  if (!session.FskGiven) {
    std::vector<std::uint8_t> reply;
    if (auto end = AskTrusted(phase, phase.traits.fskRequest, kFskReadWaitS,
                              phase.traits.fskReplyCount, true, reply)) {
      return end;
    }
    session.FskPlus = reply[phase.traits.fskReplyIndex];
    session.FskMinus = reply[phase.traits.fskReplyIndex + 1];
  }
  // The same limit holds for bytes given on the command line (the command line refuses
  // larger ones already).
  if (!FskValid(session.FskPlus) || !FskValid(session.FskMinus)) {
    session.FskPlus = kFskPlusDefault;
    session.FskMinus = kFskMinusDefault;
  }
  phase.program[phase.traits.fskOffset] = session.FskPlus;
  phase.program[phase.traits.fskOffset + 1] = session.FskMinus;
  if (session.ServiceTestMode()) {
    session.Info1.KVadd("+FSK = 0x" + shell::HexText(session.FskPlus, 2));
    session.Info1.KVadd("-FSK = 0x" + shell::HexText(session.FskMinus, 2));
  }
  firmware::RefreshStCheck(phase.context.image);
  return std::nullopt;
}

}  // namespace korvex::update
