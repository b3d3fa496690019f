// The starter updater images as build configuration: the committed test images are exactly
// what their generator makes, and the configure step refuses an image file of the wrong
// size or with an image whose check fails, naming the fault.
#include <gtest/gtest.h>

#if defined(MAKE_TEST_UPDATERS_PATH) && defined(KORVEX_CMAKE_COMMAND)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/firmware_files.h"

namespace korvex::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kImageSize = 8448;
constexpr std::size_t kCheckedSize = 8192;
const std::string kCommitted =
    std::string(KORVEX_SOURCE_DIR) + "/config/updaters/test_updaters.bin";

// CMake wraps long messages: compare with every run of blanks and line ends as one blank.
std::string Flat(const std::string& text) {
  std::string flat;
  for (const char c : text) {
    const bool blank = c == ' ' || c == '\n' || c == '\r' || c == '\t';
    if (!blank) {
      flat += c;
    } else if (!flat.empty() && flat.back() != ' ') {
      flat += ' ';
    }
  }
  return flat;
}

bool Contains(const std::string& text, const std::string& part) {
  return Flat(text).find(part) != std::string::npos;
}

TEST(TestUpdaterImagesTest, TheCommittedFileIsWhatTheGeneratorMakes) {
  TempDir dir;
  const std::string out = (dir.Path() / "updaters.bin").string();
  const ProcessResult result = RunProcess({MAKE_TEST_UPDATERS_PATH, out}, {}, 60s);
  ASSERT_EQ(result.exitCode, 0) << result.output;
  const std::vector<std::uint8_t> made = ReadFileBytes(out);
  EXPECT_EQ(made.size(), 10 * kImageSize);
  EXPECT_TRUE(made == ReadFileBytes(kCommitted));
}

// Runs the embedding function on `file` as the configure step does.
ProcessResult Embed(const TempDir& dir, const std::string& file) {
  const std::string script = dir.Write("embed.cmake", [&] {
    const std::string text = "include(\"" + std::string(KORVEX_SOURCE_DIR) +
                             "/cmake/EmbedUpdaters.cmake\")\nkorvex_embed_updaters(\"" + file +
                             "\" \"" + (dir.Path() / "out.inc").string() + "\")\n";
    return std::vector<std::uint8_t>(text.begin(), text.end());
  }());
  return RunProcess({KORVEX_CMAKE_COMMAND, "-P", script}, {}, 120s);
}

TEST(UpdaterImagesConfigureTest, TheCommittedImagesAreEmbeddedByteForByte) {
  TempDir dir;
  const ProcessResult result = Embed(dir, kCommitted);
  ASSERT_EQ(result.exitCode, 0) << result.output;
  const std::vector<std::uint8_t> inc = ReadFileBytes((dir.Path() / "out.inc").string());
  const std::string text(inc.begin(), inc.end());
  const std::vector<std::uint8_t> bytes = ReadFileBytes(kCommitted);
  // After the comment line, one literal per byte, in the file's order.
  const std::string body = text.substr(text.find('\n') + 1);
  std::string expected;
  for (const std::uint8_t b : bytes) {
    char literal[8];
    std::snprintf(literal, sizeof literal, "0x%02x,", b);
    expected += literal;
  }
  expected.back() = '\n';
  EXPECT_TRUE(body == expected);
}

TEST(UpdaterImagesConfigureTest, AFileOfAnotherSizeIsRefused) {
  TempDir dir;
  std::vector<std::uint8_t> bytes = ReadFileBytes(kCommitted);
  bytes.pop_back();
  const ProcessResult result = Embed(dir, dir.Write("short.bin", bytes));
  EXPECT_NE(result.exitCode, 0);
  EXPECT_TRUE(Contains(result.output, "has 84479 bytes")) << result.output;
  EXPECT_TRUE(Contains(result.output, "exactly 84480")) << result.output;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out.inc"));
}

TEST(UpdaterImagesConfigureTest, AnImageWhoseCheckFailsIsNamed) {
  TempDir dir;
  std::vector<std::uint8_t> bytes = ReadFileBytes(kCommitted);
  bytes[9 * kImageSize + 100] ^= 0x01;               // a byte of image 9 (kind 9, type 8)
  bytes[2 * kImageSize + kCheckedSize + 1] ^= 0x80;  // the stored check of image 2 (kind 6)
  bytes[4 * kImageSize + kCheckedSize + 2] ^= 0xFF;  // past image 4's check: not covered
  const ProcessResult result = Embed(dir, dir.Write("bad.bin", bytes));
  EXPECT_NE(result.exitCode, 0);
  EXPECT_TRUE(Contains(result.output, "image 2 (FLASH kind 6, panel types other than 8)"))
      << result.output;
  EXPECT_TRUE(Contains(result.output, "image 9 (FLASH kind 9, panel type 8)")) << result.output;
  EXPECT_FALSE(Contains(result.output, "image 4")) << result.output;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "out.inc"));
}

}  // namespace
}  // namespace korvex::testing

#endif
