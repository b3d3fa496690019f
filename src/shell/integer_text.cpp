#include "shell/integer_text.h"

#include <cstdint>

namespace korvex::shell {

int DigitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  }
  return value < base ? value : -1;
}

std::optional<std::int64_t> ParseIntegerText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) return std::nullopt;
    value = value * base + digit;
    if (value > static_cast<std::int64_t>(UINT32_MAX)) return std::nullopt;
  }
  if (negative) value = -value;
  if (base == 10 && (value > INT32_MAX || value < INT32_MIN)) return std::nullopt;
  if (base == 16 && value > INT32_MAX) value -= static_cast<std::int64_t>(UINT32_MAX) + 1;
  return value;
}

}  // namespace korvex::shell
