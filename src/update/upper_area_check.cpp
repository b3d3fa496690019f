// FLASH chips of kinds 1 and 4 keep a copy of the program's low 16 KB at 0x60000 that the
// panel writes itself; the copy must match, block for block.
#include "update/run_phases.h"

namespace korvex::update {

namespace {

constexpr std::uint32_t kMirrorBase = 0x60000;
constexpr std::uint32_t kBlockSize = 512;

}  // namespace

UpperAreaResult UpperAreaCheck(Context& context, const std::function<void(int)>& onBlock) {
  for (int k = 0; k < kUpperAreaBlocks; ++k) {
    onBlock(k);
    const std::uint32_t low = static_cast<std::uint32_t>(k) * kBlockSize;
    firmware::BlockCheckValues lowValues;
    firmware::BlockCheckValues highValues;
    if (!context.starter.ReadBlockCheck(low, lowValues) ||
        !context.starter.ReadBlockCheck(kMirrorBase + low, highValues)) {
      return {UpperAreaResult::Kind::kReadFailed, static_cast<std::uint32_t>(k)};
    }
    if (!(lowValues == highValues)) {
      return {UpperAreaResult::Kind::kDiffer, static_cast<std::uint32_t>(k)};
    }
  }
  return {};
}

}  // namespace korvex::update
