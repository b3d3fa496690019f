#include "link/settings_commands.h"

#include <algorithm>
#include <array>

#include "link/command_exchange.h"
#include "link/starter.h"

namespace korvex::link {

namespace {

constexpr std::uint8_t kReadSettingsRequest = 0x70;
constexpr std::uint8_t kWriteSettingsRequest = 0x80;
constexpr std::uint8_t kWriteSettingsByteRequest = 0x81;
constexpr std::uint8_t kHighestPanelType = 8;

// The protected ranges by panel type (bit t of `panelTypes` for type t) and area.
struct ProtectionRow {
  std::uint16_t panelTypes;
  std::uint8_t area;
  SettingsProtection protection;
};
constexpr std::uint16_t Types(std::initializer_list<int> types) {
  std::uint16_t mask = 0;
  for (const int t : types) mask = static_cast<std::uint16_t>(mask | 1u << t);
  return mask;
}
constexpr std::array<ProtectionRow, 6> kProtection{{
    {Types({0, 1}), 1, {0x2500, 0x5260, 0x52A0}},
    {Types({0, 1}), 2, {0x5300, 0x60C0, 0x60E0}},
    {Types({2, 3, 4, 5, 6, 7, 8}), 1, {0x8000, 0xFE80, 0xFF00}},
    {Types({2, 3, 6, 7}), 2, {0x8000, 0xBF40, 0xBF80}},
    {Types({4, 5}), 2, {0x8000, 0xDEE0, 0xDF40}},
    {Types({8}), 2, {0x8000, 0xE000, 0xE060}},
}};

bool StartsProtectedBlock(const SettingsProtection& p, std::uint16_t block) {
  return block >= p.base && block < p.limit && (block - p.base) % kSettingsBlockSize == 0;
}

// Reads and 64-byte writes give up at the fourth failure of a kind or on Stop.
RetryRule SettingsRule(std::uint16_t budgetMs) {
  return RetryRule{
      .attempts = kSettingsAttempts, .budgetMs = budgetMs, .failureLimit = kSettingsFailureLimit};
}

}  // namespace

std::optional<SettingsProtection> SettingsProtectionFor(std::uint8_t panelType, std::uint8_t area) {
  if (panelType > kHighestPanelType) return std::nullopt;
  for (const ProtectionRow& row : kProtection) {
    if (row.area == area && (row.panelTypes >> panelType & 1u) != 0) return row.protection;
  }
  return std::nullopt;
}

bool Starter::ReadSettings(std::uint8_t area, std::uint16_t address,
                           std::span<std::uint8_t, kSettingsChunk> data) {
  const RequestWriter request{kReadSettingsRequest, Low(address), Mid(address), area};
  if (ExchangeWithRetries(
          link_, request, SettingsRule(kReadSettingsBudgetMs),
          AnswerAndCountAre(kAnswerData, static_cast<std::uint8_t>(kSettingsChunk))) !=
      RetryResult::kAccepted) {
    return false;
  }
  const std::span<const std::uint8_t> read = link_.LastReply().DataBytes(kSettingsChunk);
  std::copy(read.begin(), read.end(), data.begin());
  return true;
}

bool Starter::ReadSettingsByte(std::uint8_t area, std::uint16_t address, std::uint8_t& value) {
  std::array<std::uint8_t, kSettingsChunk> data{};
  if (!ReadSettings(area, address, data)) return false;
  value = data[0];
  return true;
}

void Starter::WriteSettings(std::uint8_t area, std::uint16_t address,
                            std::span<const std::uint8_t, kSettingsChunk> data) {
  if (state_.SettingsWriteFailed) return;
  ++writes_.settingsWrites;
  RequestWriter request{kWriteSettingsRequest, Low(address), Mid(address), area};
  request.Put(data);
  if (ExchangeWithRetries(link_, request, SettingsRule(kWriteSettingsBudgetMs),
                          AnswerIs(kAnswerDone)) != RetryResult::kAccepted) {
    state_.SettingsWriteFailed = true;
  }
}

void Starter::WriteSettingsByte(std::uint8_t area, std::uint16_t address, std::uint8_t value) {
  if (state_.SettingsWriteFailed) return;
  ++writes_.settingsWrites;
  const RequestWriter request{kWriteSettingsByteRequest, Low(address), Mid(address), area, value};
  RetryRule rule = SettingsRule(kWriteSettingsBudgetMs);
  // Once Stop is set every remaining exchange ends after one turn.
  rule.onStop = OnStop::kRunOn;
  if (ExchangeWithRetries(link_, request, rule, AnswerIs(kAnswerDone)) != RetryResult::kAccepted) {
    state_.SettingsWriteFailed = true;
  }
}

void Starter::WriteSettingsString(std::uint8_t area, std::uint16_t address, std::string_view s) {
  for (std::size_t k = 0; k < s.size(); ++k) {
    WriteSettingsByte(area, static_cast<std::uint16_t>(address + k),
                      static_cast<std::uint8_t>(s[k]));
  }
}

bool Starter::UpdateSettingsCheck(std::uint8_t area, std::uint16_t block) {
  if (state_.PanelType > kHighestPanelType) {
    link_.Host().ShowCommandError("ERROR 1");
    return false;
  }
  const std::optional<SettingsProtection> protection =
      SettingsProtectionFor(state_.PanelType, area);
  if (!protection) {
    link_.Host().ShowCommandError("ERROR 2");
    return false;
  }
  const SettingsProtection& p = *protection;
  // Only a block of the protected range has a mark and a sum; for any other address they
  // would land on unrelated settings.
  if (!StartsProtectedBlock(p, block)) return false;

  int count = std::min<int>(p.limit - block, kSettingsBlockSize);
  std::uint16_t sum = 0;
  std::array<std::uint8_t, kSettingsChunk> chunk{};
  std::array<std::uint8_t, kSettingsChunk> again{};
  for (int q = 0; q < 4; ++q) {
    // A failed read leaves no true sum to write: the panel's mark and sum stay as they are.
    // The reply's check bytes let some two-bit errors through, so each chunk is read twice:
    // a sum written from a damaged reading would mark sound settings as damaged.
    const auto address = static_cast<std::uint16_t>(block + kSettingsChunk * q);
    if (!ReadSettings(area, address, chunk) || !ReadSettings(area, address, again)) {
      return false;
    }
    if (chunk != again) {
      state_.ReadingsDisagreed = true;
      return false;
    }
    for (const std::uint8_t b : chunk) {
      if (count <= 0) break;
      sum = static_cast<std::uint16_t>(sum + b);
      --count;
    }
  }
  const int index = (block - p.base) / kSettingsBlockSize;
  const auto sumAddress = static_cast<std::uint16_t>(p.check + 2 * index);
  WriteSettingsByte(area, static_cast<std::uint16_t>(p.limit + index), kSettingsMarkValue);
  WriteSettingsByte(area, sumAddress, Low(sum));
  WriteSettingsByte(area, static_cast<std::uint16_t>(sumAddress + 1), Mid(sum));
  return true;
}

bool Starter::WriteSettingsByteChecked(std::uint8_t area, std::uint16_t address,
                                       std::uint8_t value) {
  WriteSettingsByte(area, address, value);
  const std::optional<SettingsProtection> protection =
      SettingsProtectionFor(state_.PanelType, area);
  // A byte outside the protected range belongs to no block: it has no mark or sum.
  if (protection && (address < protection->base || address >= protection->limit)) return true;
  return UpdateSettingsCheck(area, static_cast<std::uint16_t>(address & 0xFF00));
}

}  // namespace korvex::link
