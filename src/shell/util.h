// Small routines the whole program shares: wrap-around counters and checksums, a bit test
// and two number-to-text conversions. None of them ever fails or traps on overflow.
#pragma once

#include <cstdint>
#include <string>

namespace korvex::shell {

void AddByte(std::uint8_t& x, std::uint8_t v);
void AddWord(std::uint16_t& x, std::uint16_t v);
void AddLong(std::int32_t& x, std::int32_t v);
void SubByte(std::uint8_t& x, std::uint8_t v);
void SubWord(std::uint16_t& x, std::uint16_t v);
void SubLong(std::int32_t& x, std::int32_t v);
void SubULong(std::uint32_t& x, std::uint32_t v);

// True when bit number `bit` (0..31) of value is 1.
bool BitSet(std::int32_t value, int bit);

// Decimal text right-aligned in `width` characters; never cut.
std::string NumText(std::int32_t value, int width);

// Exactly `digits` upper-case hexadecimal digits of value (unsigned), higher digits dropped.
std::string HexText(std::uint32_t value, int digits);

// Texts the program handles are at most 255 characters; longer ones are cut.
inline constexpr std::size_t kMaxShortText = 255;
std::string ShortText(std::string text);

}  // namespace korvex::shell
