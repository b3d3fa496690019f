#include "firmware/block_check.h"

namespace korvex::firmware {

void BlockCheckValues::Add(std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t b : bytes) Add(b);
}

BlockCheckValues BlockCheck(std::span<const std::uint8_t> bytes) {
  BlockCheckValues values;
  values.Add(bytes);
  return values;
}

}  // namespace korvex::firmware
