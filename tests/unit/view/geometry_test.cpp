#include "view/geometry.h"

#include <gtest/gtest.h>

namespace korvex::view {
namespace {

TEST(GeometryTest, ScalingKeepsNeighbouringRectanglesAdjacent) {
  // At 1.25 the edges 8, 39 and 48 land on 10, 49 and 60: the gap between two buttons stays.
  const Rect open = Scaled(Rect{8, 8, 31, 31}, 1.25);
  const Rect program = Scaled(Rect{48, 8, 31, 31}, 1.25);
  EXPECT_EQ(open, (Rect{10, 10, 39, 39}));
  EXPECT_EQ(program.left, 60);
  EXPECT_EQ(Scaled(Rect{0, 0, 3, 3}, 1.5).Right(), Scaled(Rect{3, 0, 3, 3}, 1.5).left);
  EXPECT_EQ(Scaled(Size{806, 366}, 2.0), (Size{1612, 732}));
}

TEST(GeometryTest, KeepInsideMovesAFrameOntoTheAvailableArea) {
  const Rect area{0, 30, 1280, 994};  // a panel of 30 pixels at the top
  struct Case {
    Rect frame;
    Rect expected;
  };
  const Case cases[] = {
      {{100, 100, 822, 430}, {100, 100, 822, 430}},   // already inside
      {{-50, 0, 822, 430}, {0, 30, 822, 430}},        // off the left and under the panel
      {{900, 800, 822, 430}, {458, 594, 822, 430}},   // off the right and the bottom
      {{-200, 100, 1612, 790}, {0, 100, 1612, 790}},  // wider than the area: its left edge
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KeepInside(c.frame, area), c.expected) << c.frame.left << "," << c.frame.top;
  }
}

TEST(GeometryTest, CentredOverTheOwner) {
  EXPECT_EQ(CentredOver(Rect{100, 50, 822, 430}, Size{234, 74}), (Rect{394, 228, 234, 74}));
}

TEST(GeometryTest, FittingScaleStaysBelowTheScreenAndNeverUnderOne) {
  struct Case {
    Size screen;
    double wanted;
    double expected;
  };
  const Size window{822, 430};
  const Case cases[] = {
      {{2560, 1440}, 2.0, 2.0},  // fits as wanted
      {{1280, 1024}, 2.0, 1.5},  // 1644 would not fit 1280; 1.5 gives 1233
      {{1280, 1024}, 1.0, 1.0},   {{640, 480}, 1.0, 1.0},  // too small even at 1: drawn as designed
      {{1920, 1080}, 1.75, 1.75},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(FittingScale(window, c.screen, c.wanted), c.expected)
        << c.screen.width << "x" << c.screen.height << " at " << c.wanted;
  }
}

}  // namespace
}  // namespace korvex::view
