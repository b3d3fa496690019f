#include "link/confirmed_reads.h"

#include <algorithm>
#include <array>
#include <vector>

#include "firmware/block_check.h"

namespace korvex::link {

namespace {

bool Stopped(const Starter& starter) {
  return starter.StopRequested();
}

// Calls `read` into `data` until two successful reads in a row give the same bytes.
template <std::size_t N, typename Read>
bool ReadUntilTwoAgree(Starter& starter, std::span<std::uint8_t, N> data, Read read) {
  std::array<std::uint8_t, N> previous{};
  bool havePrevious = false;
  // One read more than the tries: the first read has nothing to agree with yet.
  for (int attempt = 0; attempt <= kConfirmedReadTries; ++attempt) {
    if (Stopped(starter)) return false;
    if (!read(data)) {
      havePrevious = false;
      continue;
    }
    if (havePrevious && std::equal(previous.begin(), previous.end(), data.begin())) return true;
    std::copy(data.begin(), data.end(), previous.begin());
    havePrevious = true;
  }
  return false;
}

bool ReadPage(Starter& starter, std::uint32_t address,
              std::span<std::uint8_t, kFlashPageSize> page) {
  return ReadUntilTwoAgree(starter, page, [&](std::span<std::uint8_t, kFlashPageSize> into) {
    return starter.ReadFlashPage(address, into);
  });
}

}  // namespace

bool ReadConfirmedFlash(Starter& starter, std::uint32_t address, std::span<std::uint8_t> bytes,
                        const std::function<void(std::size_t)>& onPage) {
  if (address % kFlashBlockCheckSize != 0 || bytes.size() % kFlashBlockCheckSize != 0) {
    return false;
  }
  for (std::size_t offset = 0; offset < bytes.size(); offset += kFlashBlockCheckSize) {
    const std::span<std::uint8_t> block = bytes.subspan(offset, kFlashBlockCheckSize);
    const auto blockAddress = static_cast<std::uint32_t>(address + offset);
    bool confirmed = false;
    for (int attempt = 0; attempt < kConfirmedReadTries && !confirmed; ++attempt) {
      if (Stopped(starter)) return false;
      bool read = true;
      for (std::size_t page = 0; read && page < kFlashBlockCheckSize; page += kFlashPageSize) {
        if (onPage) onPage((offset + page) / kFlashPageSize);
        read = ReadPage(starter, blockAddress + static_cast<std::uint32_t>(page),
                        block.subspan(page).first<kFlashPageSize>());
      }
      firmware::BlockCheckValues panel;
      confirmed = read && starter.ReadBlockCheck(blockAddress, panel) &&
                  panel == firmware::BlockCheck(block);
    }
    if (!confirmed) return false;
  }
  return true;
}

bool ReadConfirmedSettings(Starter& starter, std::uint8_t area, std::uint16_t address,
                           std::span<std::uint8_t, kSettingsChunk> data) {
  return ReadUntilTwoAgree(starter, data, [&](std::span<std::uint8_t, kSettingsChunk> into) {
    return starter.ReadSettings(area, address, into);
  });
}

}  // namespace korvex::link
