#include "win/icon_file.h"

#include <cstdint>

namespace korvex::win {

namespace {

// A 6-byte header (reserved 0, type 1 for icons, image count), then 16-byte directory
// entries whose last two fields are the image's size and offset in the file.
constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::uint16_t kIconType = 1;

std::uint32_t ReadLE(std::span<const unsigned char> bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i)
    value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

}  // namespace

std::optional<IconImageSpan> FirstIconImage(std::span<const unsigned char> file) {
  if (file.size() < kHeaderSize + kEntrySize) return std::nullopt;
  if (ReadLE(file, 0, 2) != 0 || ReadLE(file, 2, 2) != kIconType || ReadLE(file, 4, 2) == 0) {
    return std::nullopt;
  }
  const std::size_t size = ReadLE(file, kHeaderSize + 8, 4);
  const std::size_t offset = ReadLE(file, kHeaderSize + 12, 4);
  if (size == 0 || offset > file.size() || size > file.size() - offset) return std::nullopt;
  return IconImageSpan{offset, size};
}

}  // namespace korvex::win
