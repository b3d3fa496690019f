// The firmware file in memory: the main image addressed like the panel's 512 KB FLASH, the
// decoded ST program, and the identity decoded from the image's header.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvex::firmware {

// Sizes and places of the file format.
inline constexpr std::uint32_t kMainImageSize = 0x80000;      // 524288, the panel's FLASH
inline constexpr std::uint32_t kMainImageFileSize = 0x60000;  // 393216, scrambled in the file
inline constexpr std::uint32_t kProgramSize = 393212;         // program bytes before the checks
inline constexpr std::uint32_t kCheckSumAddress = 0x5FFFC;    // 16-bit sum, low byte first
inline constexpr std::uint32_t kCheckXorAddress = 0x5FFFE;
inline constexpr std::uint32_t kCheckChainAddress = 0x5FFFF;
inline constexpr std::uint32_t kStSectionOffset = 0x60000;  // ST section, after the image
inline constexpr std::uint32_t kStImageSize = 128512;       // the longest ST section
inline constexpr std::uint32_t kStCheckValueSize = 4;
inline constexpr std::uint32_t kMaxImageTransfer = 65535;  // ImagePut / ImageGet count limit

// The ST section kind, selected by the file size.
enum class StSectionKind { kNone, kA, kB, kC };

// Length N of the ST section of a kind (0 for none).
std::uint32_t StSectionLength(StSectionKind kind);
// The file size that goes with a kind.
std::uint64_t FileSizeFor(StSectionKind kind);
// The kind a file size selects; nullopt for a size the format does not have.
std::optional<StSectionKind> StKindForFileSize(std::uint64_t size);
// "none", "A", "B" or "C".
const char* StKindName(StSectionKind kind);

struct FirmwareImage {
  FirmwareImage();

  std::vector<std::uint8_t> MainImage;  // kMainImageSize bytes
  std::vector<std::uint8_t> StImage;    // kStImageSize bytes; the first N hold the ST program
  StSectionKind StKind = StSectionKind::kNone;

  // Identity, decoded from the header at 0x12000.
  int PanelType = 0;            // 0..8
  std::string FileVersionText;  // 3 version digits, 8 date digits, 3 beta digits
  std::uint8_t LanguageCode = 0;
  std::uint8_t BetaNumber = 0;  // 0 for a release
  bool VarekVariant = false;
  bool BlgSignature = false;
  std::string FileDescription;  // the one-line description the operator sees

  // Copies bytes into / out of MainImage at address pos. Refused (false, nothing copied)
  // when pos is outside the image, more than 65535 bytes are asked for, or the range passes
  // the end of the image.
  bool ImagePut(std::uint32_t pos, std::span<const std::uint8_t> source);
  bool ImageGet(std::uint32_t pos, std::span<std::uint8_t> destination) const;

  // The 393212 program bytes and the 0x60000 bytes the file fills.
  std::span<const std::uint8_t> Program() const;
  std::span<const std::uint8_t> FileArea() const;
  // The first N bytes of StImage for the current kind.
  std::span<const std::uint8_t> StProgram() const;
};

}  // namespace korvex::firmware
