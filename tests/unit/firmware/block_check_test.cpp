#include "firmware/block_check.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace korvex::firmware {
namespace {

TEST(BlockCheck, ErasedBlockGivesTheStarterValues) {
  const std::vector<std::uint8_t> erased(512, 0xFF);
  const BlockCheckValues values = BlockCheck(erased);
  EXPECT_EQ(values.sum, 0xAE94);
  EXPECT_EQ(values.xorValue, 0x7A);
  EXPECT_EQ(values.chain, 0x2D);
}

TEST(BlockCheck, HandWorkedShortBlock) {
  // 0x3E + 0x01 = 0x3F -> 0xF3; 0xF3 + 0x20 = 0x13 (mod 256) -> 0x31.
  const std::vector<std::uint8_t> bytes = {0x01, 0x20};
  const BlockCheckValues values = BlockCheck(bytes);
  EXPECT_EQ(values.sum, 0xB094 + 0x21);
  EXPECT_EQ(values.xorValue, 0x7A ^ 0x01 ^ 0x20);
  EXPECT_EQ(values.chain, 0x31);
  EXPECT_EQ(BlockCheck({}), BlockCheckValues{});
}

TEST(BlockCheck, SumWrapsAndPiecesGiveTheWholeBlockValues) {
  std::vector<std::uint8_t> bytes(70000);
  std::iota(bytes.begin(), bytes.end(), 0);  // wraps at 256
  const BlockCheckValues whole = BlockCheck(bytes);
  std::uint32_t sum = 0xB094;
  for (std::uint8_t b : bytes) sum += b;
  EXPECT_EQ(whole.sum, sum % 65536);
  BlockCheckValues pieces;
  const std::span<const std::uint8_t> all(bytes);
  pieces.Add(all.first(1));
  pieces.Add(all.subspan(1, 511));
  pieces.Add(all.subspan(512));
  EXPECT_EQ(pieces, whole);
}

}  // namespace
}  // namespace korvex::firmware
