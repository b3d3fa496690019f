#include "firmware/firmware_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace korvex::firmware {
namespace {

TEST(FileSizes, EachKindHasItsSizeAndNoOtherSizeIsAccepted) {
  struct Case {
    std::uint64_t size;
    StSectionKind kind;
    std::uint32_t length;
  };
  for (const Case& c :
       {Case{393216, StSectionKind::kNone, 0}, Case{454660, StSectionKind::kA, 61440},
        Case{521732, StSectionKind::kB, 128512}, Case{423428, StSectionKind::kC, 30208}}) {
    EXPECT_EQ(StKindForFileSize(c.size), c.kind) << c.size;
    EXPECT_EQ(FileSizeFor(c.kind), c.size);
    EXPECT_EQ(StSectionLength(c.kind), c.length);
  }
  for (std::uint64_t size : {0ull, 393215ull, 393217ull, 454659ull, 521733ull, 1ull << 40}) {
    EXPECT_FALSE(StKindForFileSize(size)) << size;
  }
}

TEST(ImageAccess, CopiesInAndOutWithinTheImage) {
  FirmwareImage image;
  EXPECT_EQ(image.MainImage.size(), 524288u);
  const std::vector<std::uint8_t> bytes = {1, 2, 3};
  ASSERT_TRUE(image.ImagePut(0x7FFFD, bytes));
  std::vector<std::uint8_t> out(3);
  ASSERT_TRUE(image.ImageGet(0x7FFFD, out));
  EXPECT_EQ(out, bytes);
  std::vector<std::uint8_t> most(65535, 9);
  EXPECT_TRUE(image.ImagePut(0, most));
}

TEST(ImageAccess, RefusesRangesOutsideTheImageAndChangesNothing) {
  FirmwareImage image;
  const std::vector<std::uint8_t> four(4, 7);
  const std::vector<std::uint8_t> tooMany(65536, 7);
  EXPECT_FALSE(image.ImagePut(0x7FFFD, four));  // passes the end
  EXPECT_FALSE(image.ImagePut(0x80000, std::span(four).first(0)));
  EXPECT_FALSE(image.ImagePut(0, tooMany));
  std::vector<std::uint8_t> out(4, 0xEE);
  EXPECT_FALSE(image.ImageGet(0xFFFFFFFF, out));
  EXPECT_EQ(out, std::vector<std::uint8_t>(4, 0xEE));
  EXPECT_EQ(std::count(image.MainImage.begin(), image.MainImage.end(), 7), 0);
}

}  // namespace
}  // namespace korvex::firmware
