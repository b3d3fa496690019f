// Where the first image of an icon file lies. The button pictures are stored as whole icon
// files; the system's icon calls want the image alone.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace korvex::win {

struct IconImageSpan {
  std::size_t offset = 0;
  std::size_t size = 0;
};

// The first image of `file`, or nullopt when `file` is not an icon file or its directory
// points outside it.
std::optional<IconImageSpan> FirstIconImage(std::span<const unsigned char> file);

}  // namespace korvex::win
