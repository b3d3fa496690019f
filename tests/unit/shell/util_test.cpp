#include "shell/util.h"

#include <gtest/gtest.h>

#include <climits>

namespace korvex::shell {
namespace {

TEST(WrapAround, WrapsAtEachWidthsLimit) {
  std::uint8_t b = 200;
  AddByte(b, 100);
  EXPECT_EQ(b, 44);
  b = 0;
  SubByte(b, 1);
  EXPECT_EQ(b, 255);

  std::uint16_t w = 0xFFFF;
  AddWord(w, 1);
  EXPECT_EQ(w, 0);
  w = 3;
  SubWord(w, 5);
  EXPECT_EQ(w, 65534);

  std::int32_t l = INT32_MAX;
  AddLong(l, 1);
  EXPECT_EQ(l, INT32_MIN);
  SubLong(l, 1);
  EXPECT_EQ(l, INT32_MAX);

  std::uint32_t u = 0;
  SubULong(u, 1);
  EXPECT_EQ(u, 0xFFFFFFFFu);
}

TEST(BitSet, TestsSingleBits) {
  EXPECT_TRUE(BitSet(static_cast<std::int32_t>(0x80000000u), 31));
  EXPECT_FALSE(BitSet(0x7FFFFFFF, 31));
  EXPECT_TRUE(BitSet(5, 2));
  EXPECT_FALSE(BitSet(5, 1));
}

TEST(NumText, RightAlignsButNeverCuts) {
  struct Case {
    std::int32_t value;
    int width;
    const char* text;
  } cases[] = {{7, 3, "  7"}, {1234, 2, "1234"}, {-5, 0, "-5"}, {-5, 4, "  -5"}, {0, 1, "0"}};
  for (const auto& c : cases) EXPECT_EQ(NumText(c.value, c.width), c.text) << c.value;
}

TEST(HexText, KeepsExactlyTheRequestedDigits) {
  EXPECT_EQ(HexText(255, 4), "00FF");
  EXPECT_EQ(HexText(0xFFFFFFFF, 8), "FFFFFFFF");
  EXPECT_EQ(HexText(0x1A2B, 2), "2B");
  EXPECT_EQ(HexText(0x1A2B, 0), "");
  EXPECT_EQ(HexText(0x1A2B, -1), "");
}

}  // namespace
}  // namespace korvex::shell
