// The starter updater images the program carries: ten images of 8448 bytes, one after
// another, for FLASH kinds 5 to 9 (for each kind first the image for panel types other than
// 8, then the one for type 8). The set is build configuration (KORVEX_UPDATER_IMAGES);
// FLASH kinds 1 to 4 have no updater.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace korvex::update {

inline constexpr std::size_t kUpdaterImageSize = 0x2100;
inline constexpr std::size_t kUpdaterImageCount = 10;
inline constexpr std::size_t kUpdaterImagesSize = kUpdaterImageSize * kUpdaterImageCount;
// The check: a 16-bit sum from this seed over the first 8192 bytes, stored low byte first
// right after them.
inline constexpr std::size_t kUpdaterCheckedSize = 0x2000;
inline constexpr std::uint16_t kUpdaterCheckSeed = 0x3ABC;

// The images built into the program.
std::span<const std::uint8_t> BuiltInUpdaterImages();

// The position (0..9) of the image for a FLASH kind and panel type; none for kinds without
// an updater.
std::optional<std::size_t> UpdaterImageIndex(std::uint8_t flashKind, std::uint8_t panelType);

// The image at `index` of a set; empty when the set is too short to hold it.
std::span<const std::uint8_t> UpdaterImageAt(std::span<const std::uint8_t> images,
                                             std::size_t index);

// The check computed over an image's first 8192 bytes.
std::uint16_t UpdaterImageCheck(std::span<const std::uint8_t> image);
// True when the image has its full size and the computed check equals the stored one.
bool UpdaterImageSound(std::span<const std::uint8_t> image);

}  // namespace korvex::update
