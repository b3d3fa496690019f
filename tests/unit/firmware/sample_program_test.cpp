#include "firmware/sample_program.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "firmware/firmware_image.h"

namespace korvex::firmware {
namespace {

bool Erased(const std::vector<std::uint8_t>& program, std::uint32_t at, std::uint32_t count) {
  return std::all_of(program.begin() + at, program.begin() + at + count,
                     [](std::uint8_t b) { return b == 0xFF; });
}

TEST(SampleProgram, SameSeedSameBytesOtherSeedOtherBytes) {
  EXPECT_EQ(MakeSampleProgram(124), MakeSampleProgram(124));
  EXPECT_NE(MakeSampleProgram(124), MakeSampleProgram(123));
}

TEST(SampleProgram, HasTheShapeOfARealProgram) {
  const std::vector<std::uint8_t> program = MakeSampleProgram(7);
  ASSERT_EQ(program.size(), kProgramSize);
  for (std::uint32_t bank = 1; bank <= 5; ++bank) {
    EXPECT_TRUE(std::equal(program.begin(), program.begin() + kRepeatedLowSize,
                           program.begin() + bank * kBankSize))
        << bank;
  }
  EXPECT_TRUE(Erased(program, 0x12000, 256));  // the header page, for the packer
  EXPECT_FALSE(Erased(program, 0, 256));
  int erasedPages = 0;
  int codePages = 0;
  for (std::uint32_t page = 0; page + 256 <= kProgramSize; page += 256) {
    (Erased(program, page, 256) ? erasedPages : codePages) += 1;
  }
  EXPECT_GT(erasedPages, 100);
  EXPECT_GT(codePages, 300);
}

}  // namespace
}  // namespace korvex::firmware
