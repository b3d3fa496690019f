#include "shell/integer_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace korvex::shell {
namespace {

TEST(ParseIntegerText, ConvertsTheWholeTextWithinThirtyTwoBits) {
  const struct {
    const char* text;
    std::optional<std::int64_t> value;
  } cases[] = {
      // Blanks, signs and the five hexadecimal prefixes.
      {"1", 1},
      {"003", 3},
      {" 3", 3},
      {"   12", 12},
      {"+3", 3},
      {"-3", -3},
      {"-0", 0},
      {"$1F", 31},
      {"$ff", 255},
      {"x10", 16},
      {"X10", 16},
      {"0x10", 16},
      {"0X0a", 10},
      {"+$10", 16},
      {"-$10", -16},
      // Decimal texts fit a signed 32-bit value; hexadecimal ones name a 32-bit pattern.
      {"2147483647", 2147483647},
      {"-2147483648", -2147483648LL},
      {"2147483648", {}},
      {"-2147483649", {}},
      {"$7FFFFFFF", 2147483647},
      {"$80000000", -2147483648LL},
      {"$FFFFFFFF", -1},
      {"$100000000", {}},
      {"99999999999999999999999", {}},
      // Texts that are not whole numbers.
      {"COM3", {}},
      {"", {}},
      {" ", {}},
      {"+", {}},
      {"$", {}},
      {"0x", {}},
      {"3x", {}},
      {"3 ", {}},
      {"\t3", {}},
      {"- 3", {}},
      {"3.0", {}},
      {"1e2", {}},
      {"0x1G", {}},
      {"00x10", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseIntegerText(c.text), c.value) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace korvex::shell
