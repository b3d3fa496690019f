#include "sim/program_image.h"

#include <algorithm>
#include <array>
#include <random>

#include "firmware/identity.h"
#include "firmware/sample_program.h"
#include "firmware/st_section.h"

namespace korvex::sim {

namespace {

std::uint16_t UpdaterCheck(std::span<const std::uint8_t> image) {
  std::uint16_t sum = kUpdaterCheckSeed;
  for (std::uint32_t i = 0; i < kUpdaterCheckedSize; ++i)
    sum = static_cast<std::uint16_t>(sum + image[i]);
  return sum;
}

}  // namespace

bool UpdaterImageValid(std::span<const std::uint8_t> image) {
  if (image.size() < kUpdaterSize) return false;
  const auto stored =
      static_cast<std::uint16_t>(image[kUpdaterCheckedSize] | image[kUpdaterCheckedSize + 1] << 8);
  // An erased area would pass a sum that happens to match; it is not an updater.
  const bool erased = std::all_of(image.begin(), image.begin() + kUpdaterSize,
                                  [](std::uint8_t b) { return b == 0xFF; });
  return !erased && UpdaterCheck(image) == stored;
}

bool UpdaterInFlash(std::span<const std::uint8_t> flash) {
  if (flash.size() < kUpdaterCopyAddress + kUpdaterSize) return false;
  const auto first = flash.first(kUpdaterSize);
  const auto copy = flash.subspan(kUpdaterCopyAddress, kUpdaterSize);
  return std::equal(first.begin(), first.end(), copy.begin()) && UpdaterImageValid(first);
}

std::vector<std::uint8_t> MakeUpdaterImage(std::uint32_t seed) {
  std::vector<std::uint8_t> image(kUpdaterSize, 0xFF);
  std::mt19937 rng(seed ^ 0x55AA1234u);
  for (std::uint32_t i = 0; i < 0x1C00; ++i) image[i] = static_cast<std::uint8_t>(rng() >> 24);
  image[0] = 0x02;  // reset vector into the updater's code
  image[1] = 0x00;
  image[2] = 0x40;
  const std::uint16_t check = UpdaterCheck(image);
  image[kUpdaterCheckedSize] = static_cast<std::uint8_t>(check);
  image[kUpdaterCheckedSize + 1] = static_cast<std::uint8_t>(check >> 8);
  return image;
}

bool ProgramRecognised(std::span<const std::uint8_t> flash) {
  if (flash.size() <= firmware::kIdentityBetaAddress) return false;
  std::array<std::uint8_t, firmware::kIdentityBlockSize> block{};
  std::copy_n(flash.begin() + firmware::kIdentityAddress, 17, block.begin());
  block[17] = flash[firmware::kIdentityBetaAddress];
  return firmware::DecodeIdentityBlock(block).recognised;
}

std::vector<std::uint8_t> MakeProgramArea(const firmware::IdentityFields& identity,
                                          std::uint32_t seed) {
  std::vector<std::uint8_t> program = firmware::MakeSampleProgram(seed);
  firmware::WriteIdentityHeader(program, identity);
  return firmware::MainImageWithChecks(program);
}

std::uint8_t RawTypeFor(int panelType) {
  const auto info = firmware::PanelTypeInfoFor(panelType);
  return info ? info->rawCode : static_cast<std::uint8_t>(panelType);
}

std::vector<std::uint8_t> MakeStProgram(StKind kind, const StVersionBytes& version,
                                        std::uint8_t fskPlus, std::uint8_t fskMinus,
                                        std::uint32_t seed) {
  const auto info = StKindInfoFor(kind);
  const auto layout = firmware::StLayoutFor(kind);
  if (!info || !layout) return {};
  std::vector<std::uint8_t> program(info->length, info->erased);
  std::mt19937 rng(seed * 0x2545F491u + static_cast<std::uint32_t>(kind));
  // Code in the lower two thirds of the programmed range; the rest stays erased except for
  // the version record and the FSK bytes near its end.
  constexpr std::uint32_t kBlock = kStBlockSize;
  const std::uint32_t codeEnd = info->count * 2 / 3 / kBlock * kBlock;
  for (std::uint32_t i = 0; i < codeEnd; ++i) program[i] = static_cast<std::uint8_t>(rng() >> 24);
  // A few erased blocks inside the code.
  for (int gap = 0; gap < 3; ++gap) {
    const auto block = static_cast<std::uint32_t>(rng() % (codeEnd / kBlock));
    std::fill_n(program.begin() + block * kBlock, kBlock, info->erased);
  }
  const std::uint32_t o = info->versionOffset;
  program[o] = static_cast<std::uint8_t>(version[0] & 0x0F);
  program[o + 1] = static_cast<std::uint8_t>(version[1] >> 4);
  program[o + 2] = static_cast<std::uint8_t>(version[1] & 0x0F);
  for (int k = 0; k < 4; ++k) program[o + 3 + k] = version[2 + k];
  if (info->fskOffset) {
    program[*info->fskOffset] = fskPlus;
    program[*info->fskOffset + 1] = fskMinus;
  }
  const std::uint16_t s = firmware::StChecksum(program, *layout);
  program[layout->checksumOffset] = static_cast<std::uint8_t>(s);
  program[layout->checksumOffset + 1] = static_cast<std::uint8_t>(s >> 8);
  return program;
}

}  // namespace korvex::sim
