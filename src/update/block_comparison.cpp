#include "update/block_comparison.h"

#include <algorithm>
#include <array>
#include <span>

#include "firmware/block_check.h"

namespace korvex::update {

namespace {

std::span<const std::uint8_t> ImageBlock(const Context& context, std::uint32_t address) {
  return std::span<const std::uint8_t>(context.image.MainImage)
      .subspan(address, link::kFlashBlockCheckSize);
}

BlockComparison ByBlockCheck(Context& context, std::uint32_t address) {
  firmware::BlockCheckValues panelValues;
  if (!context.starter.ReadBlockCheck(address, panelValues)) return BlockComparison::kReadFailed;
  return panelValues == firmware::BlockCheck(ImageBlock(context, address))
             ? BlockComparison::kEqual
             : BlockComparison::kDiffer;
}

BlockComparison ByReadBack(Context& context, std::uint32_t address) {
  const std::span<const std::uint8_t> expected = ImageBlock(context, address);
  bool equal = true;
  for (std::uint32_t offset = 0; offset < link::kFlashBlockCheckSize;
       offset += link::kFlashPageSize) {
    std::array<std::uint8_t, link::kFlashPageSize> page{};
    if (!context.starter.ReadFlashPage(address + offset, page)) {
      return BlockComparison::kReadFailed;
    }
    equal = equal && std::equal(page.begin(), page.end(), expected.begin() + offset);
  }
  return equal ? BlockComparison::kEqual : BlockComparison::kDiffer;
}

}  // namespace

BlockComparison CompareProgramBlock(Context& context, std::uint32_t address) {
  if (context.session.Options.verify == shell::VerifyMode::kReadBack) {
    return ByReadBack(context, address);
  }
  return ByBlockCheck(context, address);
}

}  // namespace korvex::update
