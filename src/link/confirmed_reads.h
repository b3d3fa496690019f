// Reads whose result is written somewhere that must never hold a wrong byte. A reply's own
// check (an 8-bit sum and xor) lets some damage through: two bits flipped at the same place
// in two bytes, one up and one down. The starter's block check does not catch that either:
// it keeps the same sum and xor, and its nibble-swap chain cancels the two changes whenever
// they lie an even number of bytes apart. So every page or chunk is read until two reads in
// a row agree, and each 512-byte FLASH block is also checked against the starter's block
// check, which catches what two reads cannot (the same wrong byte twice).
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "link/flash_commands.h"
#include "link/settings_commands.h"
#include "link/starter.h"

namespace korvex::link {

// A read that cannot be confirmed is made again this many times in all before giving up.
inline constexpr int kConfirmedReadTries = 4;

// Reads `bytes.size()` bytes of FLASH from `address` (both multiples of 512), every page
// confirmed by a second read and every block by the starter's block check. `onPage(i)` runs
// before page i is read (progress). False when a block could not be confirmed, or on Stop;
// `bytes` then has no meaning.
bool ReadConfirmedFlash(Starter& starter, std::uint32_t address, std::span<std::uint8_t> bytes,
                        const std::function<void(std::size_t)>& onPage);

// Reads the 64 bytes at `address` of settings `area` until two reads in a row agree. False
// when no two agreed within the tries, or on Stop; `data` then has no meaning.
bool ReadConfirmedSettings(Starter& starter, std::uint8_t area, std::uint16_t address,
                           std::span<std::uint8_t, kSettingsChunk> data);

}  // namespace korvex::link
