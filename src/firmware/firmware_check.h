// Reading and proving a firmware file: open, size, descrambled main image with its three
// check values, ST section, identity header against the file size. The operator-facing
// OpenFile and the headless loader both run this one checker; the operator side follows it
// through hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "firmware/firmware_image.h"
#include "firmware/scramble_key.h"

namespace korvex::firmware {

// The main image is read, checked and reported on in chunks of this size.
inline constexpr std::uint32_t kReadChunkSize = 512;

struct FileCheckHooks {
  // After every failed attempt to open the file (the main pass and the ST pass).
  std::function<void()> waitAfterOpenFailure;
  // The file is open; its check begins.
  std::function<void()> opened;
  // Before every chunk of the main image: bytes done so far, of `total`.
  std::function<void(std::int32_t done, std::int32_t total)> progress;
  // Before every chunk, after `progress`: let the front end handle pending input.
  std::function<void()> processMessages;
  // After every chunk: true ends the reading, and the file counts as invalid.
  std::function<bool()> stopRequested;
};

enum class FileVerdict {
  kValid,           // intact, ST section right, panel type fits the file size
  kCannotOpen,      // the file could not be opened
  kInvalid,         // not a firmware file of this format, or damaged, or the check was stopped
  kStCannotReopen,  // the file could not be opened again to read the ST section
};

struct FileCheckResult {
  FileVerdict verdict = FileVerdict::kInvalid;
  std::string reason;  // why the file is not valid, for tools and logs; empty when valid
  bool Valid() const { return verdict == FileVerdict::kValid; }
};

// Checks the file at `path` and fills `image` while doing so (a refused file leaves it
// partly overwritten). On kValid the identity fields and the description are set; the
// version range is not judged here (see VersionSupported). Never raises.
FileCheckResult CheckFirmwareFile(const std::string& path, FirmwareImage& image,
                                  const FileCheckHooks& hooks = {},
                                  const ScrambleKey& key = ConfiguredKey());

// The checker without an operator: one image of a valid file, or nullopt with the reason in
// *error (when error is not null). The version range is not judged.
std::optional<FirmwareImage> LoadFirmwareFile(const std::string& path, std::string* error = nullptr,
                                              const ScrambleKey& key = ConfiguredKey());

}  // namespace korvex::firmware
