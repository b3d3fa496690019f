// Writes the committed test starter-updater images (config/updaters/test_updaters.bin): ten
// images of 8448 bytes one after another, in the order the program expects them (FLASH kinds
// 5 to 9, for each first the image for panel types other than 8, then the one for type 8).
// Each image passes the updater check: a 16-bit sum from 0x3ABC over offsets 0..8191,
// stored low byte first at offset 8192. The contents are not a working updater; they only
// let the build, the tests and the panel simulator carry and recognise images of the right
// form. Deterministic: the same file every time, so it can be remade and compared.
//
// Usage: make_test_updaters [OUTPUT]   (default config/updaters/test_updaters.bin)
#include <cstdint>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kImageSize = 0x2100;
constexpr std::size_t kCheckedSize = 0x2000;
constexpr std::size_t kImageCount = 10;
constexpr std::uint16_t kCheckSeed = 0x3ABC;
constexpr std::size_t kLabelOffset = 0x10;
constexpr std::size_t kCodeOffset = 0x100;
constexpr std::size_t kCodeEnd = 0x1C00;  // the rest up to the check stays erased (0xFF)

std::vector<std::uint8_t> MakeImage(std::size_t index) {
  const int flashKind = 5 + static_cast<int>(index / 2);
  const bool typeEight = index % 2 == 1;
  std::vector<std::uint8_t> image(kImageSize, 0xFF);

  // A jump over the label into the "code", as an updater's reset vector would.
  image[0] = 0x02;
  image[1] = static_cast<std::uint8_t>(kCodeOffset >> 8);
  image[2] = static_cast<std::uint8_t>(kCodeOffset & 0xFF);

  const std::string label = "TEST STARTER UPDATER - FLASH kind " + std::to_string(flashKind) +
                            (typeEight ? " - panel type 8" : " - panel types 0..7");
  for (std::size_t i = 0; i < label.size(); ++i) {
    image[kLabelOffset + i] = static_cast<std::uint8_t>(label[i]);
  }
  image[kLabelOffset + label.size()] = 0x00;

  // std::mt19937's output is fixed by the language standard, so the bytes are the same with
  // every compiler.
  std::mt19937 rng(0x4B565550u + static_cast<std::uint32_t>(index));
  for (std::size_t i = kCodeOffset; i < kCodeEnd; ++i) {
    image[i] = static_cast<std::uint8_t>(rng() >> 24);
  }

  std::uint16_t check = kCheckSeed;
  for (std::size_t i = 0; i < kCheckedSize; ++i)
    check = static_cast<std::uint16_t>(check + image[i]);
  image[kCheckedSize] = static_cast<std::uint8_t>(check & 0xFF);
  image[kCheckedSize + 1] = static_cast<std::uint8_t>(check >> 8);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string out = argc > 1 ? argv[1] : "config/updaters/test_updaters.bin";
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  if (!file) {
    std::cerr << "cannot write " << out << "\n";
    return 1;
  }
  for (std::size_t index = 0; index < kImageCount; ++index) {
    const std::vector<std::uint8_t> image = MakeImage(index);
    file.write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
  }
  file.close();
  if (!file) {
    std::cerr << "writing " << out << " failed\n";
    return 1;
  }
  return 0;
}
