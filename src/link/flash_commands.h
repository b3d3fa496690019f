// Starter commands for the panel's 512 KB program FLASH: read a byte, read a 256-byte page,
// the check values of a 512-byte block, erase a 64 KB sector and program a 256-byte page.
// The erase and program codes depend on the starter version; writes recheck the run's link
// token so that nothing is written to a panel that does not hold it. The commands
// themselves are members of Starter.
#pragma once

#include <cstdint>
#include <span>

namespace korvex::link {

// Result of a FLASH write.
enum class WriteStatus : std::uint8_t {
  kDone = 0,
  kNoReply = 1,  // the failed exchanges reached their limit
  kRefused = 2,  // wrong answers reached their limit, the token check failed, or Stop
};

inline constexpr std::size_t kFlashPageSize = 256;
inline constexpr std::uint32_t kFlashBlockCheckSize = 512;
inline constexpr std::uint32_t kFlashSectorSize = 0x10000;

inline constexpr std::uint16_t kFlashAttempts = 4;
inline constexpr std::uint16_t kReadByteBudgetMs = 1000;
inline constexpr std::uint16_t kReadPageBudgetMs = 1500;
inline constexpr std::uint16_t kBlockCheckBudgetMs = 1000;
inline constexpr std::uint16_t kEraseBudgetMs = 15000;
inline constexpr std::uint16_t kProgramBudgetMs = 1500;
// Failures of one kind allowed before giving up: reads and programs give up at the fourth,
// the erase at the third, the block check at the fourth of both kinds together.
inline constexpr int kFlashFailureLimit = 3;
inline constexpr int kEraseFailureLimit = 2;
// The short program form (no page bytes: the panel copies the page at the same offset of
// sector 0) exists from this starter version on, for pages in sectors 1.. below this offset.
inline constexpr std::uint8_t kFirstShortProgramStarter = 0x21;
inline constexpr std::uint32_t kShortProgramOffsetLimit = 0x2000;
// After a token check, the full-form programs until the next one: 17..27.
inline constexpr std::uint8_t kTokenCountdownMin = 17;
inline constexpr int kTokenCountdownSpread = 11;

// The high nibble of the erase and program codes for a starter version (0x2, 0x1, 0x4, 0x3,
// 0xE, 0xD or 0x6), and the codes built from it.
std::uint8_t CommandVariant(std::uint8_t starterVersion);
std::uint8_t EraseCommand(std::uint8_t starterVersion);         // variant | 0x6
std::uint8_t ProgramCommand(std::uint8_t starterVersion);       // variant | 0x5
std::uint8_t ShortProgramCommand(std::uint8_t starterVersion);  // variant | 0x8
// True when ProgramFlashPage uses the short form for this starter and page address.
bool UsesShortProgramForm(std::uint8_t starterVersion, std::uint32_t address);

}  // namespace korvex::link
