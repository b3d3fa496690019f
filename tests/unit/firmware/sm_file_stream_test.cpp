#include "firmware/sm_file_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "firmware/scrambler.h"
#include "support/firmware_files.h"

namespace korvex::firmware {
namespace {

using testing::TempDir;

class DescramblingStream : public ::testing::Test {
 protected:
  DescramblingStream() : plain(20000) {
    std::mt19937 rng(77);
    for (auto& b : plain) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> scrambled = plain;
    Scramble(scrambled, 0);
    path = dir.Write("data.bin", scrambled);
  }
  TempDir dir;
  std::vector<std::uint8_t> plain;
  std::string path;
};

TEST_F(DescramblingStream, DeliversThePlainBytesWhateverTheChunkSizes) {
  std::mt19937 rng(3);
  for (int round = 0; round < 20; ++round) {
    TSMFileStream stream(path);
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> chunk;
    while (out.size() < plain.size()) {
      const std::size_t want = std::min<std::size_t>(1 + rng() % 1500, plain.size() - out.size());
      chunk.assign(want, 0);
      ASSERT_EQ(stream.Read(chunk), want);
      out.insert(out.end(), chunk.begin(), chunk.end());
    }
    ASSERT_EQ(out, plain) << "round " << round;
  }
}

TEST_F(DescramblingStream, CountersAdvancePerByteAskedForEvenPastTheEnd) {
  TSMFileStream stream(path);
  EXPECT_EQ(stream.Size(), plain.size());
  std::vector<std::uint8_t> big(plain.size() + 100);
  EXPECT_EQ(stream.Read(big), plain.size());
  EXPECT_EQ(stream.ShiftPos(), big.size() % 29);
  EXPECT_EQ(stream.MaskPos(), big.size() % 227);
  EXPECT_EQ(stream.BaseOffset(), 0);
}

TEST_F(DescramblingStream, PositioningSetsTheCountersForTheOffset) {
  TSMFileStream stream(path);
  stream.SetPosition(12345);
  EXPECT_EQ(stream.ShiftPos(), 12345 % 29);
  EXPECT_EQ(stream.MaskPos(), 12345 % 227);
  std::vector<std::uint8_t> chunk(100);
  ASSERT_EQ(stream.Read(chunk), chunk.size());
  EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), plain.begin() + 12345));
}

TEST(FileStreamOpen, MissingFilesAndFoldersRaiseFileError) {
  TempDir dir;
  EXPECT_THROW(TSMFileStream((dir.Path() / "none.qfw").string()), FileError);
  EXPECT_THROW(TSMFileStream(dir.Path().string()), FileError);
  EXPECT_THROW(FileStream(""), FileError);
}

TEST(FileStreamOpen, RetriesWaitAfterEveryFailedAttempt) {
  TempDir dir;
  int waits = 0;
  auto stream = OpenWithRetries<FileStream>((dir.Path() / "none").string(), [&] { ++waits; });
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(waits, kOpenAttempts);
  const std::string path = dir.Write("there", {1, 2, 3});
  waits = 0;
  stream = OpenWithRetries<FileStream>(path, [&] { ++waits; });
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(waits, 0);
  EXPECT_EQ(stream->Size(), 3u);
}

}  // namespace
}  // namespace korvex::firmware
