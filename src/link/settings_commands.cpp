#include "link/settings_commands.h"

#include <algorithm>
#include <array>

#include "link/starter_request.h"

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

}  // namespace

std::optional<SettingsProtection> SettingsProtectionFor(std::uint8_t panelType, std::uint8_t area) {
  if (panelType > kHighestPanelType) return std::nullopt;
  for (const ProtectionRow& row : kProtection) {
    if (row.area == area && (row.panelTypes >> panelType & 1u) != 0) return row.protection;
  }
  return std::nullopt;
}

bool ReadSettings(Link& link, std::uint8_t area, std::uint16_t address,
                  std::span<std::uint8_t, kSettingsChunk> data) {
  FailureCounts counts;
  for (;;) {
    const std::uint16_t n =
        PutRequest(link, {kReadSettingsRequest, Low(address), Mid(address), area});
    if (!link.Transact(kSettingsAttempts, n, kReadSettingsBudgetMs, false)) {
      ++counts.failed;
    } else if (ReplyCount(link) == kSettingsChunk && ReplyAnswer(link) == kAnswerData) {
      std::copy_n(link.LinkReply.begin() + 2, kSettingsChunk, data.begin());
      return true;
    } else {
      ++counts.wrong;
    }
    if (counts.Exceeded(kSettingsFailureLimit) || link.Context().StopRequested) return false;
  }
}

bool ReadSettingsByte(Link& link, std::uint8_t area, std::uint16_t address, std::uint8_t& value) {
  std::array<std::uint8_t, kSettingsChunk> data{};
  if (!ReadSettings(link, area, address, data)) return false;
  value = data[0];
  return true;
}

void WriteSettings(Link& link, StarterState& state, std::uint8_t area, std::uint16_t address,
                   std::span<const std::uint8_t, kSettingsChunk> data) {
  if (state.SettingsWriteFailed) return;
  FailureCounts counts;
  for (;;) {
    PutRequest(link, {kWriteSettingsRequest, Low(address), Mid(address), area});
    PutRequestBytes(link, 5, data);
    if (!link.Transact(kSettingsAttempts, 4 + kSettingsChunk, kWriteSettingsBudgetMs, false)) {
      ++counts.failed;
    } else if (ReplyAnswer(link) == kAnswerDone) {
      return;
    } else {
      ++counts.wrong;
    }
    if (counts.Exceeded(kSettingsFailureLimit) || link.Context().StopRequested) {
      state.SettingsWriteFailed = true;
      return;
    }
  }
}

void WriteSettingsByte(Link& link, StarterState& state, std::uint8_t area, std::uint16_t address,
                       std::uint8_t value) {
  if (state.SettingsWriteFailed) return;
  FailureCounts counts;
  for (;;) {
    const std::uint16_t n =
        PutRequest(link, {kWriteSettingsByteRequest, Low(address), Mid(address), area, value});
    if (!link.Transact(kSettingsAttempts, n, kWriteSettingsBudgetMs, false)) {
      ++counts.failed;
    } else if (ReplyAnswer(link) == kAnswerDone) {
      return;
    } else {
      ++counts.wrong;
    }
    // No stop test: once Stop is set every remaining exchange ends after one turn.
    if (counts.Exceeded(kSettingsFailureLimit)) {
      state.SettingsWriteFailed = true;
      return;
    }
  }
}

void WriteSettingsString(Link& link, StarterState& state, std::uint8_t area, std::uint16_t address,
                         std::string_view s) {
  for (std::size_t k = 0; k < s.size(); ++k) {
    WriteSettingsByte(link, state, area, static_cast<std::uint16_t>(address + k),
                      static_cast<std::uint8_t>(s[k]));
  }
}

bool UpdateSettingsCheck(Link& link, StarterState& state, std::uint8_t area, std::uint16_t block) {
  if (state.PanelType > kHighestPanelType) {
    link.Context().ShowMessageBox("ERROR 1", shell::MessageKind::kError, true);
    return false;
  }
  const std::optional<SettingsProtection> protection = SettingsProtectionFor(state.PanelType, area);
  if (!protection) {
    link.Context().ShowMessageBox("ERROR 2", shell::MessageKind::kError, true);
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
    if (!ReadSettings(link, area, address, chunk) || !ReadSettings(link, area, address, again)) {
      return false;
    }
    if (chunk != again) {
      state.ReadingsDisagreed = true;
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
  WriteSettingsByte(link, state, area, static_cast<std::uint16_t>(p.limit + index),
                    kSettingsMarkValue);
  WriteSettingsByte(link, state, area, sumAddress, Low(sum));
  WriteSettingsByte(link, state, area, static_cast<std::uint16_t>(sumAddress + 1), Mid(sum));
  return true;
}

bool WriteSettingsByteChecked(Link& link, StarterState& state, std::uint8_t area,
                              std::uint16_t address, std::uint8_t value) {
  WriteSettingsByte(link, state, area, address, value);
  const std::optional<SettingsProtection> protection = SettingsProtectionFor(state.PanelType, area);
  // A byte outside the protected range belongs to no block: it has no mark or sum.
  if (protection && (address < protection->base || address >= protection->limit)) return true;
  return UpdateSettingsCheck(link, state, area, static_cast<std::uint16_t>(address & 0xFF00));
}

}  // namespace korvex::link
