// Writing the file's program into the ST: unlock; kind A opens its programming session,
// kinds B and C get their protection and option bytes; erase (up to a minute, shown as
// progress); blank check; programming in 128-byte blocks, leaving out blocks that are erased
// throughout; kind A closes its session; verification of every block by the ST's check.
// Once the update has begun its failure is the failure of the update: exit code 4.
#include <algorithm>
#include <array>

#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "update/run_phases.h"
#include "update/st_update_steps.h"

namespace korvex::update {

namespace {

constexpr int kBlockVerdictWidth = 4;
constexpr std::uint8_t kBlockCheckReplyCount = 3;
const char* const kOk = display::kVerdictOk;

PhaseOutcome EndUpdateFailed(Context& context, int width = 0) {
  context.session.Info1.KVstatus(display::kVerdictError, width, display::kAttrBoldRed);
  context.session.ExitCode = shell::kExitUpdateFailed;
  return PhaseOutcome::kEndRun;
}

bool Unlock(StPhase& phase) {
  std::array<std::uint8_t, 1 + kStUnlockCode.size()> request{kStUnlock};
  std::copy(kStUnlockCode.begin(), kStUnlockCode.end(), request.begin() + 1);
  return phase.AskDone(request, kStShortWaitS);
}

// Kind A: opens (0xFF) or closes (0x00) the programming session; the ST then needs a pause.
bool ProgrammingSession(StPhase& phase, std::uint8_t parameter) {
  const std::array<std::uint8_t, 2> request{kStSession, parameter};
  if (!phase.AskAcknowledged(request)) return false;
  phase.context.link.PumpWait(kStSessionPauseMs);
  return true;
}

enum class OptionsResult { kRight, kFailed, kStopped };

// Kinds B and C: reads the protection and option bytes and writes what is not yet right,
// until they read back right.
OptionsResult SetOptions(StPhase& phase) {
  shell::Session& session = phase.context.session;
  display::TKVStatus& info = session.Info1;
  const StKindTraits& traits = phase.traits;
  const std::array<std::uint8_t, 1> read{kStReadOptions};
  std::vector<std::uint8_t> right{StAnswerTo(kStReadOptions), kStProtected};
  right.insert(right.end(), traits.options.begin(), traits.options.end());

  for (int pass = 0; pass < kStOptionPassLimit; ++pass) {
    std::vector<std::uint8_t> r;
    if (!phase.Ask(read, kStShortWaitS, traits.optionReplyCount, r)) {
      return session.StopRequested ? OptionsResult::kStopped : OptionsResult::kFailed;
    }
    if (r == right) return OptionsResult::kRight;
    if (r[1] != kStProtected) {
      const std::array<std::uint8_t, 2> protect{kStProtect, kStProtected};
      if (!phase.AskAcknowledged(protect)) break;
      info.KVstatus("protected", 0, display::kAttrPlain);
      info.KVadd("");
    }
    if (!std::equal(traits.options.begin(), traits.options.end(), r.begin() + 2)) {
      std::vector<std::uint8_t> write{traits.optionWriteRequest};
      write.insert(write.end(), traits.options.begin(), traits.options.end());
      if (!phase.AskAcknowledged(write)) break;
      info.KVstatus("written", 0, display::kAttrPlain);
      info.KVadd("");
    }
    if (session.StopRequested) return OptionsResult::kStopped;
  }
  return session.StopRequested ? OptionsResult::kStopped : OptionsResult::kFailed;
}

// Walks the section block by block (by offset), showing the block number as progress, until
// `step` fails or the operator stops; false when a step failed.
template <typename Step>
bool EachBlock(StPhase& phase, Step step) {
  shell::Session& session = phase.context.session;
  const StKindTraits& traits = phase.traits;
  const auto lastBlock = static_cast<std::int32_t>(traits.Blocks() - 1);
  for (std::uint32_t offset = 0; offset < traits.count && !session.StopRequested;
       offset += kStBlockSize) {
    session.Info1.KVprogress(static_cast<std::int32_t>(offset / kStBlockSize), lastBlock, 0);
    if (!step(offset)) return false;
  }
  return true;
}

// Programs every block that is not erased throughout; kind A then closes its session.
bool ProgramBlocks(StPhase& phase) {
  const StKindTraits& traits = phase.traits;
  const bool programmed = EachBlock(phase, [&](std::uint32_t offset) {
    const std::span<const std::uint8_t> block = phase.Block(offset);
    if (StBlockErased(traits, block)) return true;  // the erase left it so already
    const std::vector<std::uint8_t> request =
        StAddressedRequest(traits, kStProgramBlock, offset, block);
    return phase.AskDone(request, kStShortWaitS);
  });
  if (!programmed) return false;
  if (traits.hasSession && !phase.context.session.StopRequested)
    return ProgrammingSession(phase, kStSessionClose);
  return true;
}

// Compares every block by the ST's check; false at the first difference or lost answer.
bool VerifyBlocks(StPhase& phase) {
  const StKindTraits& traits = phase.traits;
  return EachBlock(phase, [&](std::uint32_t offset) {
    const std::vector<std::uint8_t> request = StAddressedRequest(traits, kStBlockCheck, offset);
    std::vector<std::uint8_t> reply;
    if (!phase.Ask(request, kStShortWaitS, kBlockCheckReplyCount, reply) ||
        reply.size() != kBlockCheckReplyCount || reply[0] != StAnswerTo(kStBlockCheck)) {
      return false;
    }
    const auto check = static_cast<std::uint16_t>(reply[1] | reply[2] << 8);
    return check == StBlockCheck(phase.Block(offset));
  });
}

}  // namespace

PhaseOutcome WriteStProgram(StPhase& phase) {
  Context& context = phase.context;
  shell::Session& session = context.session;
  display::TKVStatus& info = session.Info1;
  const StKindTraits& traits = phase.traits;

  MarkFlashWritten(context);
  context.StWritingBegan = true;
  const bool hasOptions = !traits.options.empty();
  info.KVadd(hasOptions ? "ST options" : "ST erasing");
  bool ok = Unlock(phase);
  if (ok && traits.hasSession) ok = ProgrammingSession(phase, kStSessionOpen);
  if (session.StopRequested) return EndStoppedStPhase(context);
  if (ok && hasOptions) {
    switch (SetOptions(phase)) {
      case OptionsResult::kStopped:
        return EndStoppedStPhase(context);
      case OptionsResult::kFailed:
        return EndUpdateFailed(context);
      case OptionsResult::kRight:
        info.KVstatus(kOk, 0, display::kAttrPlain);
        break;
    }
  }
  if (hasOptions) info.KVadd("ST erasing");
  if (ok)
    ok = phase.AskDone(std::array<std::uint8_t, 2>{kStErase, kStEraseKey}, kStEraseWaitS, true);
  if (session.StopRequested) return EndStoppedStPhase(context);
  if (!ok) return EndUpdateFailed(context);
  info.KVstatus(kOk, 0, display::kAttrPlain);

  info.KVadd("ST blank checking");
  if (!phase.AskDone(std::array<std::uint8_t, 1>{kStBlankCheck}, kStBlankCheckWaitS)) {
    if (session.StopRequested) return EndStoppedStPhase(context);
    return EndUpdateFailed(context);
  }
  info.KVstatus(kOk, 0, display::kAttrPlain);

  info.KVadd("ST programming");
  const bool programmed = ProgramBlocks(phase);
  if (session.StopRequested) return EndStoppedStPhase(context);
  if (!programmed) return EndUpdateFailed(context, kBlockVerdictWidth);
  info.KVstatus(kOk, kBlockVerdictWidth, display::kAttrPlain);

  info.KVadd("ST verification");
  const bool verified = VerifyBlocks(phase);
  if (session.StopRequested) return EndStoppedStPhase(context);
  if (!verified) return EndUpdateFailed(context, kBlockVerdictWidth);
  info.KVstatus(kOk, kBlockVerdictWidth, display::kAttrPlain);
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
