// How a 512-byte block of the program area compares with the file's image. By default the
// panel's block check (a 16-bit sum, an xor and a chain) is compared with the image's: fast,
// but crafted or unlucky contents can keep all three values. With read-back verification
// (`--verify=readback`) the block is read back with two page reads and compared byte for
// byte.
#pragma once

#include <cstdint>

#include "update/run_context.h"

namespace korvex::update {

enum class BlockComparison { kEqual, kDiffer, kReadFailed };

BlockComparison CompareProgramBlock(Context& context, std::uint32_t address);

}  // namespace korvex::update
