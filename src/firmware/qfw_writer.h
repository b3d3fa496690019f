// Making firmware files: the identity header written into a raw program, the three check
// values, the ST section with its keystream and check value, and the scrambling with a key.
// The file tool packs with it and the tests make their files with it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/scramble_key.h"

namespace korvex::firmware {

// The header fields a packer writes at 0x12000 (bytes 0x12011..0x12018 are left alone).
struct IdentityFields {
  std::string signature = "SOL";  // three letters after the 0x00 byte
  std::uint8_t rawType = 0;       // raw panel type code as stored (0x84 for panel type 5 ...)
  std::string version = "124";    // three digits
  std::string date = "20250312";  // yyyymmdd
  std::uint8_t languageCode = 1;
  std::uint8_t betaNumber = 0;
};

// Writes the header into a raw program of kProgramSize bytes. Texts are cut or padded with
// '0' to their field sizes; the result is only sensible for fields that CheckIdentityFields
// accepts.
void WriteIdentityHeader(std::span<std::uint8_t> program, const IdentityFields& fields);

// Empty when the fields make a header this tool accepts for a file of the given ST kind;
// otherwise the reason, for the operator of the file tool.
std::string CheckIdentityFields(const IdentityFields& fields, StSectionKind kind);

struct QfwInput {
  std::vector<std::uint8_t> program;    // kProgramSize bytes, header included
  std::vector<std::uint8_t> stProgram;  // empty, or exactly the length of an ST kind
  bool repairStChecksum = true;         // write the ST program's own checksum before encoding
};

struct QfwOutput {
  std::vector<std::uint8_t> bytes;  // the scrambled file; empty when `error` is set
  std::string error;
  StSectionKind stKind = StSectionKind::kNone;
  bool stChecksumRepaired = false;  // the ST program's checksum had to be written
};

// The ST kind whose section length is `length` (0 gives none); nullopt for another length.
std::optional<StSectionKind> StKindForSectionLength(std::size_t length);

// Builds a complete file: program, check values, ST section. Structural checks only (sizes);
// the header is taken as it is, so tests can also make files that the checker refuses.
QfwOutput BuildQfw(const QfwInput& input, const ScrambleKey& key = ConfiguredKey());

// The 0x60000-byte main image area in plain form: program and its three check values.
std::vector<std::uint8_t> MainImageWithChecks(std::span<const std::uint8_t> program);

}  // namespace korvex::firmware
