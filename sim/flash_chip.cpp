#include "sim/flash_chip.h"

#include <algorithm>
#include <array>

namespace korvex::sim {

namespace {

// Sector erase and page program times. The page-write chips (AT29C040A, W29C040) have no
// sector erase: the starter rewrites the sector's 256 pages with 0xFF at the chip's write
// cycle of 10 ms. The byte-program chips program a page as 256 byte cycles. The SST39SF040
// erases in 4 KB sectors, 16 of them per 64 KB.
constexpr std::array<FlashKindInfo, 9> kFlashKinds = {{
    {1, "ATMEL AT29C040A", true, 256 * 10'000, 10'000},
    {2, "AMD Am29F040", false, 1'000'000, 256 * 7},
    {3, "Macronix MX29F040", false, 1'000'000, 256 * 7},
    {4, "Winbond W29C040", true, 256 * 10'000, 10'000},
    {5, "ST M29F040B", false, 1'000'000, 256 * 10},
    {6, "AMIC A29040B", false, 1'000'000, 256 * 7},
    {7, "EON EN29F040A", false, 500'000, 256 * 8},
    {8, "MACRONIX MX29F040C", false, 700'000, 256 * 9},
    {9, "MICROCHIP SST39SF040", false, 16 * 18'000, 256 * 14},
}};

constexpr FlashKindInfo kUnknownKind = {0, "unknown", false, 1'000'000, 256 * 10};

}  // namespace

std::optional<FlashKindInfo> FlashKindInfoFor(std::uint8_t kind) {
  for (const FlashKindInfo& info : kFlashKinds) {
    if (info.code == kind) return info;
  }
  return std::nullopt;
}

FlashChip::FlashChip(std::uint8_t kind)
    : kind_(kind), info_(FlashKindInfoFor(kind).value_or(kUnknownKind)), bytes_(kFlashSize, 0xFF) {}

void FlashChip::Load(std::span<const std::uint8_t> content) {
  const std::size_t n = std::min<std::size_t>(content.size(), kFlashSize);
  std::copy_n(content.begin(), n, bytes_.begin());
}

void FlashChip::EraseSector(std::uint32_t sector, std::uint32_t count) {
  if (sector >= kSectorCount) return;
  const std::uint32_t base = sector * kSectorSize;
  count = std::min(count, kSectorSize);
  std::fill_n(bytes_.begin() + base, count, 0xFF);
  if (info_.pageWrite && base < kMirrorLimit) {
    std::fill_n(bytes_.begin() + kMirrorBase + base, std::min(count, kMirrorLimit - base), 0xFF);
  }
}

void FlashChip::Write(std::uint32_t address, std::span<const std::uint8_t> data) {
  for (std::size_t i = 0; i < data.size() && address + i < kFlashSize; ++i) {
    std::uint8_t& cell = bytes_[address + i];
    cell = info_.pageWrite ? data[i] : static_cast<std::uint8_t>(cell & data[i]);
  }
}

bool FlashChip::Program(std::uint32_t address, std::span<const std::uint8_t> data) {
  if (address >= kFlashSize) return false;
  Write(address, data);
  if (info_.pageWrite && address < kMirrorLimit) {
    const std::size_t n = std::min<std::size_t>(data.size(), kMirrorLimit - address);
    Write(kMirrorBase + address, data.first(n));
  }
  const std::size_t n = std::min<std::size_t>(data.size(), kFlashSize - address);
  return std::equal(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n),
                    bytes_.begin() + address);
}

}  // namespace korvex::sim
