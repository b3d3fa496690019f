#include "update/st_program.h"

#include <algorithm>

namespace korvex::update {

namespace {

using firmware::StSectionKind;

constexpr std::uint8_t kBlockCheckAddend = 13;
constexpr std::uint16_t kBlockCheckMask = 0x00FF;

char DigitChar(unsigned value) {
  return static_cast<char>(0x30 + value);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

StSectionKind StKindForPanelType(int panelType) {
  switch (panelType) {
    case 4:
      return StSectionKind::kA;
    case 5:
      return StSectionKind::kB;
    case 6:
    case 7:
    case 8:
      return StSectionKind::kC;
    default:
      return StSectionKind::kNone;
  }
}

std::optional<StKindTraits> StKindTraitsFor(StSectionKind kind) {
  StKindTraits traits;
  traits.kind = kind;
  switch (kind) {
    case StSectionKind::kA:
      traits.start = 0x1000;
      traits.count = 0xE000;
      traits.erased = 0xFF;
      traits.addressForm = StAddressForm::kTwoBytesLowFirst;
      traits.versionOffset = 0xDFB0;
      traits.hasFsk = true;
      traits.fskRequest = {kStRead, 0x80, 0xEF};  // 128 bytes from ST address 0xEF80
      traits.fskReplyCount = 131;
      traits.fskReplyIndex = 7;  // ST address 0xEF84
      traits.fskOffset = 0xDF84;
      traits.hasSession = true;
      return traits;
    case StSectionKind::kB:
      traits.start = 0x8A00;
      traits.count = 0x1F600;
      traits.erased = 0x00;
      traits.addressForm = StAddressForm::kThreeBytesHighFirst;
      traits.versionOffset = 0x1F5D0;
      traits.hasFsk = true;
      traits.fskRequest = {kStRead, 0x02, 0x7F, 0xA0};  // 128 bytes from ST address 0x27FA0
      traits.fskReplyCount = 132;
      traits.fskReplyIndex = 8;  // ST address 0x27FA4
      traits.fskOffset = 0x1F5A4;
      traits.options = {0x03, 0xFC, 0x00, 0xFF, 0x0D, 0xF2, 0x01,
                        0xFE, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF};
      traits.optionReplyCount = 16;
      traits.optionWriteRequest = kStWriteOptionsB;
      return traits;
    case StSectionKind::kC:
      traits.start = 0x8A00;
      traits.count = 0x7600;
      traits.erased = 0x00;
      traits.addressForm = StAddressForm::kThreeBytesHighFirst;
      traits.versionOffset = 0x75D0;
      traits.options = {0x14, 0x09, 0x0F, 0x09, 0x00, 0x00};
      traits.optionReplyCount = 8;
      traits.optionWriteRequest = kStWriteOptionsC;
      return traits;
    case StSectionKind::kNone:
      break;
  }
  return std::nullopt;
}

std::vector<std::uint8_t> StAddressBytes(const StKindTraits& traits, std::uint32_t address) {
  if (traits.addressForm == StAddressForm::kTwoBytesLowFirst) {
    return {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8)};
  }
  return {static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
          static_cast<std::uint8_t>(address)};
}

std::vector<std::uint8_t> StAddressedRequest(const StKindTraits& traits, std::uint8_t request,
                                             std::uint32_t offset,
                                             std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> bytes{request};
  const std::vector<std::uint8_t> address = StAddressBytes(traits, traits.start + offset);
  bytes.insert(bytes.end(), address.begin(), address.end());
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

std::uint16_t StBlockCheck(std::span<const std::uint8_t> block) {
  std::uint16_t s = 0;
  for (std::uint8_t b : block) {
    s = static_cast<std::uint16_t>(s + static_cast<std::uint8_t>(b + kBlockCheckAddend));
    s = static_cast<std::uint16_t>((s << 1) | (s >> 15));
    s = static_cast<std::uint16_t>(s ^ kBlockCheckMask);
  }
  return s;
}

std::string StDigitPair(std::uint8_t x) {
  return {DigitChar(x / 16u), DigitChar(x % 16u)};
}

std::string StReplyVersionText(std::span<const std::uint8_t> reply) {
  if (reply.size() < 7) return {};
  return std::string(1, DigitChar(reply[1] % 16u)) + "." + StDigitPair(reply[2]) + " " +
         StDigitPair(reply[3]) + StDigitPair(reply[4]) + "-" + StDigitPair(reply[5]) + "-" +
         StDigitPair(reply[6]);
}

std::string StFileVersionText(std::span<const std::uint8_t> record) {
  if (record.size() < 7) return {};
  return std::string{DigitChar(record[0]), '.', DigitChar(record[1]), DigitChar(record[2]), ' '} +
         StDigitPair(record[3]) + StDigitPair(record[4]) + "-" + StDigitPair(record[5]) + "-" +
         StDigitPair(record[6]);
}

bool StVersionWellFormed(const std::string& text) {
  if (text.size() != kStVersionTextLength) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Positions counted from 1: 2 '.', 5 ' ', 10 and 13 '-', digits elsewhere.
    switch (i + 1) {
      case 2:
        if (text[i] != '.') return false;
        break;
      case 5:
        if (text[i] != ' ') return false;
        break;
      case 10:
      case 13:
        if (text[i] != '-') return false;
        break;
      default:
        if (!IsDigit(text[i])) return false;
        break;
    }
  }
  return true;
}

bool StTextGreater(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

bool StBlockErased(const StKindTraits& traits, std::span<const std::uint8_t> block) {
  return std::all_of(block.begin(), block.end(),
                     [&](std::uint8_t b) { return b == traits.erased; });
}

}  // namespace korvex::update
