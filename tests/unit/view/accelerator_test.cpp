#include "view/accelerator.h"

#include <gtest/gtest.h>

namespace korvex::view {
namespace {

TEST(AcceleratorTest, TheMarkedCharacterAndTheCaptionAsShown) {
  struct Case {
    const char* caption;
    char accelerator;
    const char* shown;
  };
  const Case cases[] = {
      {"Sc&an", 'a', "Scan"},
      {"&none", 'n', "none"},
      {"/dev/pts/&9", '9', "/dev/pts/9"},
      {"COM11", 0, "COM11"},
      {"Fish && &Chips", 'C', "Fish & Chips"},
      {"trailing&", 0, "trailing&"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AcceleratorOf(c.caption), c.accelerator) << c.caption;
    EXPECT_EQ(WithoutAccelerator(c.caption), c.shown) << c.caption;
  }
}

}  // namespace
}  // namespace korvex::view
