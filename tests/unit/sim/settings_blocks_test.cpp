#include "sim/settings_blocks.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvex::sim {
namespace {

TEST(SettingsLayout, MarksAndSumsOfTheExampleBlocks) {
  struct Case {
    int panelType;
    int area;
    std::uint32_t blockAddress;
    std::uint32_t mark;
    std::uint32_t sum;
    std::uint32_t blocks;
  };
  for (const Case& c :
       {Case{2, 1, 0xFE00, 0xFEFE, 0xFFFC, 127}, Case{0, 1, 0x2500, 0x5260, 0x52A0, 46},
        Case{2, 1, 0x8100, 0xFE81, 0xFF02, 127}, Case{1, 2, 0x5300, 0x60C0, 0x60E0, 14},
        Case{5, 2, 0x8000, 0xDEE0, 0xDF40, 95}, Case{8, 2, 0x8000, 0xE000, 0xE060, 96}}) {
    const auto layout = SettingsLayoutFor(c.panelType, c.area);
    ASSERT_TRUE(layout);
    const std::uint32_t block = (c.blockAddress - layout->base) / 256;
    EXPECT_EQ(layout->MarkAddress(block), c.mark) << c.panelType << "/" << c.area;
    EXPECT_EQ(layout->SumAddress(block), c.sum) << c.panelType << "/" << c.area;
    EXPECT_EQ(layout->BlockCount(), c.blocks) << c.panelType << "/" << c.area;
  }
  EXPECT_FALSE(SettingsLayoutFor(9, 1));
  EXPECT_FALSE(SettingsLayoutFor(2, 3));
}

TEST(SettingsLayout, LastPartialBlockSumsOnlyBytesBelowTheLimit) {
  const auto layout = *SettingsLayoutFor(2, 1);
  std::vector<std::uint8_t> area(kSettingsAreaSize, 0x00);
  for (std::uint32_t a = 0xFE00; a < 0xFF00; ++a) area[a] = 0x01;  // past the limit too
  EXPECT_EQ(SettingsBlockSum(area, layout, 126), 0x80);            // 0xFE00..0xFE7F
  RefreshSettingsChecks(area, layout);
  EXPECT_EQ(area[0xFEFE], 0xFF);
  EXPECT_EQ(area[0xFFFC], 0x80);
  EXPECT_EQ(area[0xFFFD], 0x00);
  EXPECT_TRUE(FindSettingsBlockFaults(area, layout).empty());
  area[0xFE7F] = 0x02;
  area[0xFE90] = 0x02;  // a mark, not a protected byte of block 126
  const auto faults = FindSettingsBlockFaults(area, layout);
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[0].address, 0x9000);  // block 16: its mark is now 0x02
  EXPECT_EQ(faults[0].mark, 0x02);
  EXPECT_EQ(faults[1].address, 0xFE00);
  EXPECT_EQ(faults[1].computedSum, 0x81);
  EXPECT_EQ(faults[1].storedSum, 0x80);
}

}  // namespace
}  // namespace korvex::sim
