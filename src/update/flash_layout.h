// Where things are in the panel's 512 KB program FLASH (eight 64 KB sectors), as the
// programming run sees it. Pages (256 bytes) and check blocks (512 bytes) are the sizes the
// starter's FLASH commands work in: link::kFlashPageSize and link::kFlashBlockCheckSize.
#pragma once

#include <cstdint>

#include "firmware/firmware_image.h"
#include "firmware/identity.h"
#include "link/flash_commands.h"

namespace korvex::update {

// The program area, sectors 0..5: the file's main image, erased and written by a Program run
// and compared block by block.
inline constexpr std::uint32_t kProgramAreaSize = firmware::kMainImageFileSize;
inline constexpr std::uint8_t kProgramSectors = 6;
static_assert(kProgramSectors * link::kFlashSectorSize == kProgramAreaSize);

// The page that holds the program's identity is written as soon as its sector is erased.
inline constexpr std::uint32_t kEarlyPage = firmware::kIdentityAddress;
inline constexpr std::uint8_t kEarlyPageSector = kEarlyPage / link::kFlashSectorSize;

// Sector 6, right above the program area: where FLASH kinds 1 and 4 mirror the program's low
// blocks, where the starter updater keeps its second copy, and what the communication codes
// reset erases.
inline constexpr std::uint8_t kUpperAreaSector = kProgramSectors;
inline constexpr std::uint32_t kUpperAreaBase = kUpperAreaSector * link::kFlashSectorSize;

// Sector 7: the panel's starter.
inline constexpr std::uint32_t kStarterAreaBase = 0x70000;
inline constexpr std::uint32_t kStarterAreaSize = link::kFlashSectorSize;
inline constexpr int kStarterAreaPages = static_cast<int>(kStarterAreaSize / link::kFlashPageSize);
static_assert(kStarterAreaBase == (kUpperAreaSector + 1) * link::kFlashSectorSize);

}  // namespace korvex::update
