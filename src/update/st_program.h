// What the ST program phase knows about the three kinds of ST controller, and the pure pieces
// it is built from: the requests' address forms, the version texts, the 128-byte block check
// and the rule by which a version text the ST reports is well formed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"

namespace korvex::update {

// The ST's program memory is compared, erased, programmed and verified in blocks of this size.
inline constexpr std::uint32_t kStBlockSize = 128;

// Requests of the ST's own starter (first byte) and the answer byte each one expects.
inline constexpr std::uint8_t kStErase = 0x12;
inline constexpr std::uint8_t kStBlankCheck = 0x13;
inline constexpr std::uint8_t kStProgramBlock = 0x14;
inline constexpr std::uint8_t kStBlockCheck = 0x15;
inline constexpr std::uint8_t kStStarterVersion = 0x16;
inline constexpr std::uint8_t kStUnlock = 0x17;
inline constexpr std::uint8_t kStProgramVersion = 0x18;
inline constexpr std::uint8_t kStRead = 0x19;
inline constexpr std::uint8_t kStSession = 0x1A;
inline constexpr std::uint8_t kStWriteOptionsB = 0x1B;
inline constexpr std::uint8_t kStProtect = 0x1C;
inline constexpr std::uint8_t kStReadOptions = 0x1D;
inline constexpr std::uint8_t kStWriteOptionsC = 0x1F;
// Every answer byte is the request byte + 0x10.
constexpr std::uint8_t StAnswerTo(std::uint8_t request) {
  return static_cast<std::uint8_t>(request + 0x10);
}

inline constexpr std::array<std::uint8_t, 4> kStUnlockCode = {0x3B, 0xC1, 0x09, 0xE4};
inline constexpr std::uint8_t kStEraseKey = 0xAA;
inline constexpr std::uint8_t kStProtected = 0xAA;     // the protection byte once protected
inline constexpr std::uint8_t kStSessionOpen = 0xFF;   // kind A: opens programming
inline constexpr std::uint8_t kStSessionClose = 0x00;  // kind A: closes it
inline constexpr std::uint8_t kStStatusDone = 0x00;    // second byte of a two-byte answer

// The FSK bytes belong to the panel; values above this are not valid and are replaced.
inline constexpr std::uint8_t kFskLimit = 0x3F;
inline constexpr std::uint8_t kFskPlusDefault = 0x01;
inline constexpr std::uint8_t kFskMinusDefault = 0x28;

// Version texts: "V.VV YYYY-MM-DD".
inline constexpr std::size_t kStVersionTextLength = 15;
inline constexpr std::uint8_t kStVersionReplyCount = 8;  // answer, 6 version bytes, their sum

enum class StAddressForm {
  kTwoBytesLowFirst,    // kind A
  kThreeBytesHighFirst  // kinds B and C
};

struct StKindTraits {
  firmware::StSectionKind kind = firmware::StSectionKind::kNone;
  std::uint32_t start = 0;  // ST address of the section's byte 0
  std::uint32_t count = 0;  // bytes compared, erased, blank-checked, programmed and verified
  std::uint8_t erased = 0;  // the value of an erased byte
  StAddressForm addressForm = StAddressForm::kThreeBytesHighFirst;
  std::uint32_t versionOffset = 0;  // the program's version record in the section

  // The FSK bytes (kinds A and B): the read request, its reply count, the index of FskPlus in
  // the reply (FskMinus follows; index 0 is the answer byte) and their offset in the section.
  bool hasFsk = false;
  std::vector<std::uint8_t> fskRequest;
  std::uint8_t fskReplyCount = 0;
  std::size_t fskReplyIndex = 0;
  std::uint32_t fskOffset = 0;

  // The option bytes (kinds B and C): the expected bytes, the reply count of the option read
  // (answer, protection byte, options) and the request that writes them.
  std::vector<std::uint8_t> options;
  std::uint8_t optionReplyCount = 0;
  std::uint8_t optionWriteRequest = 0;
  // Kind A opens and closes a programming session around erase and programming.
  bool hasSession = false;

  std::uint32_t Blocks() const { return count / kStBlockSize; }
};

// The ST kind a panel type carries: A for 4, B for 5, C for 6 to 8, none for 0 to 3.
firmware::StSectionKind StKindForPanelType(int panelType);
std::optional<StKindTraits> StKindTraitsFor(firmware::StSectionKind kind);

// The ST address in the kind's form, as it follows the request byte.
std::vector<std::uint8_t> StAddressBytes(const StKindTraits& traits, std::uint32_t address);
// A request: the request byte, the address of section offset `offset`, then `data`.
std::vector<std::uint8_t> StAddressedRequest(const StKindTraits& traits, std::uint8_t request,
                                             std::uint32_t offset,
                                             std::span<const std::uint8_t> data = {});

// The ST's 16-bit check of a block: per byte, add (b + 13) mod 256, rotate left by one bit,
// then exclusive-or 0x00FF.
std::uint16_t StBlockCheck(std::span<const std::uint8_t> block);

// The two characters of a byte's two nibbles, each as '0' + nibble (a nibble above 9 gives a
// character after '9').
std::string StDigitPair(std::uint8_t x);
// "V.VV YYYY-MM-DD" of a version reply (the answer byte and at least six version bytes).
std::string StReplyVersionText(std::span<const std::uint8_t> reply);
// The same text from the version record of an ST program: three digit values, then the year
// (two bytes), month and day as two decimal digits each.
std::string StFileVersionText(std::span<const std::uint8_t> record);

// True when the text is a version text of the form "D.DD DDDD-DD-DD" with decimal digits.
bool StVersionWellFormed(const std::string& text);
// Text order: byte by byte as unsigned values, a prefix being the smaller.
bool StTextGreater(const std::string& a, const std::string& b);

// True when every byte of the block is the kind's erased value.
bool StBlockErased(const StKindTraits& traits, std::span<const std::uint8_t> block);

}  // namespace korvex::update
