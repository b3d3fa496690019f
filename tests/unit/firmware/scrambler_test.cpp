#include "firmware/scrambler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "firmware/scramble_key.h"

namespace korvex::firmware {
namespace {

ScrambleKey RandomKey(std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> bytes(kScrambleKeySize);
  for (int i = 0; i < 256; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  std::shuffle(bytes.begin(), bytes.begin() + 256, rng);
  for (std::size_t i = 256; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(rng());
  return *ScrambleKeyFromBytes(bytes);
}

TEST(ScrambleKey, RefusesWrongSizeAndNonPermutation) {
  std::vector<std::uint8_t> bytes(kScrambleKeySize);
  for (int i = 0; i < 256; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(ScrambleKeyFromBytes(bytes));
  bytes[7] = bytes[8];
  EXPECT_FALSE(ScrambleKeyFromBytes(bytes));
  EXPECT_FALSE(ScrambleKeyFromBytes(std::span(bytes).first(511)));
}

TEST(Scrambler, DescramblesByTheTableFormulaAtEveryPosition) {
  const ScrambleKey key = RandomKey(5);
  std::mt19937 rng(9);
  std::vector<std::uint8_t> data(2000);
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  const std::uint64_t start = 1234567;
  std::vector<std::uint8_t> out = data;
  Descramble(out, start, key);
  for (std::size_t i = 0; i < data.size(); ++i) {
    const std::uint64_t p = start + i;
    const int expected =
        ((key.SubstTable[data[i]] + 256 - key.ShiftTable[p % 29]) % 256) ^ key.MaskTable[p % 227];
    ASSERT_EQ(out[i], expected) << i;
  }
}

TEST(Scrambler, ScrambleIsTheInverse) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    const ScrambleKey key = RandomKey(seed);
    std::vector<std::uint8_t> plain(29 * 227 + 50);
    std::mt19937 rng(seed);
    for (auto& b : plain) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> bytes = plain;
    Scramble(bytes, seed * 1000, key);
    EXPECT_NE(bytes, plain);
    Descramble(bytes, seed * 1000, key);
    EXPECT_EQ(bytes, plain);
  }
}

TEST(Scrambler, CountersWrapAtTheirTableSizes) {
  const ScrambleKey key = RandomKey(4);
  std::vector<std::uint8_t> bytes(300, 0x55);
  std::uint16_t shift = 27;
  std::uint16_t mask = 225;
  DescrambleInPlace(std::span(bytes).first(3), shift, mask, key);
  EXPECT_EQ(shift, 1);
  EXPECT_EQ(mask, 1);
  // Out-of-range positions handed in are taken modulo the table sizes, never read past them.
  shift = 29 * 3 + 2;
  mask = 227 + 5;
  std::vector<std::uint8_t> a(10, 0x10);
  DescrambleInPlace(a, shift, mask, key);
  std::vector<std::uint8_t> c(10, 0x10);
  std::uint16_t s2 = 2;
  std::uint16_t m2 = 5;
  DescrambleInPlace(c, s2, m2, key);
  EXPECT_EQ(a, c);
}

}  // namespace
}  // namespace korvex::firmware
