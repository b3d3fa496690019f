#include "update/updater_images.h"

namespace korvex::update {

namespace {

// Embedded at configure time from KORVEX_UPDATER_IMAGES, which is checked there.
constexpr std::uint8_t kBuiltInImages[] = {
#include "korvex/updater_images.inc"
};
static_assert(sizeof(kBuiltInImages) == kUpdaterImagesSize,
              "the updater image file must hold ten images of 8448 bytes");

constexpr std::uint8_t kFirstUpdaterKind = 5;
constexpr std::uint8_t kLastUpdaterKind = 9;
// Panel type 8 has images of its own.
constexpr std::uint8_t kOwnImagePanelType = 8;

}  // namespace

std::span<const std::uint8_t> BuiltInUpdaterImages() {
  return kBuiltInImages;
}

std::optional<std::size_t> UpdaterImageIndex(std::uint8_t flashKind, std::uint8_t panelType) {
  if (flashKind < kFirstUpdaterKind || flashKind > kLastUpdaterKind) return std::nullopt;
  return static_cast<std::size_t>(flashKind - kFirstUpdaterKind) * 2 +
         (panelType == kOwnImagePanelType ? 1 : 0);
}

std::span<const std::uint8_t> UpdaterImageAt(std::span<const std::uint8_t> images,
                                             std::size_t index) {
  if (index >= kUpdaterImageCount || images.size() < (index + 1) * kUpdaterImageSize) return {};
  return images.subspan(index * kUpdaterImageSize, kUpdaterImageSize);
}

std::uint16_t UpdaterImageCheck(std::span<const std::uint8_t> image) {
  std::uint16_t check = kUpdaterCheckSeed;
  for (std::size_t i = 0; i < kUpdaterCheckedSize && i < image.size(); ++i) {
    check = static_cast<std::uint16_t>(check + image[i]);
  }
  return check;
}

bool UpdaterImageSound(std::span<const std::uint8_t> image) {
  if (image.size() != kUpdaterImageSize) return false;
  const auto stored =
      static_cast<std::uint16_t>(image[kUpdaterCheckedSize] | image[kUpdaterCheckedSize + 1] << 8);
  return UpdaterImageCheck(image) == stored;
}

}  // namespace korvex::update
