// The pure pieces of the ST program phase: version texts, the rule that a version text is
// well formed, the text order, the 128-byte block check and the kinds' address forms.
#include "update/st_program.h"

#include <gtest/gtest.h>

#include <random>

#include "firmware/st_section.h"
#include "sim/st_controller.h"

namespace korvex::update {
namespace {

using firmware::StSectionKind;

TEST(StVersionTextTest, FromAReplyAndFromTheFile) {
  const std::vector<std::uint8_t> reply = {0x28, 0x01, 0x05, 0x20, 0x19, 0x04, 0x01, 0x5C};
  EXPECT_EQ(StReplyVersionText(reply), "1.05 2019-04-01");
  // Only the low nibble of the major byte counts; nibbles above 9 become characters after '9'.
  const std::vector<std::uint8_t> odd = {0x28, 0x12, 0x0A, 0x20, 0x19, 0xB4, 0x01, 0x00};
  EXPECT_EQ(StReplyVersionText(odd), "2.0: 2019-;4-01");
  // The file holds three digit values, then four bytes of two decimal digits.
  const std::vector<std::uint8_t> record = {0x01, 0x00, 0x05, 0x20, 0x19, 0x04, 0x01};
  EXPECT_EQ(StFileVersionText(record), "1.05 2019-04-01");
}

TEST(StVersionTextTest, WellFormedOnlyWithDigitsAndTheSeparatorsInPlace) {
  struct Case {
    const char* text;
    bool wellFormed;
  };
  const Case cases[] = {
      {"1.05 2019-04-01", true},   {"9.99 9999-99-99", true},
      {"1.0: 2019-04-01", false},  {"1,05 2019-04-01", false},
      {"1.05-2019-04-01", false},  {"1.05 2019 04-01", false},
      {"1.05 2019-04 01", false},  {"1.05 2019-04-0", false},
      {"1.05 2019-04-011", false}, {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(StVersionWellFormed(c.text), c.wellFormed) << c.text;
}

TEST(StVersionTextTest, OrderIsByUnsignedBytesWithAPrefixSmaller) {
  EXPECT_TRUE(StTextGreater("1.05 2019-04-01", "1.04 2020-01-01"));
  EXPECT_FALSE(StTextGreater("1.04 2020-01-01", "1.05 2019-04-01"));
  EXPECT_FALSE(StTextGreater("1.05 2019-04-01", "1.05 2019-04-01"));
  EXPECT_TRUE(StTextGreater("1.05 2019-04-01", "1.05"));
  EXPECT_FALSE(StTextGreater("1.05", "1.05 2019-04-01"));
  EXPECT_TRUE(StTextGreater("\xC1", "9"));
}

TEST(StBlockCheckTest, AddsThirteenRotatesAndFlipsTheLowByte) {
  // 0 + 13 = 0x0D, rotated 0x001A, xor 0xFF: 0x00E5.
  EXPECT_EQ(StBlockCheck(std::vector<std::uint8_t>{0x00}), 0x00E5);
  // 0x00E5 + (0xF3 + 13) mod 256 = 0x00E5, rotated 0x01CA, xor 0xFF: 0x0135.
  EXPECT_EQ(StBlockCheck(std::vector<std::uint8_t>{0x00, 0xF3}), 0x0135);
  // The ST's own check (the simulator's) agrees on whole blocks of any content.
  std::mt19937 rng(5);
  for (int n = 0; n < 20; ++n) {
    std::vector<std::uint8_t> block(kStBlockSize);
    for (auto& b : block) b = static_cast<std::uint8_t>(rng());
    EXPECT_EQ(StBlockCheck(block), sim::StBlockCheck(block));
  }
}

TEST(StKindTraitsTest, AddressFormsOfTheKinds) {
  const StKindTraits a = *StKindTraitsFor(StSectionKind::kA);
  const StKindTraits b = *StKindTraitsFor(StSectionKind::kB);
  EXPECT_EQ(StAddressedRequest(a, kStBlockCheck, 0x80),
            (std::vector<std::uint8_t>{0x15, 0x80, 0x10}));
  EXPECT_EQ(StAddressedRequest(b, kStBlockCheck, 0x1F580),
            (std::vector<std::uint8_t>{0x15, 0x02, 0x7F, 0x80}));
  const std::vector<std::uint8_t> data = {0xAB, 0xCD};
  EXPECT_EQ(StAddressedRequest(b, kStProgramBlock, 0, data),
            (std::vector<std::uint8_t>{0x14, 0x00, 0x8A, 0x00, 0xAB, 0xCD}));
  EXPECT_FALSE(StKindTraitsFor(StSectionKind::kNone).has_value());
  EXPECT_EQ(StKindForPanelType(3), StSectionKind::kNone);
  EXPECT_EQ(StKindForPanelType(4), StSectionKind::kA);
  EXPECT_EQ(StKindForPanelType(5), StSectionKind::kB);
  EXPECT_EQ(StKindForPanelType(8), StSectionKind::kC);
}

// The kinds' figures agree with the file's section layout, and the FSK read of kinds A and B
// reaches the FSK bytes where the section keeps them.
TEST(StKindTraitsTest, AgreesWithTheSectionLayout) {
  for (StSectionKind kind : {StSectionKind::kA, StSectionKind::kB, StSectionKind::kC}) {
    const StKindTraits traits = *StKindTraitsFor(kind);
    const firmware::StLayout layout = *firmware::StLayoutFor(kind);
    EXPECT_EQ(traits.start, layout.addressBase);
    EXPECT_LE(traits.count, layout.length);
    EXPECT_EQ(traits.count % kStBlockSize, 0u);
    EXPECT_LT(traits.versionOffset + 7, traits.count);
    if (!traits.hasFsk) continue;
    const std::size_t addressBytes = traits.fskRequest.size() - 1;
    std::uint32_t readAddress = 0;
    if (traits.addressForm == StAddressForm::kTwoBytesLowFirst) {
      readAddress = traits.fskRequest[1] | traits.fskRequest[2] << 8;
    } else {
      readAddress = traits.fskRequest[1] << 16 | traits.fskRequest[2] << 8 | traits.fskRequest[3];
    }
    // Reply: answer byte, the address as sent, 128 bytes.
    EXPECT_EQ(traits.fskReplyCount, 1 + addressBytes + kStBlockSize);
    EXPECT_EQ(readAddress + (traits.fskReplyIndex - 1 - addressBytes),
              traits.start + traits.fskOffset);
    EXPECT_LT(traits.fskOffset + 1, layout.coveredEnd);
  }
}

}  // namespace
}  // namespace korvex::update
