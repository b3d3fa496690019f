#include "link/flash_commands.h"

#include <algorithm>
#include <array>

#include "link/command_exchange.h"
#include "link/starter.h"

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

// Reads and full programs give up at the fourth failure of a kind or on Stop.
RetryRule FlashRule(std::uint16_t budgetMs) {
  return RetryRule{
      .attempts = kFlashAttempts, .budgetMs = budgetMs, .failureLimit = kFlashFailureLimit};
}

WriteStatus WriteStatusOf(RetryResult result) {
  switch (result) {
    case RetryResult::kAccepted:
      return WriteStatus::kDone;
    case RetryResult::kNoReply:
      return WriteStatus::kNoReply;
    case RetryResult::kRefused:
      break;
  }
  return WriteStatus::kRefused;
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

bool Starter::TokenStillHeld() {
  if (state_.LinkTokenCountdown > 0) {
    --state_.LinkTokenCountdown;
    return true;
  }
  state_.LinkTokenCountdown =
      static_cast<std::uint8_t>(kTokenCountdownMin + link_.Host().Random(kTokenCountdownSpread));
  return CheckLinkToken();
}

WriteStatus Starter::ProgramShort(std::uint32_t address) {
  const RequestWriter request{ShortProgramCommand(state_.StarterVersion), Mid(address),
                              High(address), Mid(address), 0x00};
  RetryRule rule = FlashRule(kProgramBudgetMs);
  // Once Stop is set every remaining exchange ends after one turn.
  rule.onStop = OnStop::kRunOn;
  return WriteStatusOf(ExchangeWithRetries(link_, request, rule, AnswerIs(kAnswerData)));
}

WriteStatus Starter::ProgramFull(std::uint32_t address,
                                 std::span<const std::uint8_t, kFlashPageSize> page) {
  if (!TokenStillHeld()) return WriteStatus::kRefused;
  RequestWriter request{ProgramCommand(state_.StarterVersion), Mid(address), High(address)};
  request.Put(page);
  return WriteStatusOf(
      ExchangeWithRetries(link_, request, FlashRule(kProgramBudgetMs), AnswerIs(kAnswerData)));
}

bool Starter::ReadFlashByte(std::uint32_t address, std::uint8_t& value) {
  const RequestWriter request{kReadRequest, Low(address), Mid(address), High(address), 0x01};
  if (ExchangeWithRetries(link_, request, FlashRule(kReadByteBudgetMs),
                          AnswerAndCountAre(kAnswerData, 1)) != RetryResult::kAccepted) {
    return false;
  }
  value = link_.LastReply().Data(0);
  return true;
}

bool Starter::ReadFlashPage(std::uint32_t address, std::span<std::uint8_t, kFlashPageSize> page) {
  const RequestWriter request{kReadRequest, Low(address), Mid(address), High(address), 0x00};
  // A count of 0 stands for 256 data bytes.
  if (ExchangeWithRetries(link_, request, FlashRule(kReadPageBudgetMs),
                          AnswerAndCountAre(kAnswerData, 0)) != RetryResult::kAccepted) {
    return false;
  }
  const std::span<const std::uint8_t> data = link_.LastReply().DataBytes(kFlashPageSize);
  std::copy(data.begin(), data.end(), page.begin());
  return true;
}

bool Starter::ReadBlockCheck(std::uint32_t address, firmware::BlockCheckValues& values) {
  const RequestWriter request{kBlockCheckRequest,
                              Low(address),
                              Mid(address),
                              High(address),
                              Low(kFlashBlockCheckSize),
                              Mid(kFlashBlockCheckSize),
                              High(kFlashBlockCheckSize)};
  RetryRule rule = FlashRule(kBlockCheckBudgetMs);
  rule.counting = FailureCounting::kTogether;
  if (ExchangeWithRetries(link_, request, rule, AnswerIs(kAnswerData)) != RetryResult::kAccepted) {
    return false;
  }
  const ReplyView reply = link_.LastReply();
  values.sum = static_cast<std::uint16_t>(reply.Data(0) | reply.Data(1) << 8);
  values.xorValue = reply.Data(2);
  values.chain = reply.Data(3);
  return true;
}

WriteStatus Starter::EraseFlashSector(std::uint8_t sector) {
  if (!CheckLinkToken()) return WriteStatus::kRefused;
  const RequestWriter request{EraseCommand(state_.StarterVersion), sector, kEraseConfirm,
                              kEraseConfirm};
  RetryRule rule = FlashRule(kEraseBudgetMs);
  rule.failureLimit = kEraseFailureLimit;
  const WriteStatus status =
      WriteStatusOf(ExchangeWithRetries(link_, request, rule, AnswerIs(kAnswerDone)));
  if (status == WriteStatus::kDone) ++writes_.sectorsErased;
  return status;
}

WriteStatus Starter::ProgramFlashPage(std::uint32_t address,
                                      std::span<const std::uint8_t, kFlashPageSize> page) {
  const WriteStatus status = UsesShortProgramForm(state_.StarterVersion, address)
                                 ? ProgramShort(address)
                                 : ProgramFull(address, page);
  if (status == WriteStatus::kDone) ++writes_.pagesProgrammed;
  return status;
}

}  // namespace korvex::link
