#include "view/geometry.h"

#include <algorithm>
#include <cmath>

namespace korvex::view {

int Scaled(int logical, double scale) {
  return static_cast<int>(std::lround(logical * scale));
}

Rect Scaled(const Rect& logical, double scale) {
  // Edges are scaled, not sizes, so that neighbouring rectangles stay adjacent.
  const int left = Scaled(logical.left, scale);
  const int top = Scaled(logical.top, scale);
  return {left, top, Scaled(logical.Right(), scale) - left, Scaled(logical.Bottom(), scale) - top};
}

Size Scaled(const Size& logical, double scale) {
  return {Scaled(logical.width, scale), Scaled(logical.height, scale)};
}

Rect CentredOver(const Rect& owner, Size size) {
  return {owner.left + (owner.width - size.width) / 2, owner.top + (owner.height - size.height) / 2,
          size.width, size.height};
}

namespace {

// The start of a span of `length` moved into [areaStart, areaStart + areaLength).
int KeepSpanInside(int start, int length, int areaStart, int areaLength) {
  if (length >= areaLength) return areaStart;
  return std::clamp(start, areaStart, areaStart + areaLength - length);
}

}  // namespace

Rect KeepInside(const Rect& frame, const Rect& available) {
  return {KeepSpanInside(frame.left, frame.width, available.left, available.width),
          KeepSpanInside(frame.top, frame.height, available.top, available.height), frame.width,
          frame.height};
}

double FittingScale(Size logical, Size availableDevice, double wanted) {
  if (logical.width <= 0 || logical.height <= 0) return std::max(1.0, wanted);
  const double fit = std::min(static_cast<double>(availableDevice.width) / logical.width,
                              static_cast<double>(availableDevice.height) / logical.height);
  // Quarter steps keep the fonts' sizes whole at the common densities.
  const double stepped = std::floor(std::min(wanted, fit) * 4.0) / 4.0;
  return std::max(1.0, stepped);
}

}  // namespace korvex::view
