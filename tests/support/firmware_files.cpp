#include "support/firmware_files.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "firmware/identity.h"
#include "firmware/sample_program.h"
#include "firmware/scramble_key.h"
#include "firmware/st_section.h"
#include "shell/file_names.h"

#ifndef _WIN32
#include <unistd.h>
#else
#include <process.h>
#endif

namespace korvex::testing {

firmware::IdentityFields FieldsForPanelType(int panelType) {
  firmware::IdentityFields fields;
  const auto info = firmware::PanelTypeInfoFor(panelType);
  if (!info) throw std::invalid_argument("no such panel type");
  fields.rawType = info->rawCode;
  return fields;
}

std::vector<std::uint8_t> MakeStProgram(firmware::StSectionKind kind, std::uint32_t seed) {
  firmware::FirmwareImage st;
  st.StKind = kind;
  std::mt19937 rng(seed);
  const std::uint32_t n = firmware::StSectionLength(kind);
  for (std::uint32_t i = 0; i < n; ++i) st.StImage[i] = static_cast<std::uint8_t>(rng());
  firmware::RefreshStCheck(st);
  return {st.StImage.begin(), st.StImage.begin() + n};
}

std::vector<std::uint8_t> MakeProgram(const firmware::IdentityFields& fields, std::uint32_t seed) {
  std::vector<std::uint8_t> program = firmware::MakeSampleProgram(seed);
  firmware::WriteIdentityHeader(program, fields);
  return program;
}

std::vector<std::uint8_t> MakeQfw(const firmware::IdentityFields& fields,
                                  firmware::StSectionKind kind, std::uint32_t seed) {
  firmware::QfwInput input;
  input.program = MakeProgram(fields, seed);
  input.stProgram = MakeStProgram(kind, seed);
  firmware::QfwOutput out = firmware::BuildQfw(input);
  if (!out.error.empty()) throw std::runtime_error(out.error);
  return std::move(out.bytes);
}

std::vector<std::uint8_t> MakeValidQfw(int panelType, std::uint32_t seed) {
  const auto info = firmware::PanelTypeInfoFor(panelType);
  if (!info) throw std::invalid_argument("no such panel type");
  return MakeQfw(FieldsForPanelType(panelType), info->requiredKind, seed);
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
#ifndef _WIN32
  const auto pid = static_cast<unsigned>(::getpid());
#else
  const auto pid = static_cast<unsigned>(::_getpid());
#endif
  std::random_device entropy;
  path_ = std::filesystem::temp_directory_path() /
          ("korvex-test-" + std::to_string(pid) + "-" + std::to_string(counter++) + "-" +
           std::to_string(entropy()));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  // Files made read-only by a test must not keep the folder alive.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ec)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  // Normal form: the name the program shows after making it absolute (Windows separators).
  const std::string path =
      shell::Utf8FromPath((path_ / shell::PathFromUtf8(name)).lexically_normal());
  WriteFileBytes(path, bytes);
  return path;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(shell::PathFromUtf8(path), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(shell::PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> CommittedTestKeyBytes() {
  return ReadFileBytes(std::string(KORVEX_SOURCE_DIR) + "/config/test_key.bin");
}

bool BuildUsesCommittedTestKey() {
  const auto committed = firmware::ScrambleKeyFromBytes(CommittedTestKeyBytes());
  const firmware::ScrambleKey& built = firmware::ConfiguredKey();
  return committed && committed->SubstTable == built.SubstTable &&
         committed->ShiftTable == built.ShiftTable && committed->MaskTable == built.MaskTable;
}

}  // namespace korvex::testing
