// The ST program section that follows the main image in files for panel types 4 to 8. It is
// protected by a keystream of its own, whose final state is stored as a 32-bit check value,
// and the ST program inside carries its own 16-bit checksum.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "firmware/firmware_image.h"

namespace korvex::firmware {

inline constexpr std::uint32_t kStKeyAStart = 0x3CE2A817;
inline constexpr std::uint32_t kStKeyBStart = 0xE05B6C29;

// Where things lie in the ST program of a kind (offsets into StImage).
struct StLayout {
  std::uint32_t length;          // N, bytes of the section
  std::uint32_t addressBase;     // ST address of StImage[0]
  std::uint32_t coveredEnd;      // the ST checksum covers offsets 0..coveredEnd-1 ...
  std::uint32_t checksumOffset;  // ... except the two stored checksum bytes (low, high) here
};
std::optional<StLayout> StLayoutFor(StSectionKind kind);

// Rotates x left by one bit; bit 31 moves to bit 0.
void RotateLeft1(std::uint32_t& x);

// The section keystream. Decoding and encoding advance the same state, so a section encoded
// with a fresh keystream decodes with a fresh one, and both end on the same KeyB.
class StKeystream {
 public:
  std::uint8_t Decode(std::uint8_t c);
  std::uint8_t Encode(std::uint8_t d);
  std::uint32_t KeyA() const { return keyA_; }
  std::uint32_t KeyB() const { return keyB_; }  // after the last byte: the check value

 private:
  void Advance(std::uint8_t d, std::uint8_t c);
  std::uint32_t keyA_ = kStKeyAStart;
  std::uint32_t keyB_ = kStKeyBStart;
  std::uint32_t index_ = 0;
};

// Decodes / encodes a whole section (the two spans have the same length) and returns the
// check value that goes with it.
std::uint32_t DecodeStBytes(std::span<const std::uint8_t> encoded, std::span<std::uint8_t> decoded);
std::uint32_t EncodeStBytes(std::span<const std::uint8_t> decoded, std::span<std::uint8_t> encoded);

// The ST checksum over the covered bytes of an ST program of the given layout
// (program.size() must be at least layout.coveredEnd).
std::uint16_t StChecksum(std::span<const std::uint8_t> program, const StLayout& layout);

// Checks the ST program's stored checksum in image.StImage for image.StKind: true when it is
// right; otherwise writes the right one (low byte first) and returns false. False and no
// change for a file without ST section.
bool RefreshStCheck(FirmwareImage& image);

enum class StSectionOutcome { kValid, kInvalid, kCannotOpen };

// Reads the ST section of the file at `path` (kind image.StKind) into image.StImage, removes
// the keystream and checks the check value and the ST checksum. The file is opened again,
// without descrambling, with the usual retries; waitAfterFailure runs after each failed
// attempt. A read error or a file that ends early makes the section invalid.
StSectionOutcome ReadStSection(const std::string& path, FirmwareImage& image,
                               const std::function<void()>& waitAfterFailure);

}  // namespace korvex::firmware
