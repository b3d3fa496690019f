#include "firmware/sample_program.h"

#include <algorithm>
#include <array>
#include <string>

#include "firmware/firmware_image.h"
#include "firmware/identity.h"

namespace korvex::firmware {

namespace {

constexpr std::uint32_t kPageSize = 256;

// A small generator with a fixed, portable sequence (standard distributions are not).
class SplitMix {
 public:
  explicit SplitMix(std::uint64_t seed) : state_(seed) {}
  std::uint32_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 16);
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }

 private:
  std::uint64_t state_;
};

// Bytes that look like machine code: opcodes with operands, calls and jumps into the
// program area, and the odd run of constant data.
void FillCode(std::vector<std::uint8_t>& program, std::uint32_t from, std::uint32_t to,
              SplitMix& rng) {
  static constexpr std::array<std::uint8_t, 16> kOpcodes = {0x74, 0xE5, 0xF5, 0x90, 0xE0, 0xF0,
                                                            0x12, 0x02, 0x80, 0x60, 0x70, 0xB4,
                                                            0x22, 0xC3, 0x94, 0xA3};
  std::uint32_t at = from;
  while (at < to) {
    const std::uint8_t op = kOpcodes[rng.Below(kOpcodes.size())];
    program[at++] = op;
    const bool longTarget = op == 0x12 || op == 0x02 || op == 0x90;
    const std::uint32_t operands =
        longTarget                                                             ? 2
        : (op == 0x22 || op == 0xE0 || op == 0xF0 || op == 0xC3 || op == 0xA3) ? 0
                                                                               : 1;
    for (std::uint32_t k = 0; k < operands && at < to; ++k) {
      program[at++] = static_cast<std::uint8_t>(rng.Next());
    }
  }
}

void PutText(std::vector<std::uint8_t>& program, std::uint32_t at, const std::string& text) {
  std::copy(text.begin(), text.end(), program.begin() + at);
  program[at + text.size()] = 0;
}

}  // namespace

std::vector<std::uint8_t> MakeSampleProgram(std::uint32_t seed) {
  std::vector<std::uint8_t> program(kProgramSize, 0xFF);
  SplitMix rng(0x4B4F5256ull * 0x100000000ull + seed);

  // Bank 0: reset and interrupt vectors, then code; its last two pages stay erased.
  for (std::uint32_t v = 0; v < 0x40; v += 8) {
    program[v] = 0x02;  // LJMP to the handler
    program[v + 1] = static_cast<std::uint8_t>(0x01 + v / 8);
    program[v + 2] = static_cast<std::uint8_t>(rng.Next());
  }
  FillCode(program, 0x40, kRepeatedLowSize - 2 * kPageSize, rng);

  // Banks 1..5: the repeated low 8 KB, then a code area of a seed-dependent length, an
  // erased gap and a text table; the rest of the bank stays erased.
  for (std::uint32_t bank = 1; bank < kProgramSize / kBankSize + 1; ++bank) {
    const std::uint32_t base = bank * kBankSize;
    std::copy_n(program.begin(), kRepeatedLowSize, program.begin() + base);
    std::uint32_t codeStart = base + kRepeatedLowSize;
    if (bank == 1) codeStart = kIdentityAddress + kPageSize;  // the header page stays erased
    const std::uint32_t codeEnd = codeStart + (0x6000 + rng.Below(0x4000)) / kPageSize * kPageSize;
    FillCode(program, codeStart, codeEnd, rng);
    // A few erased pages inside the code, as the linker leaves between modules.
    for (int gap = 0; gap < 3; ++gap) {
      const std::uint32_t page =
          codeStart + rng.Below((codeEnd - codeStart) / kPageSize) * kPageSize;
      std::fill_n(program.begin() + page, kPageSize, 0xFF);
    }
    std::uint32_t text = codeEnd + 2 * kPageSize;
    for (int zone = 1; zone <= 32 && text + 32 < base + kBankSize && text + 32 < kProgramSize;
         ++zone) {
      std::string line = "ZONE " + std::to_string(zone) + " BANK " + std::to_string(bank);
      line.resize(16, ' ');
      PutText(program, text, line);
      text += 17;
    }
  }
  return program;
}

}  // namespace korvex::firmware
