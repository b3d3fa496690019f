#include "firmware/firmware_image.h"

#include <algorithm>

namespace korvex::firmware {

namespace {

bool RangeAllowed(std::uint32_t pos, std::size_t count, std::size_t imageSize) {
  const std::size_t size = std::min<std::size_t>(imageSize, kMainImageSize);
  return pos < size && count <= kMaxImageTransfer && count <= size - pos;
}

}  // namespace

std::uint32_t StSectionLength(StSectionKind kind) {
  switch (kind) {
    case StSectionKind::kA:
      return 61440;
    case StSectionKind::kB:
      return 128512;
    case StSectionKind::kC:
      return 30208;
    case StSectionKind::kNone:
      break;
  }
  return 0;
}

std::uint64_t FileSizeFor(StSectionKind kind) {
  const std::uint32_t n = StSectionLength(kind);
  return kMainImageFileSize + (n == 0 ? 0 : n + kStCheckValueSize);
}

std::optional<StSectionKind> StKindForFileSize(std::uint64_t size) {
  for (StSectionKind kind :
       {StSectionKind::kNone, StSectionKind::kA, StSectionKind::kB, StSectionKind::kC}) {
    if (FileSizeFor(kind) == size) return kind;
  }
  return std::nullopt;
}

const char* StKindName(StSectionKind kind) {
  switch (kind) {
    case StSectionKind::kA:
      return "A";
    case StSectionKind::kB:
      return "B";
    case StSectionKind::kC:
      return "C";
    case StSectionKind::kNone:
      break;
  }
  return "none";
}

FirmwareImage::FirmwareImage() : MainImage(kMainImageSize, 0), StImage(kStImageSize, 0) {}

bool FirmwareImage::ImagePut(std::uint32_t pos, std::span<const std::uint8_t> source) {
  if (!RangeAllowed(pos, source.size(), MainImage.size())) return false;
  std::copy(source.begin(), source.end(), MainImage.begin() + pos);
  return true;
}

bool FirmwareImage::ImageGet(std::uint32_t pos, std::span<std::uint8_t> destination) const {
  if (!RangeAllowed(pos, destination.size(), MainImage.size())) return false;
  std::copy_n(MainImage.begin() + pos, destination.size(), destination.begin());
  return true;
}

std::span<const std::uint8_t> FirmwareImage::Program() const {
  return std::span<const std::uint8_t>(MainImage).first(kProgramSize);
}

std::span<const std::uint8_t> FirmwareImage::FileArea() const {
  return std::span<const std::uint8_t>(MainImage).first(kMainImageFileSize);
}

std::span<const std::uint8_t> FirmwareImage::StProgram() const {
  return std::span<const std::uint8_t>(StImage).first(StSectionLength(StKind));
}

}  // namespace korvex::firmware
