// The steps of the ST program phase, shared by its files: the versions and the FSK bytes
// (st_versions.cpp), the comparison and the decision (st_compare.cpp), and the update itself
// (st_programming.cpp). UpdateStProgram (st_update_phase.cpp) runs them in order.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "display/verdict_texts.h"
#include "update/run_context.h"
#include "update/st_program.h"

namespace korvex::update {

// Waits the ST's starter is given for its answer, in seconds.
inline constexpr std::uint8_t kStShortWaitS = 1;
inline constexpr std::uint8_t kStBlankCheckWaitS = 3;
inline constexpr std::uint8_t kStEraseWaitS = 60;
// After kind A opens or closes its programming session the ST needs this long.
inline constexpr std::uint16_t kStSessionPauseMs = 125;
// The option loop reads, protects and writes until the options read back right. One pass
// normally does the writing and the next one sees the result; an ST whose options never
// read back right ends the loop after this many passes instead of holding the run forever.
inline constexpr int kStOptionPassLimit = 4;

// What the steps work on: the run, the kind, and the ST program of the file (S), whose FSK
// bytes and checksum the phase changes.
struct StPhase {
  Context& context;
  const StKindTraits& traits;
  std::span<std::uint8_t> program;  // the whole section; traits.count bytes are handled

  // One request to the ST, answered with the request byte + 0x10 and `count` bytes.
  bool Ask(std::span<const std::uint8_t> request, std::uint8_t wait, std::uint8_t count,
           std::vector<std::uint8_t>& reply, bool showProgress = false);
  // A request that must be answered by its answer byte and the status byte 0x00.
  bool AskDone(std::span<const std::uint8_t> request, std::uint8_t wait, bool showProgress = false);
  // A request that must be answered by its answer byte alone.
  bool AskAcknowledged(std::span<const std::uint8_t> request);
  // The 128 bytes of S from `offset`.
  std::span<const std::uint8_t> Block(std::uint32_t offset) const {
    return program.subspan(offset, kStBlockSize);
  }
};

// The three version lines; the panel's and the file's program texts.
std::optional<PhaseOutcome> ShowStVersions(StPhase& phase, std::string& panelText,
                                           std::string& fileText);
// Reads the panel's FSK bytes (unless given on the command line), puts them into S and
// refreshes the ST checksum (kinds A and B).
std::optional<PhaseOutcome> CarryOverFsk(StPhase& phase);

struct StDifference {
  bool newer = false;   // the file's program is newer, or the panel's version is not readable
  bool differ = false;  // the versions or the contents differ
};
// The version comparison and, when the versions agree, the comparison of the contents.
std::optional<PhaseOutcome> CompareStProgram(StPhase& phase, const std::string& panelText,
                                             const std::string& fileText, StDifference& result);
// Whether a Program run writes a differing ST program (asks the operator where that is due).
bool StUpdateConfirmed(Context& context);

// Unlock, options, erase, blank check, programming and verification.
PhaseOutcome WriteStProgram(StPhase& phase);

// Ends the phase after the operator stopped: no verdict, exit code 3.
PhaseOutcome EndStoppedStPhase(Context& context);
// Ends the phase because the ST did not answer a read: display::kVerdictError (unless stopped),
// exit code 3.
PhaseOutcome EndStReadFailed(Context& context);

}  // namespace korvex::update
