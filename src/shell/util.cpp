#include "shell/util.h"

namespace korvex::shell {

// Sums are formed in a wider type and cut back to the variable's width, as documented.
void AddByte(std::uint8_t& x, std::uint8_t v) {
  x = static_cast<std::uint8_t>((x + v) % 256u);
}
void AddWord(std::uint16_t& x, std::uint16_t v) {
  x = static_cast<std::uint16_t>((x + v) % 65536u);
}
void AddLong(std::int32_t& x, std::int32_t v) {
  x = static_cast<std::int32_t>(static_cast<std::uint32_t>(x) + static_cast<std::uint32_t>(v));
}
void SubByte(std::uint8_t& x, std::uint8_t v) {
  x = static_cast<std::uint8_t>((x + 256u - v) % 256u);
}
void SubWord(std::uint16_t& x, std::uint16_t v) {
  x = static_cast<std::uint16_t>((x + 65536u - v) % 65536u);
}
void SubLong(std::int32_t& x, std::int32_t v) {
  x = static_cast<std::int32_t>(static_cast<std::uint32_t>(x) - static_cast<std::uint32_t>(v));
}
void SubULong(std::uint32_t& x, std::uint32_t v) {
  x -= v;
}

bool BitSet(std::int32_t value, int bit) {
  if (bit < 0 || bit > 31) return false;
  return ((static_cast<std::uint32_t>(value) >> bit) & 1u) != 0;
}

std::string NumText(std::int32_t value, int width) {
  std::string text = std::to_string(value);
  if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
    text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
  }
  return text;
}

std::string HexText(std::uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < digits; ++i) {
    text.insert(text.begin(), kDigits[value % 16]);
    value /= 16;
  }
  return text;
}

std::string ShortText(std::string text) {
  if (text.size() > kMaxShortText) text.resize(kMaxShortText);
  return text;
}

}  // namespace korvex::shell
