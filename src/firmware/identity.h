// The identity header inside the program (signature, panel type, version, build date,
// language, beta number), the tables of panel types and languages, and the one-line
// description built from them. The programming run decodes the panel's own header with the
// same routines.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "firmware/firmware_image.h"

namespace korvex::firmware {

inline constexpr std::uint32_t kIdentityAddress = 0x12000;
inline constexpr std::uint32_t kIdentityBetaAddress = 0x12019;
// The header bytes that are read: 0x12000..0x12010, then 0x12019.
inline constexpr std::size_t kIdentityBlockSize = 18;
inline constexpr std::uint8_t kUnusableRawType = 255;
inline constexpr std::size_t kModelNameWidth = 22;

// The highest program version this tool programs, compared as text of three digits.
inline constexpr const char* kHighestSupportedVersion = "124";
inline constexpr const char* kVersionRangeMessage =
    "Program works with  1.00 - 1.24  versions only !";
// Beta numbers count only from this version on (compared as text).
inline constexpr const char* kFirstVersionWithBeta = "114";

struct IdentityHeader {
  bool recognised = false;  // the signature is one of the known ones
  std::uint8_t rawType = kUnusableRawType;
  std::string versionDate;  // 11 characters: 3 version digits, then yyyymmdd
  std::uint8_t languageCode = 0;
  std::uint8_t betaNumber = 0;  // 0 for versions below 1.14, whatever the header holds
  bool varekVariant = false;
  bool blgSignature = false;

  std::string VersionDigits() const { return versionDate.substr(0, 3); }
};

// Decodes the 18 header bytes as read from 0x12000..0x12010 and 0x12019.
IdentityHeader DecodeIdentityBlock(std::span<const std::uint8_t, kIdentityBlockSize> block);
// Decodes the header of image.MainImage and sets image.VarekVariant and image.BlgSignature.
IdentityHeader DecodeIdentity(FirmwareImage& image);

struct PanelTypeInfo {
  std::uint8_t rawCode;
  int panelType;
  const char* modelName;
  StSectionKind requiredKind;
};
// The panel type of a raw header code; nullopt for a code not in the table.
std::optional<PanelTypeInfo> PanelTypeFromRaw(std::uint8_t rawCode);
// The table entry of a panel type 0..8; nullopt otherwise.
std::optional<PanelTypeInfo> PanelTypeInfoFor(int panelType);
// The model name of a panel type 0..8, right-aligned in 22 characters; empty for another.
std::string ModelName(int panelType);

// The two-letter language name; "?? (" + code + ")" for an unknown code. The BLG signature
// changes the names of codes 9 and 15.
std::string LanguageName(std::uint8_t code, bool blgSignature = false);

// The 14-character version text: version and date characters, beta number in 3 digits.
std::string MakeFileVersionText(const IdentityHeader& header);

// The one-line description, e.g. "SOLANTA Mini v1.24 2025-03-12 EN". modelName is the
// model's name (alignment does not matter: leading spaces are removed).
std::string BuildDescription(const std::string& modelName, const IdentityHeader& header);

// True when the version digits are within the supported range (up to kHighestSupportedVersion).
bool VersionSupported(const std::string& versionDigits);

// Checks the decoded header against the file's ST kind and fills the identity fields of the
// image (panel type, version text, language, beta number, description). False, with the
// fields left as they were, when the raw type is unknown or needs another ST kind.
bool ApplyIdentity(const IdentityHeader& header, FirmwareImage& image);

}  // namespace korvex::firmware
