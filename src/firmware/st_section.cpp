#include "firmware/st_section.h"

#include <vector>

#include "firmware/file_stream.h"

namespace korvex::firmware {

std::optional<StLayout> StLayoutFor(StSectionKind kind) {
  switch (kind) {
    case StSectionKind::kA:
      return StLayout{61440, 0x1000, 0xE000, 0xDFBE};
    case StSectionKind::kB:
      return StLayout{128512, 0x8A00, 0x1F600, 0x1F5FE};
    case StSectionKind::kC:
      return StLayout{30208, 0x8A00, 0x7600, 0x75FE};
    case StSectionKind::kNone:
      break;
  }
  return std::nullopt;
}

void RotateLeft1(std::uint32_t& x) {
  x = (x << 1) | (x >> 31);
}

void StKeystream::Advance(std::uint8_t d, std::uint8_t c) {
  keyB_ += d;
  RotateLeft1(keyB_);
  keyA_ += keyB_;
  RotateLeft1(keyA_);
  keyA_ += index_;
  RotateLeft1(keyA_);
  keyA_ += c;
  RotateLeft1(keyA_);
  ++index_;
}

std::uint8_t StKeystream::Decode(std::uint8_t c) {
  const std::uint8_t d = static_cast<std::uint8_t>(c ^ (keyA_ & 0xFF));
  Advance(d, c);
  return d;
}

std::uint8_t StKeystream::Encode(std::uint8_t d) {
  const std::uint8_t c = static_cast<std::uint8_t>(d ^ (keyA_ & 0xFF));
  Advance(d, c);
  return c;
}

std::uint32_t DecodeStBytes(std::span<const std::uint8_t> encoded,
                            std::span<std::uint8_t> decoded) {
  StKeystream keystream;
  for (std::size_t i = 0; i < encoded.size() && i < decoded.size(); ++i) {
    decoded[i] = keystream.Decode(encoded[i]);
  }
  return keystream.KeyB();
}

std::uint32_t EncodeStBytes(std::span<const std::uint8_t> decoded,
                            std::span<std::uint8_t> encoded) {
  StKeystream keystream;
  for (std::size_t i = 0; i < decoded.size() && i < encoded.size(); ++i) {
    encoded[i] = keystream.Encode(decoded[i]);
  }
  return keystream.KeyB();
}

std::uint16_t StChecksum(std::span<const std::uint8_t> program, const StLayout& layout) {
  std::uint16_t s = 0;
  for (std::uint32_t i = 0; i < layout.coveredEnd && i < program.size(); ++i) {
    if (i == layout.checksumOffset || i == layout.checksumOffset + 1) continue;
    s = static_cast<std::uint16_t>(s + program[i]);
    s = static_cast<std::uint16_t>((s << 1) | (s >> 15));
  }
  return s;
}

bool RefreshStCheck(FirmwareImage& image) {
  const auto layout = StLayoutFor(image.StKind);
  if (!layout || image.StImage.size() < layout->coveredEnd) return false;
  const std::uint16_t s = StChecksum(image.StImage, *layout);
  std::uint8_t& low = image.StImage[layout->checksumOffset];
  std::uint8_t& high = image.StImage[layout->checksumOffset + 1];
  if (low == (s & 0xFF) && high == (s >> 8)) return true;
  low = static_cast<std::uint8_t>(s & 0xFF);
  high = static_cast<std::uint8_t>(s >> 8);
  return false;
}

StSectionOutcome ReadStSection(const std::string& path, FirmwareImage& image,
                               const std::function<void()>& waitAfterFailure) {
  const auto layout = StLayoutFor(image.StKind);
  auto stream = OpenWithRetries<FileStream>(path, waitAfterFailure);
  if (!stream) return StSectionOutcome::kCannotOpen;
  if (!layout) return StSectionOutcome::kInvalid;
  if (image.StImage.size() < layout->length) image.StImage.resize(kStImageSize);

  std::vector<std::uint8_t> encoded(layout->length + kStCheckValueSize);
  try {
    stream->Seek(kStSectionOffset);
    // A file that became shorter since its size was taken is not read as if it were whole.
    if (stream->Read(encoded) != encoded.size()) return StSectionOutcome::kInvalid;
  } catch (const FileError&) {
    return StSectionOutcome::kInvalid;
  }
  const std::span<const std::uint8_t> section(encoded.data(), layout->length);
  const std::uint32_t keyB =
      DecodeStBytes(section, std::span<std::uint8_t>(image.StImage).first(layout->length));
  std::uint32_t stored = 0;
  for (int k = 3; k >= 0; --k) stored = (stored << 8) | encoded[layout->length + k];
  // Both checks run, so the ST checksum is repaired even when the check value is wrong.
  const bool stChecksumRight = RefreshStCheck(image);
  return stored == keyB && stChecksumRight ? StSectionOutcome::kValid : StSectionOutcome::kInvalid;
}

}  // namespace korvex::firmware
