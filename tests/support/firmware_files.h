// Makes firmware files for tests: valid ones of every panel type and ST kind, and files in
// temporary folders that are removed again. Built on the core's writer, so a test that
// needs a file of a known shape does not repeat the format.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/qfw_writer.h"

namespace korvex::testing {

// Header fields for a valid file of a panel type 0..8 (version 1.24, 2025-03-12, EN).
firmware::IdentityFields FieldsForPanelType(int panelType);

// A valid ST program of a kind (right ST checksum); empty for none.
std::vector<std::uint8_t> MakeStProgram(firmware::StSectionKind kind, std::uint32_t seed = 1);

// The raw program (sample content plus header) and the complete scrambled file.
std::vector<std::uint8_t> MakeProgram(const firmware::IdentityFields& fields,
                                      std::uint32_t seed = 1);
std::vector<std::uint8_t> MakeQfw(const firmware::IdentityFields& fields,
                                  firmware::StSectionKind kind, std::uint32_t seed = 1);
// A valid file for a panel type with the ST kind it needs.
std::vector<std::uint8_t> MakeValidQfw(int panelType, std::uint32_t seed = 1);

// A folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Writes the bytes to a file of that name in the folder and returns its full path.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The committed test key file (config/test_key.bin), and whether the build uses it.
std::vector<std::uint8_t> CommittedTestKeyBytes();
bool BuildUsesCommittedTestKey();

}  // namespace korvex::testing
