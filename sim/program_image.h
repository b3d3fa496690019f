// What the panel's memories hold besides the starter: the panel program (made from the
// sample program with an identity header, or taken from a firmware file), the ST program,
// and the starter updater the PC writes when it replaces the starter.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/qfw_writer.h"
#include "sim/st_controller.h"

namespace korvex::sim {

// The starter updater image: 8448 bytes, checked over its first 8192 by a 16-bit sum from
// 0x3ABC that is stored at 8192 (low byte) and 8193.
inline constexpr std::uint32_t kUpdaterSize = 0x2100;
inline constexpr std::uint32_t kUpdaterCheckedSize = 0x2000;
inline constexpr std::uint16_t kUpdaterCheckSeed = 0x3ABC;
inline constexpr std::uint32_t kUpdaterCopyAddress = 0x60000;

bool UpdaterImageValid(std::span<const std::uint8_t> image);
// True when the FLASH holds the same valid updater image at 0x00000 and at 0x60000.
bool UpdaterInFlash(std::span<const std::uint8_t> flash);
// A valid updater image for tests (the product's own images are its data, not the panel's).
std::vector<std::uint8_t> MakeUpdaterImage(std::uint32_t seed);

// True when the identity header at 0x12000 carries a known signature: the starter then
// starts the program after a restart.
bool ProgramRecognised(std::span<const std::uint8_t> flash);

// The 0x60000-byte program area (program, identity header, the three check values) of a
// sample program with the given header. Banks 1..5 repeat bank 0's low 8 KB.
std::vector<std::uint8_t> MakeProgramArea(const firmware::IdentityFields& identity,
                                          std::uint32_t seed);

// The raw header code of a panel type 0..8 (0x84 for 5, 0x42..0x48 for 6..8).
std::uint8_t RawTypeFor(int panelType);

// A sample ST program of a kind (its section length): code-like bytes, the version at the
// kind's offset (digit values, then the date as two-digit bytes), the FSK bytes of kinds A
// and B, and the ST checksum.
std::vector<std::uint8_t> MakeStProgram(StKind kind, const StVersionBytes& version,
                                        std::uint8_t fskPlus, std::uint8_t fskMinus,
                                        std::uint32_t seed);

}  // namespace korvex::sim
