#include "firmware/identity.h"

#include <algorithm>
#include <cstring>

#include "shell/util.h"

namespace korvex::firmware {

namespace {

constexpr std::array<PanelTypeInfo, 9> kPanelTypes = {{
    {0, 0, "SOLANTA Mini", StSectionKind::kNone},
    {1, 1, "SOLANTA Basic", StSectionKind::kNone},
    {2, 2, "SOLANTA Medium", StSectionKind::kNone},
    {3, 3, "SOLANTA Large", StSectionKind::kNone},
    {4, 4, "SOLANTA Large R-A", StSectionKind::kA},
    {0x84, 5, "SOLANTA Large R-B", StSectionKind::kB},
    {0x42, 6, "SOLANTA Medium NX", StSectionKind::kC},
    {0x43, 7, "SOLANTA Large NX", StSectionKind::kC},
    {0x48, 8, "SOLANTA Grand NX", StSectionKind::kC},
}};

constexpr std::array<const char*, 28> kLanguageNames = {
    "PL", "EN", "UA", "RU", "DE", "SK", "IT", "CZ", "HU", "NL", "IE", "NO", "DK", "IS",
    "GR", "FR", "ES", "PT", "FI", "SI", "SE", "TR", "RO", "EE", "BG", "LV", "MK", "RS"};
constexpr std::uint8_t kLithuanianCode = 30;

enum class SignatureKind { kUnknown, kPlain, kVarek, kBlg };

SignatureKind ClassifySignature(std::span<const std::uint8_t> four) {
  if (four[0] != 0x00) return SignatureKind::kUnknown;
  const std::string letters(four.begin() + 1, four.begin() + 4);
  for (const char* plain : {"sol", "SOL", "Los", "QFW"}) {
    if (letters == plain) return SignatureKind::kPlain;
  }
  if (letters == "vrk" || letters == "Krv") return SignatureKind::kVarek;
  if (letters == "BLG") return SignatureKind::kBlg;
  return SignatureKind::kUnknown;
}

std::string ThreeDigits(std::uint8_t value) {
  std::string text = std::to_string(value);
  return std::string(3 - text.size(), '0') + text;
}

}  // namespace

IdentityHeader DecodeIdentityBlock(std::span<const std::uint8_t, kIdentityBlockSize> block) {
  IdentityHeader header;
  const SignatureKind kind = ClassifySignature(block.first(4));
  if (kind == SignatureKind::kUnknown) return header;
  header.recognised = true;
  header.varekVariant = kind == SignatureKind::kVarek;
  header.blgSignature = kind == SignatureKind::kBlg;
  header.rawType = block[4];
  header.versionDate.assign(block.begin() + 5, block.begin() + 16);
  header.languageCode = block[16];
  header.betaNumber = header.VersionDigits() < kFirstVersionWithBeta ? 0 : block[17];
  return header;
}

IdentityHeader DecodeIdentity(FirmwareImage& image) {
  std::array<std::uint8_t, kIdentityBlockSize> block{};
  image.ImageGet(kIdentityAddress, std::span<std::uint8_t>(block).first(17));
  image.ImageGet(kIdentityBetaAddress, std::span<std::uint8_t>(block).subspan(17, 1));
  const IdentityHeader header = DecodeIdentityBlock(block);
  image.VarekVariant = header.varekVariant;
  image.BlgSignature = header.blgSignature;
  return header;
}

std::optional<PanelTypeInfo> PanelTypeFromRaw(std::uint8_t rawCode) {
  for (const PanelTypeInfo& info : kPanelTypes) {
    if (info.rawCode == rawCode) return info;
  }
  return std::nullopt;
}

std::optional<PanelTypeInfo> PanelTypeInfoFor(int panelType) {
  if (panelType < 0 || panelType >= static_cast<int>(kPanelTypes.size())) return std::nullopt;
  return kPanelTypes[static_cast<std::size_t>(panelType)];
}

std::string ModelName(int panelType) {
  const auto info = PanelTypeInfoFor(panelType);
  if (!info) return "";
  std::string name = info->modelName;
  return std::string(kModelNameWidth - name.size(), ' ') + name;
}

std::string LanguageName(std::uint8_t code, bool blgSignature) {
  if (code == 9 && blgSignature) return "NB";
  if (code == 15 && blgSignature) return "FB";
  if (code < kLanguageNames.size()) return kLanguageNames[code];
  if (code == kLithuanianCode) return "LT";
  return "?? (" + std::to_string(code) + ")";
}

std::string MakeFileVersionText(const IdentityHeader& header) {
  return header.versionDate + ThreeDigits(header.betaNumber);
}

std::string BuildDescription(const std::string& modelName, const IdentityHeader& header) {
  // The version and date characters are used as the header holds them; a short text (an
  // unrecognised header has none) is padded so that no position is missing.
  std::string vd = header.versionDate;
  vd.resize(11, ' ');
  std::string text = modelName;
  if (text.size() < kModelNameWidth) text.insert(0, kModelNameWidth - text.size(), ' ');
  text += " v" + vd.substr(0, 1) + "." + vd.substr(1, 2) + " " + vd.substr(3, 4) + "-" +
          vd.substr(7, 2) + "-" + vd.substr(9, 2);
  if (header.betaNumber != 0) text += " BETA " + ThreeDigits(header.betaNumber);
  text += " " + LanguageName(header.languageCode, header.blgSignature);
  text.erase(0, text.find_first_not_of(' '));
  if (header.varekVariant) text = "VAREK " + text;
  return shell::ShortText(text);
}

bool VersionSupported(const std::string& versionDigits) {
  return !(versionDigits > kHighestSupportedVersion);
}

bool ApplyIdentity(const IdentityHeader& header, FirmwareImage& image) {
  const auto info = PanelTypeFromRaw(header.rawType);
  if (!header.recognised || !info || info->requiredKind != image.StKind) return false;
  image.PanelType = info->panelType;
  image.FileVersionText = MakeFileVersionText(header);
  image.LanguageCode = header.languageCode;
  image.BetaNumber = header.betaNumber;
  image.VarekVariant = header.varekVariant;
  image.BlgSignature = header.blgSignature;
  image.FileDescription = BuildDescription(ModelName(info->panelType), header);
  return true;
}

}  // namespace korvex::firmware
