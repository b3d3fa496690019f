#include "sim/starter_area.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvex::sim {
namespace {

TEST(StarterArea, SumStartsAt2000AndRotatesAfterEveryByte) {
  std::vector<std::uint8_t> area(kStarterSize, 0x00);
  // All zeros: 2000 rotated left once per covered byte (65536 - 12 - 4 of them); a 32-bit
  // value rotated 65520 times is rotated 65520 mod 32 = 16 times.
  EXPECT_EQ(StarterSum(area), (2000u << 16) | (2000u >> 16));
  area[0] = 1;  // (2000 + 1) rotated 65520 times
  EXPECT_EQ(StarterSum(area), (2001u << 16) | (2001u >> 16));
}

TEST(StarterArea, SerialBytesAndTheStoredSumAreNotCovered) {
  const auto area = BuildStarterArea(0x61, 1, 7);
  const std::uint32_t sum = StarterSum(area);
  for (std::uint32_t offset : {0x10u, 0x1Bu, 0x1FFCu, 0x1FFFu}) {
    auto changed = area;
    changed[offset] ^= 0x5A;
    EXPECT_EQ(StarterSum(changed), sum) << offset;
  }
  for (std::uint32_t offset : {0x0Fu, 0x1Cu, 0x1FF9u, 0x1FFBu, 0xFFFFu}) {
    auto changed = area;
    changed[offset] ^= 0x5A;
    EXPECT_NE(StarterSum(changed), sum) << offset;
  }
}

TEST(StarterArea, BuiltAreaHoldsVersionLanguageAndItsSum) {
  const auto area = BuildStarterArea(0x52, 9, 3);
  EXPECT_EQ(area[kStarterLanguageAddress - kStarterBase], 9);
  EXPECT_EQ(area[kStarterMajorDigitAddress - kStarterBase], '5');
  EXPECT_EQ(area[kStarterMinorDigitAddress - kStarterBase], '2');
  EXPECT_EQ(StarterVersionFromDigits(area), 0x52);
  EXPECT_EQ(StoredStarterSum(area), StarterSum(area));
  EXPECT_NE(BuildStarterArea(0x52, 9, 3, StarterDamage::kSum), area);
  EXPECT_NE(StarterVersionFromDigits(BuildStarterArea(0x52, 9, 3, StarterDamage::kDigits)), 0x52);
}

}  // namespace
}  // namespace korvex::sim
