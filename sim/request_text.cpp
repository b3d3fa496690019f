#include "sim/request_text.h"

#include <cstdio>

namespace korvex::sim {

namespace {

std::string Text16(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::uint8_t b : bytes) text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
  return text;
}

std::uint32_t Address24(std::span<const std::uint8_t> r) {
  return r[1] | r[2] << 8 | r[3] << 16;
}

}  // namespace

std::string HexByte(std::uint8_t value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", value);
  return buf;
}

std::string HexAddress(std::uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  return buf;
}

std::string DescribeStCommand(std::span<const std::uint8_t> c) {
  if (c.empty()) return "(empty)";
  auto address = [&]() -> std::string {
    if (c.size() == 3 || c.size() == 131) return HexAddress(c[1] | c[2] << 8, 4);
    if (c.size() >= 4) return HexAddress(c[1] << 16 | c[2] << 8 | c[3], 5);
    return "?";
  };
  switch (c[0]) {
    case 0x12:
      return "erase";
    case 0x13:
      return "blank check";
    case 0x14:
      return "program block " + address();
    case 0x15:
      return "block check " + address();
    case 0x16:
      return "starter version";
    case 0x17:
      return "unlock";
    case 0x18:
      return "program version";
    case 0x19:
      return "read " + address();
    case 0x1A:
      return c.size() > 1 && c[1] == 0xFF ? "session open" : "session close";
    case 0x1B:
      return "write options (B)";
    case 0x1C:
      return "protect " + (c.size() > 1 ? HexByte(c[1]) : std::string("?"));
    case 0x1D:
      return "read options";
    case 0x1F:
      return "write options (C)";
    default:
      return "command " + HexByte(c[0]);
  }
}

std::string DescribeRequest(std::span<const std::uint8_t> r) {
  if (r.empty()) return "(empty)";
  const std::size_t n = r.size();
  const std::uint8_t c = r[0];
  switch (c) {
    case 0x0D:
      return "connect";
    case 0x14:
      return "fast rate";
    case 0x61:
      return "identify";
    case 0x1E:
      if (n == 5)
        return "set link token " + HexByte(r[1]) + " " + HexByte(r[2]) + " " + HexByte(r[3]) + " " +
               HexByte(r[4]);
      return "set link token (malformed)";
    case 0x1F:
      return "check link token";
    case 0x67:
      return "restart";
    case 0xA5:
      return "run starter update";
    case 0x21:
      if (n == 36)
        return "keypad \"" + Text16(r.subspan(4, 16)) + "\" / \"" + Text16(r.subspan(20, 16)) +
               "\"";
      if (n == 19)
        return std::string("keypad line ") + (r[2] == 0x7C ? "1" : "2") + " \"" +
               Text16(r.subspan(3, 16)) + "\"";
      return "keypad clear";
    case 0x62:
      if (n == 5) {
        return r[4] == 0 ? "read FLASH page " + HexAddress(Address24(r))
                         : "read FLASH " + HexAddress(Address24(r)) + " x" + std::to_string(r[4]);
      }
      break;
    case 0x64:
      if (n == 7)
        return "block check " + HexAddress(Address24(r)) + " x" +
               std::to_string(r[4] | r[5] << 8 | r[6] << 16);
      break;
    case 0x70:
      if (n == 4)
        return "read settings " + std::to_string(r[3]) + ":" + HexAddress(r[1] | r[2] << 8, 4);
      break;
    case 0x80:
      if (n == 68)
        return "write settings " + std::to_string(r[3]) + ":" + HexAddress(r[1] | r[2] << 8, 4) +
               " x64";
      break;
    case 0x81:
      if (n == 5)
        return "write settings byte " + std::to_string(r[3]) + ":" +
               HexAddress(r[1] | r[2] << 8, 4) + " = " + HexByte(r[4]);
      break;
    case 0x90:
      if (n >= 4) {
        return "ST " + DescribeStCommand(r.subspan(4)) + " (wait " + std::to_string(r[1]) +
               " s, count " + std::to_string(r[2]) + ")";
      }
      break;
    default:
      break;
  }
  switch (c & 0x0F) {
    case 0x5:
      if (n == 259)
        return "program page " + HexAddress(r[1] << 8 | r[2] << 16) + " (" + HexByte(c) + ")";
      break;
    case 0x6:
      if (n == 4) return "erase sector " + std::to_string(r[1]) + " (" + HexByte(c) + ")";
      break;
    case 0x8:
      if (n == 5)
        return "short program " + HexAddress(r[1] << 8 | r[2] << 16) + " (" + HexByte(c) + ")";
      break;
    default:
      break;
  }
  return "request " + HexByte(c) + " (" + std::to_string(n) + " bytes)";
}

}  // namespace korvex::sim
