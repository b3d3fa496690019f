// Plain geometry shared by the window front ends. Every size here is in logical pixels: the
// pixels of a 96-dpi screen. A front end multiplies by its scale (1.0 at 96 dpi, 2.0 on a
// screen twice as dense) when it creates native controls, and paints at device resolution.
#pragma once

#include <cstdint>

namespace korvex::view {

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  int Right() const { return left + width; }   // one past the last column
  int Bottom() const { return top + height; }  // one past the last row
  Size Extent() const { return {width, height}; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// A colour as 8-bit red, green and blue.
struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A length in logical pixels at `scale`, rounded to the nearest device pixel.
int Scaled(int logical, double scale);
Rect Scaled(const Rect& logical, double scale);
Size Scaled(const Size& logical, double scale);

// A window of `size` centred over `owner` (a dialog over the main window, the main window over
// the screen's available area).
Rect CentredOver(const Rect& owner, Size size);

// `frame` moved as little as possible so that it lies inside `available` (the screen's area
// without panels and taskbars). A frame larger than the area is aligned with its left or top
// edge, so the title bar and the first controls stay reachable.
Rect KeepInside(const Rect& frame, const Rect& available);

// The largest scale not above `wanted` at which a window of `logical` size, its frame
// included, fits `availableDevice` (in device pixels). Never below 1.0: at 96 dpi the window
// is drawn as designed even on a small screen.
double FittingScale(Size logical, Size availableDevice, double wanted);

}  // namespace korvex::view
