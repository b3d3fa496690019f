// The platform's conversion of a text to a whole number, which port numbers on the command
// line and the numbers in port names both go through.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace korvex::shell {

// The value of a digit character in `base` (up to 16, either letter case), or -1.
int DigitValue(char c, int base);

// Leading blanks, an optional sign, an optional hexadecimal prefix ("$", "x", "X", "0x" or
// "0X"), then at least one digit and nothing after the digits. The value must fit 32 bits:
// decimal texts a signed value; hexadecimal texts name a 32-bit pattern, read as signed
// ("$FFFFFFFF" is -1), and a minus sign before them negates the digits' value.
// nullopt for any other text.
std::optional<std::int64_t> ParseIntegerText(std::string_view text);

}  // namespace korvex::shell
