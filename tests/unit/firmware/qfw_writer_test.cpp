#include "firmware/qfw_writer.h"

#include <gtest/gtest.h>

#include <vector>

#include "firmware/block_check.h"
#include "firmware/scrambler.h"
#include "firmware/st_section.h"
#include "support/firmware_files.h"

namespace korvex::firmware {
namespace {

TEST(IdentityFieldsCheck, RefusesWhatTheCheckerWouldRefuse) {
  struct Case {
    const char* signature;
    std::uint8_t rawType;
    const char* version;
    const char* date;
    StSectionKind kind;
    const char* reasonPart;  // empty: accepted
  };
  const Case cases[] = {
      {"SOL", 2, "124", "20250312", StSectionKind::kNone, ""},
      {"BLG", 0x84, "100", "20000101", StSectionKind::kB, ""},
      {"SOL", 2, "1.24", "20250312", StSectionKind::kNone, "not three digits"},
      {"SOL", 2, "12", "20250312", StSectionKind::kNone, "not three digits"},
      {"SOL", 2, "12a", "20250312", StSectionKind::kNone, "not three digits"},
      {"SOL", 2, "124", "2025-03-12", StSectionKind::kNone, "not eight digits"},
      {"SOLA", 2, "124", "20250312", StSectionKind::kNone, "signature"},
      {"sOl", 2, "124", "20250312", StSectionKind::kNone, "signature"},
      {"SOL", 7, "124", "20250312", StSectionKind::kNone, "code 7 is unknown"},
      {"SOL", 4, "124", "20250312", StSectionKind::kNone,
       "panel type 4 (SOLANTA Large R-A) needs an ST program of 61440 bytes (kind A), but none"},
      {"SOL", 2, "124", "20250312", StSectionKind::kC,
       "panel type 2 (SOLANTA Medium) needs no ST program, but the ST program given has 30208"},
  };
  for (const Case& c : cases) {
    IdentityFields fields;
    fields.signature = c.signature;
    fields.rawType = c.rawType;
    fields.version = c.version;
    fields.date = c.date;
    const std::string reason = CheckIdentityFields(fields, c.kind);
    if (std::string(c.reasonPart).empty()) {
      EXPECT_EQ(reason, "") << c.signature << c.version;
    } else {
      EXPECT_NE(reason.find(c.reasonPart), std::string::npos) << reason;
    }
  }
}

TEST(BuildQfw, RefusesWrongSizes) {
  QfwInput input;
  input.program.assign(kProgramSize - 1, 0);
  EXPECT_NE(BuildQfw(input).error.find("393211 bytes"), std::string::npos);
  input.program.assign(kProgramSize, 0);
  input.stProgram.assign(1000, 0);
  const QfwOutput out = BuildQfw(input);
  EXPECT_NE(out.error.find("ST program has 1000 bytes"), std::string::npos);
  EXPECT_TRUE(out.bytes.empty());
}

TEST(BuildQfw, LaysOutTheFileAndRepairsTheStChecksumOnRequest) {
  QfwInput input;
  input.program = testing::MakeProgram(testing::FieldsForPanelType(5));
  input.stProgram = testing::MakeStProgram(StSectionKind::kB);
  input.stProgram[0x1F5FE] ^= 0xFF;  // a wrong ST checksum
  const QfwOutput out = BuildQfw(input);
  ASSERT_EQ(out.error, "");
  EXPECT_EQ(out.stKind, StSectionKind::kB);
  EXPECT_TRUE(out.stChecksumRepaired);
  ASSERT_EQ(out.bytes.size(), 521732u);

  std::vector<std::uint8_t> area(out.bytes.begin(), out.bytes.begin() + 0x60000);
  Descramble(area, 0);
  EXPECT_TRUE(std::equal(input.program.begin(), input.program.end(), area.begin()));
  const BlockCheckValues values = BlockCheck(std::span(area).first(kProgramSize));
  EXPECT_EQ(area[0x5FFFC] | (area[0x5FFFD] << 8), values.sum);
  EXPECT_EQ(area[0x5FFFE], values.xorValue);
  EXPECT_EQ(area[0x5FFFF], values.chain);

  std::vector<std::uint8_t> st(128512);
  const std::uint32_t check = DecodeStBytes(std::span(out.bytes).subspan(0x60000, 128512), st);
  EXPECT_EQ(out.bytes[0x7F600] | (out.bytes[0x7F601] << 8) | (out.bytes[0x7F602] << 16) |
                (static_cast<std::uint32_t>(out.bytes[0x7F603]) << 24),
            check);
  EXPECT_EQ(st[0x1F5FE], input.stProgram[0x1F5FE] ^ 0xFF);  // repaired back

  input.repairStChecksum = false;
  const QfwOutput kept = BuildQfw(input);
  EXPECT_FALSE(kept.stChecksumRepaired);
  DecodeStBytes(std::span(kept.bytes).subspan(0x60000, 128512), st);
  EXPECT_EQ(st[0x1F5FE], input.stProgram[0x1F5FE]);
}

TEST(BuildQfw, ScramblesWithTheKeyItIsGiven) {
  std::vector<std::uint8_t> keyBytes(kScrambleKeySize);
  for (int i = 0; i < 256; ++i)
    keyBytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(255 - i);
  for (std::size_t i = 256; i < keyBytes.size(); ++i)
    keyBytes[i] = static_cast<std::uint8_t>(i * 31);
  const ScrambleKey other = *ScrambleKeyFromBytes(keyBytes);
  QfwInput input;
  input.program = testing::MakeProgram(testing::FieldsForPanelType(0));
  const QfwOutput out = BuildQfw(input, other);
  std::vector<std::uint8_t> area(out.bytes.begin(), out.bytes.end());
  Descramble(area, 0, other);
  EXPECT_TRUE(std::equal(input.program.begin(), input.program.end(), area.begin()));
}

}  // namespace
}  // namespace korvex::firmware
