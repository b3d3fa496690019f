// FLASH chips of kinds 1 and 4 keep a copy of the program's low 16 KB at 0x60000 that the
// panel writes itself; the copy must match, block for block.
#include "update/flash_layout.h"
#include "update/run_phases.h"

namespace korvex::update {

UpperAreaResult UpperAreaCheck(Context& context, const std::function<void(int)>& onBlock) {
  for (int k = 0; k < kUpperAreaBlocks; ++k) {
    onBlock(k);
    const std::uint32_t low = static_cast<std::uint32_t>(k) * link::kFlashBlockCheckSize;
    firmware::BlockCheckValues lowValues;
    firmware::BlockCheckValues highValues;
    if (!context.starter.ReadBlockCheck(low, lowValues) ||
        !context.starter.ReadBlockCheck(kUpperAreaBase + low, highValues)) {
      return {UpperAreaResult::Kind::kReadFailed, static_cast<std::uint32_t>(k)};
    }
    if (!(lowValues == highValues)) {
      return {UpperAreaResult::Kind::kDiffer, static_cast<std::uint32_t>(k)};
    }
  }
  return {};
}

}  // namespace korvex::update
