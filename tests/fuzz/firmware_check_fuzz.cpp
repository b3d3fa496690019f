// libFuzzer harness for the firmware-file check: the file arrives from the field, so any
// content must be refused or accepted without a crash, a sanitizer report or a hang. The
// first input byte chooses one of the format's file sizes (or keeps the input's own size),
// so the mutations reach the descrambling and the checks instead of stopping at the size
// test. The file is written to this process's own temporary folder.
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/firmware_check.h"
#include "firmware/firmware_image.h"

namespace {

namespace fs = std::filesystem;
using korvex::firmware::FileSizeFor;
using korvex::firmware::StSectionKind;

const fs::path& FuzzFile() {
  static const fs::path path = [] {
    const fs::path folder =
        fs::temp_directory_path() / ("korvex_fuzz_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    return folder / "input.qfw";
  }();
  return path;
}

std::vector<std::uint8_t> FileContent(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return {};
  constexpr std::array<StSectionKind, 4> kKinds{StSectionKind::kNone, StSectionKind::kA,
                                                StSectionKind::kB, StSectionKind::kC};
  std::vector<std::uint8_t> content(data + 1, data + size);
  const std::uint8_t choice = data[0];
  if (choice < kKinds.size() * 60) {
    // The input repeated to the chosen size, so short inputs still fill a whole file.
    const auto target = static_cast<std::size_t>(FileSizeFor(kKinds[choice % kKinds.size()]));
    std::vector<std::uint8_t> file(target, 0);
    for (std::size_t i = 0; i < target && !content.empty(); ++i) {
      file[i] = content[i % content.size()];
    }
    return file;
  }
  return content;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> content = FileContent(data, size);
  {
    std::ofstream out(FuzzFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(content.data()),
              static_cast<std::streamsize>(content.size()));
  }
  korvex::firmware::FirmwareImage image;
  const korvex::firmware::FileCheckResult result =
      korvex::firmware::CheckFirmwareFile(FuzzFile().string(), image);
  // A valid file has no reason against it; a refused one always says why.
  if (result.Valid() == result.reason.empty()) return 0;
  std::abort();
}
