#include "link/flash_commands.h"

#include <algorithm>
#include <array>

#include "link/starter_connection.h"
#include "link/starter_request.h"

namespace korvex::link {

namespace {

// The command variant by starter version: the first row whose lowest version the starter
// reaches.
struct VariantRow {
  std::uint8_t lowestVersion;
  std::uint8_t variant;
};
constexpr std::array<VariantRow, 7> kVariants{{
    {0x60, 0x2},
    {0x52, 0x1},
    {0x51, 0x4},
    {0x50, 0x3},
    {0x31, 0xE},
    {0x30, 0xD},
    {0x00, 0x6},
}};

constexpr std::uint8_t kEraseLow = 0x6;
constexpr std::uint8_t kProgramLow = 0x5;
constexpr std::uint8_t kShortProgramLow = 0x8;
constexpr std::uint8_t kEraseConfirm = 0x66;
constexpr std::uint8_t kReadRequest = 0x62;
constexpr std::uint8_t kBlockCheckRequest = 0x64;

std::uint8_t Code(std::uint8_t starterVersion, std::uint8_t low) {
  return static_cast<std::uint8_t>(CommandVariant(starterVersion) << 4 | low);
}

WriteStatus GaveUp(const FailureCounts& counts, int limit) {
  return counts.failed > limit ? WriteStatus::kNoReply : WriteStatus::kRefused;
}

// The full form checks the token every so many programs: count down, and at zero reload the
// countdown and check.
bool TokenStillHeld(Link& link, StarterState& state) {
  if (state.LinkTokenCountdown > 0) {
    --state.LinkTokenCountdown;
    return true;
  }
  state.LinkTokenCountdown =
      static_cast<std::uint8_t>(kTokenCountdownMin + link.Context().Random(kTokenCountdownSpread));
  return CheckLinkToken(link, state);
}

WriteStatus ProgramShort(Link& link, const StarterState& state, std::uint32_t address) {
  FailureCounts counts;
  for (;;) {
    const std::uint16_t n = PutRequest(link, {ShortProgramCommand(state.StarterVersion),
                                              Mid(address), High(address), Mid(address), 0x00});
    if (!link.Transact(kFlashAttempts, n, kProgramBudgetMs, false)) {
      ++counts.failed;
    } else if (ReplyAnswer(link) == kAnswerData) {
      return WriteStatus::kDone;
    } else {
      ++counts.wrong;
    }
    // No stop test: once Stop is set every remaining exchange ends after one turn.
    if (counts.Exceeded(kFlashFailureLimit)) return GaveUp(counts, kFlashFailureLimit);
  }
}

WriteStatus ProgramFull(Link& link, StarterState& state, std::uint32_t address,
                        std::span<const std::uint8_t, kFlashPageSize> page) {
  if (!TokenStillHeld(link, state)) return WriteStatus::kRefused;
  FailureCounts counts;
  for (;;) {
    PutRequest(link, {ProgramCommand(state.StarterVersion), Mid(address), High(address)});
    PutRequestBytes(link, 4, page);
    if (!link.Transact(kFlashAttempts, 3 + kFlashPageSize, kProgramBudgetMs, false)) {
      ++counts.failed;
    } else if (ReplyAnswer(link) == kAnswerData) {
      return WriteStatus::kDone;
    } else {
      ++counts.wrong;
    }
    if (counts.Exceeded(kFlashFailureLimit) || link.Context().StopRequested) {
      return GaveUp(counts, kFlashFailureLimit);
    }
  }
}

}  // namespace

std::uint8_t CommandVariant(std::uint8_t starterVersion) {
  for (const VariantRow& row : kVariants) {
    if (starterVersion >= row.lowestVersion) return row.variant;
  }
  return kVariants.back().variant;
}

std::uint8_t EraseCommand(std::uint8_t starterVersion) {
  return Code(starterVersion, kEraseLow);
}
std::uint8_t ProgramCommand(std::uint8_t starterVersion) {
  return Code(starterVersion, kProgramLow);
}
std::uint8_t ShortProgramCommand(std::uint8_t starterVersion) {
  return Code(starterVersion, kShortProgramLow);
}

bool UsesShortProgramForm(std::uint8_t starterVersion, std::uint32_t address) {
  return starterVersion >= kFirstShortProgramStarter && address >= kFlashSectorSize &&
         address % kFlashSectorSize < kShortProgramOffsetLimit;
}

bool ReadFlashByte(Link& link, std::uint32_t address, std::uint8_t& value) {
  FailureCounts counts;
  for (;;) {
    const std::uint16_t n =
        PutRequest(link, {kReadRequest, Low(address), Mid(address), High(address), 0x01});
    if (!link.Transact(kFlashAttempts, n, kReadByteBudgetMs, false)) {
      ++counts.failed;
    } else if (ReplyCount(link) == 1 && ReplyAnswer(link) == kAnswerData) {
      value = ReplyData(link, 0);
      return true;
    } else {
      ++counts.wrong;
    }
    if (counts.Exceeded(kFlashFailureLimit) || link.Context().StopRequested) return false;
  }
}

bool ReadFlashPage(Link& link, std::uint32_t address,
                   std::span<std::uint8_t, kFlashPageSize> page) {
  FailureCounts counts;
  for (;;) {
    const std::uint16_t n =
        PutRequest(link, {kReadRequest, Low(address), Mid(address), High(address), 0x00});
    if (!link.Transact(kFlashAttempts, n, kReadPageBudgetMs, false)) {
      ++counts.failed;
    } else if (ReplyCount(link) == 0 && ReplyAnswer(link) == kAnswerData) {
      std::copy_n(link.LinkReply.begin() + 2, kFlashPageSize, page.begin());
      return true;
    } else {
      ++counts.wrong;
    }
    if (counts.Exceeded(kFlashFailureLimit) || link.Context().StopRequested) return false;
  }
}

bool ReadBlockCheck(Link& link, std::uint32_t address, firmware::BlockCheckValues& values) {
  int failures = 0;  // failed exchanges and other answers together
  for (;;) {
    const std::uint16_t n = PutRequest(
        link, {kBlockCheckRequest, Low(address), Mid(address), High(address),
               Low(kFlashBlockCheckSize), Mid(kFlashBlockCheckSize), High(kFlashBlockCheckSize)});
    if (link.Transact(kFlashAttempts, n, kBlockCheckBudgetMs, false) &&
        ReplyAnswer(link) == kAnswerData) {
      values.sum = static_cast<std::uint16_t>(ReplyData(link, 0) | ReplyData(link, 1) << 8);
      values.xorValue = ReplyData(link, 2);
      values.chain = ReplyData(link, 3);
      return true;
    }
    ++failures;
    if (failures > kFlashFailureLimit || link.Context().StopRequested) return false;
  }
}

WriteStatus EraseFlashSector(Link& link, const StarterState& state, std::uint8_t sector) {
  if (!CheckLinkToken(link, state)) return WriteStatus::kRefused;
  FailureCounts counts;
  for (;;) {
    const std::uint16_t n = PutRequest(
        link, {EraseCommand(state.StarterVersion), sector, kEraseConfirm, kEraseConfirm});
    if (!link.Transact(kFlashAttempts, n, kEraseBudgetMs, false)) {
      ++counts.failed;
    } else if (ReplyAnswer(link) == kAnswerDone) {
      return WriteStatus::kDone;
    } else {
      ++counts.wrong;
    }
    if (counts.Exceeded(kEraseFailureLimit) || link.Context().StopRequested) {
      return GaveUp(counts, kEraseFailureLimit);
    }
  }
}

WriteStatus ProgramFlashPage(Link& link, StarterState& state, std::uint32_t address,
                             std::span<const std::uint8_t, kFlashPageSize> page) {
  if (UsesShortProgramForm(state.StarterVersion, address)) {
    return ProgramShort(link, state, address);
  }
  return ProgramFull(link, state, address, page);
}

}  // namespace korvex::link
