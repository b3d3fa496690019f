#include "win/icon_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace korvex::win {
namespace {

std::vector<unsigned char> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PutLE32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

std::vector<unsigned char> ButtonPicture() {
  return ReadFile(KORVEX_SOURCE_DIR "/src/win/res/IA_open.ico");
}

TEST(IconFileTest, FindsTheImageOfAButtonPicture) {
  const std::vector<unsigned char> file = ButtonPicture();
  ASSERT_EQ(file.size(), 4030u);  // one 31 x 31 image at 32 bits per pixel
  const std::optional<IconImageSpan> image = FirstIconImage(file);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->offset, 22u);
  EXPECT_EQ(image->size, 4008u);
}

// Damaged or foreign files must never lead the caller to read beyond the resource.
TEST(IconFileTest, RefusesFilesThatAreNotIconsOrPointOutside) {
  const std::vector<unsigned char> good = ButtonPicture();
  ASSERT_FALSE(good.empty());
  struct Case {
    const char* what;
    std::vector<unsigned char> file;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"header and directory cut short", {good.begin(), good.begin() + 21}});
  cases.push_back({"image cut short", {good.begin(), good.end() - 1}});
  auto cursor = good;
  cursor[2] = 2;
  cases.push_back({"a cursor file", cursor});
  auto noImages = good;
  noImages[4] = 0;
  cases.push_back({"no images", noImages});
  auto farOffset = good;
  PutLE32(farOffset, 18, 0xFFFFFFF0u);
  cases.push_back({"offset beyond the file", farOffset});
  auto hugeSize = good;
  PutLE32(hugeSize, 14, 0xFFFFFFFFu);
  cases.push_back({"size beyond the file", hugeSize});
  for (const Case& c : cases) {
    EXPECT_FALSE(FirstIconImage(c.file)) << c.what;
  }
}

}  // namespace
}  // namespace korvex::win
