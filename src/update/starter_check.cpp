// The starter check of a Program run: a starter that is too old, whose stored sum does not
// match its area, or whose version digits disagree with what it reports is replaced before
// anything else is written. In service test mode Enter forces the replacement and Esc
// suppresses it (unless the starter is too old to program with).
//
// A reply's check bytes let some two-bit errors through, so one bad reading of the area is
// no proof of a bad starter: a failed check is confirmed by reading the area a second time.
// Only two readings that agree and both fail lead to a replacement; readings that disagree
// mean the line is unreliable and the run ends as a lost connection, nothing written.
#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "display/kv_status.h"
#include "display/verdict_texts.h"
#include "update/flash_layout.h"
#include "update/run_phases.h"
#include "update/starter_update_phase.h"

namespace korvex::update {

namespace {

constexpr std::uint32_t kStarterSumSeed = 2000;
// Offsets in the area that the sum leaves out: the panel's own data and the stored sum.
constexpr std::uint32_t kUncoveredFrom = 0x10;
constexpr std::uint32_t kUncoveredTo = 0x1B;
constexpr std::uint32_t kSumOffset = 0x1FFC;
constexpr std::uint32_t kSumAddress = kStarterAreaBase + kSumOffset;
constexpr std::uint32_t kMajorDigitAddress = 0x71FFA;
constexpr std::uint32_t kMinorDigitAddress = 0x71FFB;
// The oldest starter that programs the panel; older ones are always replaced.
constexpr std::uint8_t kCurrentStarter = 0x61;
// A panel that reports starter version 0 is treated as this type.
constexpr std::uint8_t kUnknownStarterPanelType = 3;

bool Covered(std::uint32_t offset) {
  return !(offset >= kUncoveredFrom && offset <= kUncoveredTo) &&
         !(offset >= kSumOffset && offset <= kSumOffset + 3);
}

void AddToSum(std::uint32_t& sum, std::uint32_t offset, std::span<const std::uint8_t> bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (!Covered(offset + static_cast<std::uint32_t>(i))) continue;
    sum += bytes[i];
    sum = (sum << 1) | (sum >> 31);
  }
}

struct AreaReading {
  bool readFailed = false;
  std::vector<std::uint8_t> bytes;  // the pages read, in order
  std::uint32_t sum = kStarterSumSeed;
  std::uint32_t storedSum = 0;
  std::array<std::uint8_t, 2> digits{};

  bool SameAs(const AreaReading& other) const {
    return bytes == other.bytes && storedSum == other.storedSum && digits == other.digits;
  }
};

// Reads the starter area page by page (the keys stop it) and sums it.
AreaReading ReadStarterArea(Context& context) {
  shell::Session& session = context.session;
  AreaReading reading;
  reading.bytes.reserve(kStarterAreaSize);
  for (int b = 0; b < kStarterAreaPages && !session.StForceKey && !session.StKeepKey; ++b) {
    session.Info1.KVprogress(b, kStarterAreaPages - 1, 1);
    std::array<std::uint8_t, link::kFlashPageSize> page{};
    const std::uint32_t offset = static_cast<std::uint32_t>(b) * link::kFlashPageSize;
    bool ok = context.starter.ReadFlashPage(kStarterAreaBase + offset, page);
    if (ok && b == kStarterAreaPages - 1) {
      for (std::uint32_t k = 0; k < 4 && ok; ++k) {
        std::uint8_t value = 0;
        ok = context.starter.ReadFlashByte(kSumAddress + 3 - k, value);
        reading.storedSum = reading.storedSum << 8 | value;
      }
      ok = ok && context.starter.ReadFlashByte(kMajorDigitAddress, reading.digits[0]) &&
           context.starter.ReadFlashByte(kMinorDigitAddress, reading.digits[1]);
    }
    if (!ok) {
      reading.readFailed = true;
      return reading;
    }
    AddToSum(reading.sum, offset, page);
    reading.bytes.insert(reading.bytes.end(), page.begin(), page.end());
  }
  return reading;
}

bool FailsCheck(const AreaReading& reading, std::uint8_t version) {
  // Compared as integers: digits that are not digits give no version at all.
  const int digitsVersion = (reading.digits[0] - 0x30) * 16 | (reading.digits[1] - 0x30);
  return reading.sum != reading.storedSum || digitsVersion != version;
}

bool KeyPressed(const shell::Session& session) {
  return session.StForceKey || session.StKeepKey;
}

enum class AreaVerdict { kSound, kNeedsReplacing, kLinkFailed };

// Reads and checks the starter area; a failed check counts only when a second reading
// agrees with the first. A key pressed during the reading leaves the decision to the key.
AreaVerdict CheckStarterArea(Context& context, std::uint8_t version) {
  const AreaReading first = ReadStarterArea(context);
  if (first.readFailed) return AreaVerdict::kLinkFailed;
  if (KeyPressed(context.session) || !FailsCheck(first, version)) return AreaVerdict::kSound;
  const AreaReading second = ReadStarterArea(context);
  if (second.readFailed) return AreaVerdict::kLinkFailed;
  if (KeyPressed(context.session)) return AreaVerdict::kSound;
  return second.SameAs(first) ? AreaVerdict::kNeedsReplacing : AreaVerdict::kLinkFailed;
}

}  // namespace

std::uint32_t StarterAreaSum(std::span<const std::uint8_t> area) {
  std::uint32_t sum = kStarterSumSeed;
  AddToSum(sum, 0, area.first(std::min<std::size_t>(area.size(), kStarterAreaSize)));
  return sum;
}

StarterCheckResult StarterCheck(Context& context) {
  shell::Session& session = context.session;
  link::StarterState& state = context.starter.State();
  const std::uint8_t version = state.StarterVersion;

  bool needed = version < kCurrentStarter;
  if (version == 0) {
    state.PanelType = kUnknownStarterPanelType;
  } else {
    if (state.PanelType != context.image.PanelType) {
      session.ShowMessageBox(kTypeMismatchText, shell::MessageKind::kError, true);
      return StarterCheckResult::kEndRun;
    }
    if (version >= kCurrentStarter) {
      session.StForceKey = false;
      session.StKeepKey = false;
      session.Info1.KVadd("Starter checking");
      const AreaVerdict verdict = CheckStarterArea(context, version);
      if (verdict == AreaVerdict::kLinkFailed) {
        EndWithNoConnection(context);
        return StarterCheckResult::kEndRun;
      }
      needed = verdict == AreaVerdict::kNeedsReplacing;
    }
    if (session.StForceKey) needed = true;
    if (session.StKeepKey) needed = version < kCurrentStarter;
  }

  if (!needed) {
    session.Info1.KVstatus(display::kVerdictOk, 0, display::kAttrPlain);
    return StarterCheckResult::kSound;
  }
  if (MirrorsLowArea(state.FlashKind)) {
    // No updater exists for these chips: the panel cannot be programmed by this tool.
    EndWithError(context, kStarterUpdateNotAvailable, shell::kExitUpdateFailed);
    return StarterCheckResult::kEndRun;
  }
  return RunStarterUpdatePhase(context) == kStarterUpdateReplaced ? StarterCheckResult::kReplaced
                                                                  : StarterCheckResult::kEndRun;
}

}  // namespace korvex::update
