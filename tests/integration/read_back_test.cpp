// Read-back verification (--verify=readback): the comparison before the erase and the
// verification after the programming read the program area back and compare bytes, where
// the default compares the panel's block checks, which some changes keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "firmware/block_check.h"
#include "firmware/qfw_writer.h"
#include "run_test_util.h"

namespace korvex::testing {
namespace {

constexpr std::uint32_t kCollisionAddress = 0x40002;
constexpr std::uint32_t kProgramAreaSize = 0x60000;

std::vector<std::uint8_t> WithBytes(std::vector<std::uint8_t> program, std::uint32_t offset,
                                    const std::vector<std::uint8_t>& bytes) {
  // The low 8 KB of every 64 KB bank repeats bank 0's: change them all alike.
  for (std::uint32_t bank = 0; bank < 6; ++bank) {
    std::copy(bytes.begin(), bytes.end(), program.begin() + bank * 0x10000 + offset);
  }
  return program;
}

// Bytes 2 and 3 of the block at 0x40000 changed from B1 FF to F5 BB: the sum and the xor
// stay the same, and so does the chain when the block's first two bytes lead into it right.
bool Collides(const std::vector<std::uint8_t>& program) {
  std::vector<std::uint8_t> block(program.begin() + 0x40000, program.begin() + 0x40000 + 512);
  const firmware::BlockCheckValues original = firmware::BlockCheck(block);
  block[2] = 0xF5;
  block[3] = 0xBB;
  return firmware::BlockCheck(block) == original;
}

// A file with B1 FF at 0x40002, and first bytes of the block (the sample's when they already
// do) that make the change invisible to the block check.
std::vector<std::uint8_t> CollisionFile() {
  std::vector<std::uint8_t> program = MakeProgram(FieldsForPanelType(3));
  program = WithBytes(program, 2, {0xB1, 0xFF});
  for (int lead = 0; lead < 0x10000 && !Collides(program); ++lead) {
    program = WithBytes(program, 0,
                        {static_cast<std::uint8_t>(lead >> 8), static_cast<std::uint8_t>(lead)});
  }
  EXPECT_TRUE(Collides(program));
  firmware::QfwInput input;
  input.program = program;
  input.stProgram = MakeStProgram(firmware::PanelTypeInfoFor(3)->requiredKind);
  firmware::QfwOutput out = firmware::BuildQfw(input);
  EXPECT_TRUE(out.error.empty()) << out.error;
  return out.bytes;
}

// The panel holds the file's program but for F5 BB at 0x40002.
std::unique_ptr<RunBench> CollisionBench() {
  auto bench = std::make_unique<RunBench>(Bench(CollisionFile()).HoldingFile());
  auto flash = bench->panel->MutableFlash();
  EXPECT_EQ(flash[kCollisionAddress], 0xB1);
  flash[kCollisionAddress] = 0xF5;
  flash[kCollisionAddress + 1] = 0xBB;
  return bench;
}

TEST(ReadBackTest, TheBlockChecksMissTheCollisionAndTheReadBackWritesTheProgram) {
  auto byChecks = CollisionBench();
  byChecks->StartUnattended();
  EXPECT_EQ(VerdictOf(*byChecks, "Programs comparison"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(byChecks->ExitCode(), 5);
  EXPECT_FALSE(byChecks->PanelProgramEqualsImage());

  auto byReadBack = CollisionBench();
  byReadBack->Session().Options.verify = shell::VerifyMode::kReadBack;
  byReadBack->StartUnattended();
  EXPECT_EQ(VerdictOf(*byReadBack, "Programs comparison").text, "newer");
  EXPECT_EQ(VerdictOf(*byReadBack, "Verification"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(byReadBack->ExitCode(), 6);
  EXPECT_TRUE(byReadBack->PanelProgramEqualsImage());
}

TEST(ReadBackTest, TheVerificationReadsTheWholeProgramAreaBackInsteadOfBlockChecks) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}, {"flash_kind", "5"}}));
  bench.Session().Options.verify = shell::VerifyMode::kReadBack;
  bench.StartUnattended();
  ASSERT_EQ(bench.ExitCode(), 6);
  // Every page of the program area was read back after the last write.
  std::uint32_t lastWrite = 0;
  for (const auto& e : bench.panel->Exchanges()) {
    if (e.request[0] == kProgramPage || e.request[0] == kProgramShort) lastWrite = e.seq;
  }
  std::vector<std::uint32_t> pagesRead;
  for (const auto& e : bench.HeardRequests(kReadFlash)) {
    const std::uint32_t address = e.request[1] | e.request[2] << 8 | e.request[3] << 16;
    if (e.seq > lastWrite && e.request[4] == 0 && address < kProgramAreaSize) {
      pagesRead.push_back(address);
    }
  }
  ASSERT_EQ(pagesRead.size(), kProgramAreaSize / 256);
  for (std::size_t i = 0; i < pagesRead.size(); ++i) EXPECT_EQ(pagesRead[i], i * 256);
  EXPECT_EQ(bench.Heard(kBlockCheck), 0);
}

TEST(ReadBackTest, ADifferenceAfterProgrammingIsFoundAndReported) {
  // The page at 0x40000 is written by the short form, which copies bank 0's page: a bank 4
  // that should differ from it keeps bank 0's bytes.
  std::vector<std::uint8_t> program = MakeProgram(FieldsForPanelType(3));
  program[0x40010] ^= 0x01;
  firmware::QfwInput input;
  input.program = program;
  input.stProgram = MakeStProgram(firmware::PanelTypeInfoFor(3)->requiredKind);
  RunBench bench(Bench(firmware::BuildQfw(input).bytes, {{"program_version", "123"}}));
  bench.Session().Options.verify = shell::VerifyMode::kReadBack;
  bench.StartUnattended();
  EXPECT_EQ(VerdictOf(bench, "Verification"), (RecordedStatus{"ERROR @0x40010", kBoldRed}));
  EXPECT_EQ(bench.ExitCode(), 3);
}

}  // namespace
}  // namespace korvex::testing
