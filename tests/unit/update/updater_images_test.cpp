// The starter updater images: which image a panel gets, the image check, and the images
// built into the program (the committed test set unless the build names others).
#include "update/updater_images.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "sim/program_image.h"

namespace korvex::update {
namespace {

TEST(UpdaterImageIndexTest, KindsFiveToNineEachHaveAnImageForTypeEightAndOneForTheOthers) {
  for (int kind = 0; kind <= 255; ++kind) {
    for (int type = 0; type <= 9; ++type) {
      const auto index =
          UpdaterImageIndex(static_cast<std::uint8_t>(kind), static_cast<std::uint8_t>(type));
      if (kind < 5 || kind > 9) {
        EXPECT_FALSE(index) << kind;
        continue;
      }
      ASSERT_TRUE(index) << kind;
      EXPECT_EQ(*index, static_cast<std::size_t>((kind - 5) * 2 + (type == 8 ? 1 : 0)))
          << "kind " << kind << " type " << type;
    }
  }
}

std::vector<std::uint8_t> SoundImage(std::uint8_t fill) {
  std::vector<std::uint8_t> image(kUpdaterImageSize, fill);
  const std::uint16_t check = UpdaterImageCheck(image);
  image[kUpdaterCheckedSize] = static_cast<std::uint8_t>(check);
  image[kUpdaterCheckedSize + 1] = static_cast<std::uint8_t>(check >> 8);
  return image;
}

TEST(UpdaterImageCheckTest, SumsTheFirst8192BytesFrom0x3ABC) {
  std::vector<std::uint8_t> image(kUpdaterImageSize, 0x00);
  EXPECT_EQ(UpdaterImageCheck(image), 0x3ABC);
  image[0] = 0x44;
  image[8191] = 0x01;
  image[8192] = 0xFF;  // the stored check and what follows it are not summed
  image[8447] = 0xFF;
  EXPECT_EQ(UpdaterImageCheck(image), 0x3B01);
  // 8192 bytes of 0xFF: 0x3ABC + 8192 * 255 wraps round to 0x3ABC - 8192.
  EXPECT_EQ(UpdaterImageCheck(std::vector<std::uint8_t>(kUpdaterImageSize, 0xFF)), 0x1ABC);
}

TEST(UpdaterImageCheckTest, TheStoredCheckIsLowByteFirstAndEveryCheckedByteCounts) {
  std::vector<std::uint8_t> image = SoundImage(0x5A);
  EXPECT_TRUE(UpdaterImageSound(image));
  // The bytes after the check are not covered.
  image[kUpdaterImageSize - 1] ^= 0xFF;
  EXPECT_TRUE(UpdaterImageSound(image));

  for (std::size_t offset : {std::size_t{0}, std::size_t{4000}, kUpdaterCheckedSize - 1,
                             kUpdaterCheckedSize, kUpdaterCheckedSize + 1}) {
    std::vector<std::uint8_t> spoilt = SoundImage(0x5A);
    spoilt[offset] ^= 0x10;
    EXPECT_FALSE(UpdaterImageSound(spoilt)) << offset;
  }
  std::vector<std::uint8_t> swapped = SoundImage(0x5A);
  std::swap(swapped[kUpdaterCheckedSize], swapped[kUpdaterCheckedSize + 1]);
  EXPECT_FALSE(UpdaterImageSound(swapped));

  // Only a whole image can be sound.
  image = SoundImage(0x5A);
  EXPECT_FALSE(UpdaterImageSound(std::span(image).first(kUpdaterImageSize - 1)));
  EXPECT_FALSE(UpdaterImageSound({}));
}

TEST(UpdaterImageAtTest, ASetTooShortHasNoImageThere) {
  const std::vector<std::uint8_t> set(kUpdaterImageSize * 3, 0x11);
  EXPECT_EQ(UpdaterImageAt(set, 2).size(), kUpdaterImageSize);
  EXPECT_EQ(UpdaterImageAt(set, 2).data(), set.data() + 2 * kUpdaterImageSize);
  EXPECT_TRUE(UpdaterImageAt(set, 3).empty());
  EXPECT_TRUE(UpdaterImageAt(BuiltInUpdaterImages(), kUpdaterImageCount).empty());
}

TEST(BuiltInUpdaterImagesTest, TenDifferentSoundImagesThatThePanelRunsAsAnUpdater) {
  const auto images = BuiltInUpdaterImages();
  ASSERT_EQ(images.size(), kUpdaterImagesSize);
  std::set<std::vector<std::uint8_t>> distinct;
  for (std::size_t index = 0; index < kUpdaterImageCount; ++index) {
    const auto image = UpdaterImageAt(images, index);
    EXPECT_TRUE(UpdaterImageSound(image)) << index;
    // The simulated panel restarts into an image of this form lying at 0x00000 and 0x60000.
    EXPECT_TRUE(sim::UpdaterImageValid(image)) << index;
    std::vector<std::uint8_t> flash(0x80000, 0xFF);
    std::copy(image.begin(), image.end(), flash.begin());
    std::copy(image.begin(), image.end(), flash.begin() + 0x60000);
    EXPECT_TRUE(sim::UpdaterInFlash(flash)) << index;
    distinct.emplace(image.begin(), image.end());
  }
  EXPECT_EQ(distinct.size(), kUpdaterImageCount);
}

}  // namespace
}  // namespace korvex::update
