// The phases of a programming run in their order, each returning what the run does next.
// SOLANTAuniversal strings them together; tests may call a phase on its own.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "firmware/block_check.h"
#include "update/run_context.h"

namespace korvex::update {

// Told when the file's program is for another panel type (or ST kind) than the panel's.
inline constexpr const char* kTypeMismatchText = "Program in file does not match panel type !";

// Clears the run flags, re-checks the firmware file and makes sure a port is open.
PhaseOutcome StartRun(Context& context, bool unattended);
// EnsurePortChosen for a run or a restart: its result becomes PortReady, and a port that
// cannot be opened is explained in an error box (missing, in use, no permission).
bool OpenChosenPort(Context& context);
// Repeats the connect request until the starter answers, it refuses too often, or the
// connect time runs out.
PhaseOutcome ConnectPhase(Context& context);
// The identification loop: FLASH chip, panel type, program in the panel, starter version,
// link token and the starter check (with a starter update when one is needed).
PhaseOutcome IdentifyPhase(Context& context);
// The chip name of a FLASH kind 1..9; nullptr for other kinds.
const char* FlashKindName(std::uint8_t flashKind);
// The model name of a panel type without the padding the status panel lines it up with.
std::string PlainModelName(int panelType);
// "6.1 ENGLISH": the starter's version digits and the name of its language.
std::string StarterVersionText(std::uint8_t version, std::uint8_t language);
// Stores a fresh link token in a panel whose starter keeps one and proves it is held.
PhaseOutcome SetUpLinkToken(Context& context);

// What the starter check decided.
enum class StarterCheckResult {
  kSound,     // nothing to do; the identification pass ends
  kReplaced,  // the starter was replaced: identify again
  kEndRun,
};
StarterCheckResult StarterCheck(Context& context);
// The 32-bit rotating sum over the starter area (0x70000..0x7FFFF, 65536 bytes) that the
// starter stores at 0x71FFC; `area` is the whole area.
std::uint32_t StarterAreaSum(std::span<const std::uint8_t> area);

// Keypad announcement, the two description lines, the compatibility and version checks, the
// programs comparison and the last confirmation. kGoOn: convert settings and write;
// kSkipToVerification: a Test run, or nothing to write.
PhaseOutcome CompatibilityPhase(Context& context);

// Erases the program area and writes the image into it.
PhaseOutcome EraseAndProgram(Context& context);
// The verification gate and pass (the whole of a Test run's comparison).
PhaseOutcome VerificationPhase(Context& context);

// The check that the panel's blocks 0x00000..0x03FFF equal its blocks 0x60000..0x63FFF
// (FLASH kinds that mirror the low area). `onBlock(k)` runs before block pair k is read.
struct UpperAreaResult {
  enum class Kind { kEqual, kDiffer, kReadFailed } kind = Kind::kEqual;
  std::uint32_t blockIndex = 0;  // the differing or unreadable pair
};
inline constexpr int kUpperAreaBlocks = 32;
UpperAreaResult UpperAreaCheck(Context& context, const std::function<void(int)>& onBlock);
// FLASH kinds 1 and 4 mirror the low 16 KB of the program area into 0x60000.
bool MirrorsLowArea(std::uint8_t flashKind);

// Communication codes reset, restart with the wait, exit code, log line and final box.
PhaseOutcome CompletionPhase(Context& context);
// The Restart command: makes sure a port is open, restarts the panel and closes the port.
// The outcome is shown on the status panel and returned; the exit code is left alone.
enum class RestartOutcome : std::uint8_t {
  kNoPort,     // no port chosen, or it could not be opened (exit code 2 then)
  kRestarted,  // the starter answered the connection
  kNoAnswer,   // the starter did not answer
  kStopped,    // the operator stopped the restart
};
[[nodiscard]] RestartOutcome StandaloneRestart(Context& context);

// Ends the run with a bold red verdict and, where given, an exit code.
void EndWithError(Context& context, const char* text, std::int32_t exitCode = -1);
// "NO RS connection" in bold red unless the operator stopped; exit code 3 either way.
void EndWithNoConnection(Context& context);
// When two readings of a value to be written back disagreed: ends the run as a lost
// connection and gives true.
bool EndedOnDisagreement(Context& context);
// Records that this run began writing to the panel's FLASH or ST program.
void MarkFlashWritten(Context& context);

}  // namespace korvex::update
