// The panel's 512 KB program FLASH as the starter drives it: 64 KB sectors, 256-byte pages,
// the chip's own way of programming, and the mirroring of the low area on the page-write
// chips. Times are typical datasheet figures of each chip, used when replies are paced.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace korvex::sim {

inline constexpr std::uint32_t kFlashSize = 0x80000;
inline constexpr std::uint32_t kSectorSize = 0x10000;
inline constexpr std::uint32_t kSectorCount = kFlashSize / kSectorSize;
inline constexpr std::uint32_t kPageSize = 256;
inline constexpr std::uint32_t kStarterSector = 7;  // the starter's own 64 KB; never written
// Page-write chips (kinds 1 and 4) repeat every change below this address at kMirrorBase + it.
inline constexpr std::uint32_t kMirrorLimit = 0x4000;
inline constexpr std::uint32_t kMirrorBase = 0x60000;

struct FlashKindInfo {
  std::uint8_t code;
  const char* chip;             // the name the PC shows for the code
  bool pageWrite;               // the chip rewrites whole pages (erase included) when programmed
  std::uint32_t sectorEraseUs;  // one 64 KB sector, as the starter erases it
  std::uint32_t pageProgramUs;  // one 256-byte page
};

// The table entry of a FLASH kind 1..9; nullopt for another code.
std::optional<FlashKindInfo> FlashKindInfoFor(std::uint8_t kind);

class FlashChip {
 public:
  // A chip of the given kind, erased. An unknown kind behaves like a byte-program chip.
  explicit FlashChip(std::uint8_t kind);

  std::uint8_t Kind() const { return kind_; }
  bool MirrorsLowArea() const { return info_.pageWrite; }
  std::uint32_t SectorEraseUs() const { return info_.sectorEraseUs; }
  std::uint32_t PageProgramUs() const { return info_.pageProgramUs; }

  std::span<std::uint8_t> Bytes() { return bytes_; }
  std::span<const std::uint8_t> Bytes() const { return bytes_; }
  // Replaces the whole content (kFlashSize bytes; a shorter span fills from 0x00000).
  void Load(std::span<const std::uint8_t> content);

  // Erases `count` bytes of a sector from its start (a whole sector normally; less when the
  // power fails half-way). A page-write chip erases the mirror too when the range lies below
  // kMirrorLimit.
  void EraseSector(std::uint32_t sector, std::uint32_t count = kSectorSize);

  // Programs bytes at a page address. A page-write chip replaces them; a byte-program chip
  // can only clear bits, so bytes that were not erased keep their zeros. Returns true when
  // the FLASH afterwards holds exactly `data` (what the starter's read-back checks).
  bool Program(std::uint32_t address, std::span<const std::uint8_t> data);

 private:
  void Write(std::uint32_t address, std::span<const std::uint8_t> data);

  std::uint8_t kind_;
  FlashKindInfo info_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace korvex::sim
