#include "firmware/qfw_writer.h"

#include <algorithm>
#include <cctype>

#include "firmware/block_check.h"
#include "firmware/identity.h"
#include "firmware/scrambler.h"
#include "firmware/st_section.h"

namespace korvex::firmware {

namespace {

bool AllDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

void PutText(std::span<std::uint8_t> program, std::uint32_t at, std::string text,
             std::size_t length, char pad) {
  text.resize(length, pad);
  std::copy(text.begin(), text.end(), program.begin() + at);
}

}  // namespace

void WriteIdentityHeader(std::span<std::uint8_t> program, const IdentityFields& fields) {
  if (program.size() < kIdentityBetaAddress + 1) return;
  program[kIdentityAddress] = 0x00;
  PutText(program, kIdentityAddress + 1, fields.signature, 3, ' ');
  program[kIdentityAddress + 4] = fields.rawType;
  PutText(program, kIdentityAddress + 5, fields.version, 3, '0');
  PutText(program, kIdentityAddress + 8, fields.date, 8, '0');
  program[kIdentityAddress + 0x10] = fields.languageCode;
  program[kIdentityBetaAddress] = fields.betaNumber;
}

std::string CheckIdentityFields(const IdentityFields& fields, StSectionKind kind) {
  std::array<std::uint8_t, kIdentityBlockSize> block{};
  block[0] = 0;
  for (std::size_t i = 0; i < 3 && i < fields.signature.size(); ++i) {
    block[1 + i] = static_cast<std::uint8_t>(fields.signature[i]);
  }
  if (fields.signature.size() != 3 || !DecodeIdentityBlock(block).recognised) {
    return "the signature \"" + fields.signature +
           "\" is not one of sol, SOL, Los, QFW, vrk, Krv, BLG";
  }
  if (fields.version.size() != 3 || !AllDigits(fields.version)) {
    return "the version \"" + fields.version + "\" is not three digits (\"124\" is 1.24)";
  }
  if (fields.date.size() != 8 || !AllDigits(fields.date)) {
    return "the date \"" + fields.date + "\" is not eight digits (yyyymmdd)";
  }
  const auto type = PanelTypeFromRaw(fields.rawType);
  if (!type) return "the panel type code " + std::to_string(fields.rawType) + " is unknown";
  if (type->requiredKind != kind) {
    const std::uint32_t need = StSectionLength(type->requiredKind);
    std::string reason =
        "panel type " + std::to_string(type->panelType) + " (" + type->modelName + ") needs ";
    reason += need == 0 ? std::string("no ST program")
                        : "an ST program of " + std::to_string(need) + " bytes (kind " +
                              StKindName(type->requiredKind) + ")";
    const std::uint32_t have = StSectionLength(kind);
    reason += have == 0 ? std::string(", but none was given")
                        : ", but the ST program given has " + std::to_string(have) + " bytes";
    return reason;
  }
  return "";
}

std::optional<StSectionKind> StKindForSectionLength(std::size_t length) {
  for (StSectionKind kind :
       {StSectionKind::kNone, StSectionKind::kA, StSectionKind::kB, StSectionKind::kC}) {
    if (StSectionLength(kind) == length) return kind;
  }
  return std::nullopt;
}

std::vector<std::uint8_t> MainImageWithChecks(std::span<const std::uint8_t> program) {
  std::vector<std::uint8_t> area(kMainImageFileSize, 0xFF);
  std::copy_n(program.begin(), std::min<std::size_t>(program.size(), kProgramSize), area.begin());
  const BlockCheckValues values =
      BlockCheck(std::span<const std::uint8_t>(area).first(kProgramSize));
  area[kCheckSumAddress] = static_cast<std::uint8_t>(values.sum & 0xFF);
  area[kCheckSumAddress + 1] = static_cast<std::uint8_t>(values.sum >> 8);
  area[kCheckXorAddress] = values.xorValue;
  area[kCheckChainAddress] = values.chain;
  return area;
}

QfwOutput BuildQfw(const QfwInput& input, const ScrambleKey& key) {
  QfwOutput out;
  if (input.program.size() != kProgramSize) {
    out.error = "the program image has " + std::to_string(input.program.size()) +
                " bytes; it must have " + std::to_string(kProgramSize);
    return out;
  }
  const auto kind = StKindForSectionLength(input.stProgram.size());
  if (!kind) {
    out.error = "the ST program has " + std::to_string(input.stProgram.size()) +
                " bytes; it must have 61440 (kind A), 128512 (kind B) or 30208 (kind C)";
    return out;
  }
  out.stKind = *kind;

  std::vector<std::uint8_t> bytes = MainImageWithChecks(input.program);
  Scramble(bytes, 0, key);

  if (*kind != StSectionKind::kNone) {
    FirmwareImage st;
    st.StKind = *kind;
    std::copy(input.stProgram.begin(), input.stProgram.end(), st.StImage.begin());
    if (input.repairStChecksum) out.stChecksumRepaired = !RefreshStCheck(st);
    const std::span<const std::uint8_t> plain = st.StProgram();
    std::vector<std::uint8_t> encoded(plain.size());
    const std::uint32_t check = EncodeStBytes(plain, encoded);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<std::uint8_t>(check >> (8 * k)));
  }
  out.bytes = std::move(bytes);
  return out;
}

}  // namespace korvex::firmware
