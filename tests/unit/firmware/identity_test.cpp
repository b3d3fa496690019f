#include "firmware/identity.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace korvex::firmware {
namespace {

std::array<std::uint8_t, kIdentityBlockSize> Block(const std::string& letters, std::uint8_t rawType,
                                                   const std::string& versionDate,
                                                   std::uint8_t language, std::uint8_t beta) {
  std::array<std::uint8_t, kIdentityBlockSize> block{};
  block[0] = 0;
  for (int i = 0; i < 3; ++i) block[1 + i] = static_cast<std::uint8_t>(letters[i]);
  block[4] = rawType;
  for (int i = 0; i < 11; ++i) block[5 + i] = static_cast<std::uint8_t>(versionDate[i]);
  block[16] = language;
  block[17] = beta;
  return block;
}

std::string Describe(const std::string& letters, std::uint8_t rawType, const std::string& vd,
                     std::uint8_t language, std::uint8_t beta) {
  const IdentityHeader header = DecodeIdentityBlock(Block(letters, rawType, vd, language, beta));
  const auto type = PanelTypeFromRaw(header.rawType);
  return BuildDescription(type ? ModelName(type->panelType) : "", header);
}

TEST(Description, BuiltFromTheHeaderFields) {
  struct Case {
    const char* letters;
    std::uint8_t rawType;
    const char* versionDate;
    std::uint8_t language;
    std::uint8_t beta;
    const char* description;
  };
  const Case cases[] = {
      {"SOL", 0, "12420250312", 1, 0, "SOLANTA Mini v1.24 2025-03-12 EN"},
      {"SOL", 0, "12420250312", 1, 3, "SOLANTA Mini v1.24 2025-03-12 BETA 003 EN"},
      {"sol", 0x84, "10019991231", 0, 0, "SOLANTA Large R-B v1.00 1999-12-31 PL"},
      {"vrk", 2, "12320240101", 4, 0, "VAREK SOLANTA Medium v1.23 2024-01-01 DE"},
      {"Krv", 0x48, "11420240101", 5, 255, "VAREK SOLANTA Grand NX v1.14 2024-01-01 BETA 255 SK"},
      {"SOL", 3, "11320240101", 1, 7, "SOLANTA Large v1.13 2024-01-01 EN"},  // beta ignored
      {"SOL", 3, "11420240101", 1, 7, "SOLANTA Large v1.14 2024-01-01 BETA 007 EN"},
      {"BLG", 1, "12420250312", 9, 0, "SOLANTA Basic v1.24 2025-03-12 NB"},
      {"SOL", 1, "12420250312", 9, 0, "SOLANTA Basic v1.24 2025-03-12 NL"},
      {"BLG", 0x42, "12420250312", 15, 0, "SOLANTA Medium NX v1.24 2025-03-12 FB"},
      {"Los", 0x43, "12420250312", 28, 0, "SOLANTA Large NX v1.24 2025-03-12 ?? (28)"},
      {"QFW", 4, "12420250312", 30, 0, "SOLANTA Large R-A v1.24 2025-03-12 LT"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Describe(c.letters, c.rawType, c.versionDate, c.language, c.beta), c.description)
        << c.description;
  }
}

TEST(Identity, SignaturesSetTheVariantFlagsAndUnknownOnesMakeTheTypeUnusable) {
  const IdentityHeader varek = DecodeIdentityBlock(Block("vrk", 2, "12420250312", 1, 0));
  EXPECT_TRUE(varek.recognised && varek.varekVariant && !varek.blgSignature);
  const IdentityHeader blg = DecodeIdentityBlock(Block("BLG", 2, "12420250312", 1, 0));
  EXPECT_TRUE(blg.recognised && blg.blgSignature && !blg.varekVariant);
  for (const char* letters : {"SOl", "sOL", "XYZ", "vRK", "blg"}) {
    const IdentityHeader header = DecodeIdentityBlock(Block(letters, 2, "12420250312", 1, 0));
    EXPECT_FALSE(header.recognised) << letters;
    EXPECT_EQ(header.rawType, kUnusableRawType);
  }
  auto leadingByte = Block("SOL", 2, "12420250312", 1, 0);
  leadingByte[0] = 0x20;
  EXPECT_FALSE(DecodeIdentityBlock(leadingByte).recognised);
}

TEST(Identity, DecodeFromImageReadsTheHeaderAndTheBetaByte) {
  FirmwareImage image;
  const auto block = Block("Krv", 0x43, "12320240229", 21, 9);
  image.ImagePut(0x12000, std::span(block).first(17));
  image.MainImage[0x12019] = 9;
  image.MainImage[0x12011] = 0x55;  // not read
  const IdentityHeader header = DecodeIdentity(image);
  EXPECT_TRUE(image.VarekVariant);
  EXPECT_FALSE(image.BlgSignature);
  EXPECT_EQ(header.rawType, 0x43);
  EXPECT_EQ(header.versionDate, "12320240229");
  EXPECT_EQ(header.languageCode, 21);
  EXPECT_EQ(header.betaNumber, 9);
  EXPECT_EQ(MakeFileVersionText(header), "12320240229009");
}

TEST(Identity, PanelTypesMapRawCodesToModelsAndRequiredKinds) {
  struct Case {
    std::uint8_t raw;
    int type;
    const char* model;
    StSectionKind kind;
  };
  const Case cases[] = {{0, 0, "SOLANTA Mini", StSectionKind::kNone},
                        {1, 1, "SOLANTA Basic", StSectionKind::kNone},
                        {2, 2, "SOLANTA Medium", StSectionKind::kNone},
                        {3, 3, "SOLANTA Large", StSectionKind::kNone},
                        {4, 4, "SOLANTA Large R-A", StSectionKind::kA},
                        {0x84, 5, "SOLANTA Large R-B", StSectionKind::kB},
                        {0x42, 6, "SOLANTA Medium NX", StSectionKind::kC},
                        {0x43, 7, "SOLANTA Large NX", StSectionKind::kC},
                        {0x48, 8, "SOLANTA Grand NX", StSectionKind::kC}};
  for (const Case& c : cases) {
    const auto info = PanelTypeFromRaw(c.raw);
    ASSERT_TRUE(info) << int(c.raw);
    EXPECT_EQ(info->panelType, c.type);
    EXPECT_EQ(info->requiredKind, c.kind);
    const std::string name = ModelName(c.type);
    EXPECT_EQ(name.size(), 22u);
    EXPECT_EQ(name.substr(22 - std::string(c.model).size()), c.model);
    EXPECT_EQ(name.find_first_not_of(' '), 22 - std::string(c.model).size());
  }
  for (int raw : {5, 8, 9, 0x40, 0x44, 0x83, 0x85, 255}) {
    EXPECT_FALSE(PanelTypeFromRaw(static_cast<std::uint8_t>(raw))) << raw;
  }
  EXPECT_EQ(ModelName(9), "");
  EXPECT_EQ(ModelName(-1), "");
}

TEST(Identity, LanguageNames) {
  const char* names[] = {"PL", "EN", "UA", "RU", "DE", "SK", "IT", "CZ", "HU", "NL",
                         "IE", "NO", "DK", "IS", "GR", "FR", "ES", "PT", "FI", "SI",
                         "SE", "TR", "RO", "EE", "BG", "LV", "MK", "RS"};
  for (int code = 0; code < 28; ++code) {
    EXPECT_EQ(LanguageName(static_cast<std::uint8_t>(code)), names[code]);
  }
  EXPECT_EQ(LanguageName(30), "LT");
  EXPECT_EQ(LanguageName(29), "?? (29)");
  EXPECT_EQ(LanguageName(255), "?? (255)");
  EXPECT_EQ(LanguageName(9, true), "NB");
  EXPECT_EQ(LanguageName(15, true), "FB");
  EXPECT_EQ(LanguageName(1, true), "EN");
}

TEST(Identity, VersionRangeEndsAt124WithoutLowerLimit) {
  EXPECT_TRUE(VersionSupported("124"));
  EXPECT_TRUE(VersionSupported("000"));
  EXPECT_TRUE(VersionSupported("099"));
  EXPECT_FALSE(VersionSupported("125"));
  EXPECT_FALSE(VersionSupported("200"));
}

TEST(Identity, ApplyIdentityChecksTheTypeAgainstTheFileKind) {
  FirmwareImage image;
  image.StKind = StSectionKind::kNone;
  const IdentityHeader typeFour = DecodeIdentityBlock(Block("SOL", 4, "12420250312", 1, 0));
  EXPECT_FALSE(ApplyIdentity(typeFour, image));
  image.StKind = StSectionKind::kA;
  ASSERT_TRUE(ApplyIdentity(typeFour, image));
  EXPECT_EQ(image.PanelType, 4);
  EXPECT_EQ(image.FileVersionText, "12420250312000");
  EXPECT_EQ(image.FileDescription, "SOLANTA Large R-A v1.24 2025-03-12 EN");
  image.StKind = StSectionKind::kB;
  EXPECT_FALSE(ApplyIdentity(typeFour, image));
  const IdentityHeader typeFive = DecodeIdentityBlock(Block("SOL", 0x84, "12420250312", 1, 0));
  EXPECT_TRUE(ApplyIdentity(typeFive, image));
  EXPECT_EQ(image.PanelType, 5);
}

}  // namespace
}  // namespace korvex::firmware
