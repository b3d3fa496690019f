#include "tools/qfw/qfw_tool.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "firmware/block_check.h"
#include "firmware/firmware_check.h"
#include "firmware/firmware_image.h"
#include "firmware/identity.h"
#include "firmware/qfw_writer.h"
#include "firmware/sample_program.h"
#include "firmware/scrambler.h"
#include "firmware/st_section.h"
#include "shell/file_names.h"

namespace korvex::qfw {

namespace fw = korvex::firmware;

namespace {

// Inputs of pack are small; anything far larger is refused before it is read.
constexpr std::uintmax_t kMaxInputSize = 16u << 20;

const std::set<std::string> kValueOptions = {"--program", "--st",        "--output", "-o",
                                             "--type",    "--version",   "--date",   "--language",
                                             "--beta",    "--signature", "--seed"};
const std::set<std::string> kFlagOptions = {"--keep-header", "--keep-st-checksum", "--force"};

struct CommandLine {
  std::string command;
  std::vector<std::string> positionals;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  std::string error;

  bool Has(const std::string& option) const { return values.count(option) != 0; }
  std::string Value(const std::string& option) const {
    const auto it = values.find(option);
    return it == values.end() ? std::string() : it->second;
  }
};

CommandLine Parse(const std::vector<std::string>& args) {
  CommandLine line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (line.command.empty() && !arg.starts_with("-")) {
      line.command = arg;
    } else if (kValueOptions.count(arg)) {
      if (i + 1 >= args.size()) {
        line.error = "option " + arg + " needs a value";
        return line;
      }
      const std::string name = arg == "-o" ? "--output" : arg;
      if (line.values.count(name)) {
        line.error = "option " + name + " is given twice";
        return line;
      }
      line.values[name] = args[++i];
    } else if (kFlagOptions.count(arg)) {
      line.flags.insert(arg);
    } else if (arg == "--help" || arg == "-h") {
      line.flags.insert("--help");
    } else if (arg.starts_with("-") && arg.size() > 1) {
      line.error = "unknown option " + arg;
      return line;
    } else {
      line.positionals.push_back(arg);
    }
  }
  return line;
}

std::optional<unsigned> ParseNumber(const std::string& text, unsigned maximum) {
  unsigned value = 0;
  int base = 10;
  std::string digits = text;
  if (digits.starts_with("0x") || digits.starts_with("0X")) {
    base = 16;
    digits = digits.substr(2);
  }
  if (digits.empty()) return std::nullopt;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (ec != std::errc() || end != digits.data() + digits.size() || value > maximum) {
    return std::nullopt;
  }
  return value;
}

std::string Hex(std::uint32_t value, int digits) {
  std::ostringstream text;
  text << "0x" << std::uppercase << std::hex;
  text.width(digits);
  text.fill('0');
  text << value;
  return text.str();
}

bool ReadInput(const std::string& name, std::vector<std::uint8_t>& bytes, std::string& error) {
  const std::filesystem::path path = shell::PathFromUtf8(name);
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::is_regular_file(status)) {
    error = name + ": not a readable file";
    return false;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxInputSize) {
    error = name + ": " + (ec ? ec.message() : "far too large for a program image");
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  bytes.assign(static_cast<std::size_t>(size), 0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
    error = name + ": cannot be read";
    return false;
  }
  return true;
}

bool WriteOutput(const std::string& name, std::span<const std::uint8_t> bytes, std::string& error) {
  std::ofstream out(shell::PathFromUtf8(name), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    error = name + ": cannot be written";
    return false;
  }
  return true;
}

std::string AbsolutePath(const std::string& name) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(shell::PathFromUtf8(name), ec);
  return ec ? name : shell::Utf8FromPath(absolute.lexically_normal());
}

std::string VersionShown(const std::string& versionText) {
  if (versionText.size() < 3) return versionText;
  return versionText.substr(0, 1) + "." + versionText.substr(1, 2);
}

// The verdict of the updater on a checked file: accepted, or why not.
std::string Refusal(const fw::FileCheckResult& result, const fw::FirmwareImage& image) {
  switch (result.verdict) {
    case fw::FileVerdict::kValid:
      if (!fw::VersionSupported(image.FileVersionText.substr(0, 3))) {
        return "refused: version " + VersionShown(image.FileVersionText) +
               " is outside the range 1.00 - 1.24 that this updater programs";
      }
      return "";
    case fw::FileVerdict::kCannotOpen:
    case fw::FileVerdict::kStCannotReopen:
      return "cannot be opened";
    case fw::FileVerdict::kInvalid:
      break;
  }
  return "invalid: " + result.reason;
}

void PrintDetails(const fw::FirmwareImage& image, std::ostream& out) {
  const std::string& v = image.FileVersionText;
  const auto info = fw::PanelTypeInfoFor(image.PanelType);
  out << "Description:   " << image.FileDescription << "\n";
  out << "Panel type:    " << image.PanelType << " (" << (info ? info->modelName : "?")
      << "), header code " << (info ? static_cast<unsigned>(info->rawCode) : 0u) << "\n";
  out << "Version text:  " << v << "\n";
  out << "Version:       " << VersionShown(v) << "\n";
  out << "Build date:    " << v.substr(3, 4) << "-" << v.substr(7, 2) << "-" << v.substr(9, 2)
      << "\n";
  out << "Beta:          "
      << (image.BetaNumber == 0 ? std::string("0 (release)") : std::to_string(image.BetaNumber))
      << "\n";
  out << "Language:      " << static_cast<unsigned>(image.LanguageCode) << " "
      << fw::LanguageName(image.LanguageCode, image.BlgSignature) << "\n";
  out << "Variant:       "
      << (image.VarekVariant   ? "VAREK"
          : image.BlgSignature ? "BLG signature"
                               : "standard")
      << "\n";
  const auto layout = fw::StLayoutFor(image.StKind);
  out << "ST section:    " << fw::StKindName(image.StKind);
  if (layout) {
    const std::uint32_t stored =
        image.StImage[layout->checksumOffset] | (image.StImage[layout->checksumOffset + 1] << 8);
    out << ", " << layout->length << " bytes at ST addresses " << Hex(layout->addressBase, 4) << "-"
        << Hex(layout->addressBase + layout->length - 1, 5) << ", ST checksum " << Hex(stored, 4);
  }
  out << "\n";
  out << "Check values:  sum "
      << Hex(image.MainImage[fw::kCheckSumAddress] |
                 (image.MainImage[fw::kCheckSumAddress + 1] << 8),
             4)
      << ", xor " << Hex(image.MainImage[fw::kCheckXorAddress], 2) << ", chain "
      << Hex(image.MainImage[fw::kCheckChainAddress], 2) << "\n";
}

int Info(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positionals.size() != 1) {
    err << "korvex-qfw info: give exactly one file\n";
    return kExitUsage;
  }
  const std::string path = AbsolutePath(line.positionals[0]);
  fw::FirmwareImage image;
  const fw::FileCheckResult result = fw::CheckFirmwareFile(path, image);
  const std::string refusal = Refusal(result, image);
  out << "File:          " << path << "\n";
  out << "Verdict:       " << (refusal.empty() ? "accepted" : refusal) << "\n";
  if (result.Valid()) PrintDetails(image, out);
  return refusal.empty() ? kExitOk : kExitRefused;
}

int Verify(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positionals.empty()) {
    err << "korvex-qfw verify: give one or more files\n";
    return kExitUsage;
  }
  int code = kExitOk;
  for (const std::string& name : line.positionals) {
    const std::string path = AbsolutePath(name);
    fw::FirmwareImage image;
    const fw::FileCheckResult result = fw::CheckFirmwareFile(path, image);
    const std::string refusal = Refusal(result, image);
    out << path << ": " << (refusal.empty() ? "ok, " + image.FileDescription : refusal) << "\n";
    if (!refusal.empty()) code = kExitRefused;
  }
  return code;
}

// The header fields as the raw program holds them, for --keep-header.
std::string FieldsFromProgram(const std::vector<std::uint8_t>& program,
                              fw::IdentityFields& fields) {
  const auto at = [&](std::uint32_t address) { return program[address]; };
  if (at(fw::kIdentityAddress) != 0x00)
    return "the program's header at 0x12000 does not begin with 0x00";
  const auto text = [&](std::uint32_t from, std::size_t count) {
    return std::string(program.begin() + from, program.begin() + from + count);
  };
  fields.signature = text(fw::kIdentityAddress + 1, 3);
  fields.rawType = at(fw::kIdentityAddress + 4);
  fields.version = text(fw::kIdentityAddress + 5, 3);
  fields.date = text(fw::kIdentityAddress + 8, 8);
  fields.languageCode = at(fw::kIdentityAddress + 0x10);
  fields.betaNumber = at(fw::kIdentityBetaAddress);
  return "";
}

std::string FieldsFromOptions(const CommandLine& line, fw::IdentityFields& fields) {
  const auto type = ParseNumber(line.Value("--type"), 8);
  if (!type) return "the panel type \"" + line.Value("--type") + "\" is not one of 0..8";
  fields.rawType = fw::PanelTypeInfoFor(static_cast<int>(*type))->rawCode;
  fields.version = line.Value("--version");
  fields.date = line.Value("--date");
  if (line.Has("--signature")) fields.signature = line.Value("--signature");
  if (line.Has("--beta")) {
    const auto beta = ParseNumber(line.Value("--beta"), 255);
    if (!beta) return "the beta number \"" + line.Value("--beta") + "\" is not 0..255";
    fields.betaNumber = static_cast<std::uint8_t>(*beta);
  }
  if (line.Has("--language")) {
    const std::string language = line.Value("--language");
    std::optional<unsigned> code = ParseNumber(language, 255);
    const bool blg = fields.signature == "BLG";
    for (unsigned c = 0; !code && c < 256; ++c) {
      if (fw::LanguageName(static_cast<std::uint8_t>(c), blg) == language) code = c;
    }
    if (!code) return "the language \"" + language + "\" is neither a code 0..255 nor a known name";
    fields.languageCode = static_cast<std::uint8_t>(*code);
  }
  return "";
}

int Pack(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positionals.empty() || !line.Has("--program") || !line.Has("--output")) {
    err << "korvex-qfw pack: give --program RAW and --output FILE (see --help)\n";
    return kExitUsage;
  }
  const bool keepHeader = line.flags.count("--keep-header") != 0;
  if (keepHeader) {
    for (const char* option :
         {"--type", "--version", "--date", "--language", "--beta", "--signature"}) {
      if (line.Has(option)) {
        err << "korvex-qfw pack: --keep-header takes the header from the program; drop " << option
            << "\n";
        return kExitUsage;
      }
    }
  }
  for (const char* required : {"--type", "--version", "--date"}) {
    if (!keepHeader && !line.Has(required)) {
      err << "korvex-qfw pack: give " << required
          << " (or --keep-header to use the program's own header)\n";
      return kExitUsage;
    }
  }
  std::string error;
  fw::QfwInput input;
  if (!ReadInput(line.Value("--program"), input.program, error) ||
      (line.Has("--st") && !ReadInput(line.Value("--st"), input.stProgram, error))) {
    err << "korvex-qfw pack: " << error << "\n";
    return kExitUsage;
  }
  if (input.program.size() != fw::kProgramSize) {
    err << "korvex-qfw pack: the program image has " << input.program.size()
        << " bytes; it must have exactly " << fw::kProgramSize << "\n";
    return kExitRefused;
  }
  const auto kind = fw::StKindForSectionLength(input.stProgram.size());
  if (!kind || (line.Has("--st") && *kind == fw::StSectionKind::kNone)) {
    err << "korvex-qfw pack: the ST program has " << input.stProgram.size()
        << " bytes; it must have 61440 (kind A), 128512 (kind B) or 30208 (kind C)\n";
    return kExitRefused;
  }

  fw::IdentityFields fields;
  error = keepHeader ? FieldsFromProgram(input.program, fields) : FieldsFromOptions(line, fields);
  if (error.empty()) error = fw::CheckIdentityFields(fields, *kind);
  if (!error.empty()) {
    err << "korvex-qfw pack: " << error << "\n";
    return kExitRefused;
  }
  if (!keepHeader) fw::WriteIdentityHeader(input.program, fields);
  input.repairStChecksum = line.flags.count("--keep-st-checksum") == 0;

  const fw::QfwOutput packed = fw::BuildQfw(input);
  if (!packed.error.empty()) {
    err << "korvex-qfw pack: " << packed.error << "\n";
    return kExitRefused;
  }
  const std::string output = AbsolutePath(line.Value("--output"));
  if (!WriteOutput(output, packed.bytes, error)) {
    err << "korvex-qfw pack: " << error << "\n";
    return kExitUsage;
  }
  if (packed.stChecksumRepaired) {
    out << "note: the ST program's own checksum was wrong and has been written\n";
  }
  // The written file is read back through the checker, as the updater will read it.
  fw::FirmwareImage image;
  const fw::FileCheckResult result = fw::CheckFirmwareFile(output, image);
  const std::string refusal = Refusal(result, image);
  out << output << ": " << packed.bytes.size() << " bytes, " << image.FileDescription << "\n";
  if (!refusal.empty()) {
    out << "note: the updater will not take this file: " << refusal << "\n";
  }
  return result.Valid() ? kExitOk : kExitRefused;
}

int Unpack(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positionals.size() != 1 || (!line.Has("--program") && !line.Has("--st"))) {
    err << "korvex-qfw unpack: give one FILE and --program OUT and/or --st OUT (see --help)\n";
    return kExitUsage;
  }
  const std::string path = AbsolutePath(line.positionals[0]);
  fw::FirmwareImage image;
  const fw::FileCheckResult result = fw::CheckFirmwareFile(path, image);
  std::vector<std::uint8_t> program(image.MainImage.begin(),
                                    image.MainImage.begin() + fw::kProgramSize);
  std::vector<std::uint8_t> st(image.StProgram().begin(), image.StProgram().end());

  if (!result.Valid()) {
    if (result.verdict != fw::FileVerdict::kInvalid || line.flags.count("--force") == 0) {
      err << "korvex-qfw unpack: " << path << ": " << Refusal(result, image)
          << (result.verdict == fw::FileVerdict::kInvalid ? " (--force unpacks it anyway)" : "")
          << "\n";
      return kExitRefused;
    }
    // Forced: the bytes are transformed without judging them; only the size must be right.
    std::vector<std::uint8_t> bytes;
    std::string error;
    const auto kind =
        ReadInput(path, bytes, error) ? fw::StKindForFileSize(bytes.size()) : std::nullopt;
    if (!kind) {
      err << "korvex-qfw unpack: " << path << ": " << (error.empty() ? result.reason : error)
          << "\n";
      return kExitRefused;
    }
    fw::Descramble(std::span(bytes).first(fw::kProgramSize), 0);
    program.assign(bytes.begin(), bytes.begin() + fw::kProgramSize);
    st.assign(fw::StSectionLength(*kind), 0);
    fw::DecodeStBytes(std::span(bytes).subspan(fw::kStSectionOffset, st.size()), st);
    out << "note: " << path << " is invalid (" << result.reason << "); unpacked as it is\n";
  }

  std::string error;
  if (line.Has("--program")) {
    if (!WriteOutput(line.Value("--program"), program, error)) {
      err << "korvex-qfw unpack: " << error << "\n";
      return kExitUsage;
    }
    out << "program: " << program.size() << " bytes to " << line.Value("--program") << "\n";
  }
  if (line.Has("--st")) {
    if (st.empty()) {
      err << "korvex-qfw unpack: " << path << " has no ST section; nothing written to "
          << line.Value("--st") << "\n";
      return kExitRefused;
    }
    if (!WriteOutput(line.Value("--st"), st, error)) {
      err << "korvex-qfw unpack: " << error << "\n";
      return kExitUsage;
    }
    out << "ST program: " << st.size() << " bytes to " << line.Value("--st") << "\n";
  }
  return kExitOk;
}

int SampleProgram(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positionals.size() != 1) {
    err << "korvex-qfw sample-program: give one output file\n";
    return kExitUsage;
  }
  unsigned seed = 1;
  if (line.Has("--seed")) {
    const auto parsed = ParseNumber(line.Value("--seed"), 0xFFFFFFFFu);
    if (!parsed) {
      err << "korvex-qfw sample-program: the seed \"" << line.Value("--seed")
          << "\" is not a number 0..4294967295\n";
      return kExitUsage;
    }
    seed = *parsed;
  }
  const std::vector<std::uint8_t> program = fw::MakeSampleProgram(seed);
  std::string error;
  if (!WriteOutput(line.positionals[0], program, error)) {
    err << "korvex-qfw sample-program: " << error << "\n";
    return kExitUsage;
  }
  out << line.positionals[0] << ": " << program.size() << " bytes, seed " << seed << "\n";
  return kExitOk;
}

}  // namespace

std::string HelpText() {
  return R"(korvex-qfw - inspects, checks, packs and unpacks SOLANTA firmware files (*.qfw)
with the scrambling key built into this program.

Usage:
  korvex-qfw info FILE
  korvex-qfw verify FILE...
  korvex-qfw pack --program RAW [--st ST] HEADER --output OUT
  korvex-qfw unpack FILE [--program OUT] [--st OUT] [--force]
  korvex-qfw sample-program OUT [--seed N]
  korvex-qfw --help

info FILE
  Checks FILE as the updater does (size, check values, ST section, identity header,
  version range) and prints the verdict, the description line, panel type, version
  text, build date, beta number, language, variant, ST section kind and check values.

verify FILE...
  One line per file: "ok" and the description, or why the file is refused.

pack --program RAW [--st ST] HEADER --output OUT
  Makes a firmware file from a raw program image of 393212 bytes (addresses
  0x00000-0x5FFFB) and, for panel types 4 to 8, an ST program of 61440 (kind A,
  type 4), 128512 (kind B, type 5) or 30208 bytes (kind C, types 6, 7, 8). The three
  check values, the ST keystream and its check value are computed; the ST program's
  own checksum is written unless --keep-st-checksum is given. The result is read
  back through the updater's check. HEADER is either --keep-header (use the identity
  header already in RAW at 0x12000) or:
    --type N         panel type 0..8 (0 Mini, 1 Basic, 2 Medium, 3 Large, 4 Large R-A,
                     5 Large R-B, 6 Medium NX, 7 Large NX, 8 Grand NX)
    --version DDD    three digits: 124 is version 1.24
    --date YYYYMMDD  build date, eight digits
    --language L     language code 0..255 or its name (EN, PL, DE, ...); default EN
    --beta N         beta number 0..255; default 0 (a release)
    --signature S    sol, SOL, Los, QFW, vrk, Krv (VAREK variant) or BLG; default SOL
  Inconsistent input is refused: a panel type that does not fit the ST program given,
  a version that is not three digits, a date that is not eight digits, an unknown
  signature, wrong sizes. A version above 1.24 is packed with a note: the updater
  refuses such files.

unpack FILE [--program OUT] [--st OUT] [--force]
  Writes the descrambled program image (393212 bytes, the form pack takes) and the
  decoded ST program. The file must pass the checks; --force unpacks a file of a
  valid size whose checks fail, for inspection. Packing the outputs again with
  --keep-header and --keep-st-checksum gives the same file.

sample-program OUT [--seed N]
  Writes a deterministic raw program image of realistic shape for demonstrations:
  code-like bytes, erased pages, the low 8 KB of every 64 KB bank repeating bank 0's,
  and an erased header page at 0x12000 for pack to fill. The same seed always gives
  the same bytes (default 1).

Exit codes:
  0  the file is accepted, or the command did its work
  1  the file is invalid or refused, or the input to pack is inconsistent
  2  wrong command line, or a file cannot be read or written
)";
}

int RunQfwTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const CommandLine line = Parse(args);
  if (line.flags.count("--help")) {
    out << HelpText();
    return kExitOk;
  }
  if (!line.error.empty()) {
    err << "korvex-qfw: " << line.error << " (see --help)\n";
    return kExitUsage;
  }
  if (line.command == "info") return Info(line, out, err);
  if (line.command == "verify") return Verify(line, out, err);
  if (line.command == "pack") return Pack(line, out, err);
  if (line.command == "unpack") return Unpack(line, out, err);
  if (line.command == "sample-program") return SampleProgram(line, out, err);
  err << "korvex-qfw: "
      << (line.command.empty() ? "no command given" : "unknown command \"" + line.command + "\"")
      << " (see --help)\n";
  return kExitUsage;
}

}  // namespace korvex::qfw
