#include "firmware/st_section.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "firmware/qfw_writer.h"
#include "support/firmware_files.h"

namespace korvex::firmware {
namespace {

using testing::MakeStProgram;
using testing::TempDir;

TEST(RotateLeft1, MovesBit31ToBit0) {
  std::uint32_t x = 0x80000001;
  RotateLeft1(x);
  EXPECT_EQ(x, 0x00000003u);
  x = 0x40000000;
  RotateLeft1(x);
  EXPECT_EQ(x, 0x80000000u);
}

TEST(StKeystream, FirstBytesFollowTheStartKeys) {
  StKeystream keystream;
  // The first byte is masked with the low byte of KeyA's start value, 0x17.
  EXPECT_EQ(keystream.Decode(0x17 ^ 0xAB), 0xAB);
  // KeyB := rotl(0xE05B6C29 + 0xAB); worked by hand.
  std::uint32_t keyB = 0xE05B6C29u + 0xAB;
  keyB = (keyB << 1) | (keyB >> 31);
  EXPECT_EQ(keystream.KeyB(), keyB);
}

TEST(StKeystream, EncodingAndDecodingEndOnTheSameCheckValue) {
  const std::vector<std::uint8_t> plain = MakeStProgram(StSectionKind::kC, 4);
  std::vector<std::uint8_t> encoded(plain.size());
  std::vector<std::uint8_t> decoded(plain.size());
  const std::uint32_t encodeCheck = EncodeStBytes(plain, encoded);
  EXPECT_EQ(DecodeStBytes(encoded, decoded), encodeCheck);
  EXPECT_EQ(decoded, plain);
  encoded[100] ^= 1;
  EXPECT_NE(DecodeStBytes(encoded, decoded), encodeCheck);
}

TEST(RefreshStCheck, RepairsAWrongChecksumThenReportsItRight) {
  for (StSectionKind kind : {StSectionKind::kA, StSectionKind::kB, StSectionKind::kC}) {
    FirmwareImage image;
    image.StKind = kind;
    const auto layout = *StLayoutFor(kind);
    const std::vector<std::uint8_t> program = MakeStProgram(kind, 2);
    std::copy(program.begin(), program.end(), image.StImage.begin());
    EXPECT_TRUE(RefreshStCheck(image));
    image.StImage[layout.checksumOffset + 1] ^= 0x40;
    EXPECT_FALSE(RefreshStCheck(image));
    EXPECT_TRUE(RefreshStCheck(image));
    EXPECT_EQ(image.StProgram().size(), layout.length);
  }
}

TEST(RefreshStCheck, ChecksumRotatesWithinSixteenBits) {
  // Kind C covers 0..0x75FD; with only the first byte 0x80 set, s is rotated 0x75FE times.
  FirmwareImage image;
  image.StKind = StSectionKind::kC;
  image.StImage[0] = 0x80;
  RefreshStCheck(image);
  std::uint16_t s = 0x80;
  for (int i = 0; i < 0x75FE; ++i) s = static_cast<std::uint16_t>((s << 1) | (s >> 15));
  EXPECT_EQ(image.StImage[0x75FE], s & 0xFF);
  EXPECT_EQ(image.StImage[0x75FF], s >> 8);
}

TEST(RefreshStCheck, WithoutSectionReturnsFalseAndChangesNothing) {
  FirmwareImage image;
  image.StImage.assign(kStImageSize, 0x33);
  EXPECT_FALSE(RefreshStCheck(image));
  EXPECT_EQ(std::count(image.StImage.begin(), image.StImage.end(), 0x33), kStImageSize);
}

// A kind A file whose ST program is given; the section is re-encoded with a fresh check value.
std::vector<std::uint8_t> KindAFile(const std::vector<std::uint8_t>& st) {
  QfwInput input;
  input.program = testing::MakeProgram(testing::FieldsForPanelType(4));
  input.stProgram = st;
  input.repairStChecksum = false;
  return BuildQfw(input).bytes;
}

TEST(ReadStSection, KindATailIsOutsideTheChecksumButInsideTheCheckValue) {
  TempDir dir;
  std::vector<std::uint8_t> st = MakeStProgram(StSectionKind::kA, 3);
  for (std::size_t i = 0xE000; i < 0xF000; ++i) st[i] = static_cast<std::uint8_t>(i * 7);
  FirmwareImage image;
  image.StKind = StSectionKind::kA;
  EXPECT_EQ(ReadStSection(dir.Write("a.qfw", KindAFile(st)), image, {}), StSectionOutcome::kValid);
  EXPECT_TRUE(std::equal(st.begin(), st.end(), image.StImage.begin()));

  // Changing a covered byte and re-encoding passes the check value but not the ST checksum.
  st[0x100] ^= 0xFF;
  EXPECT_EQ(ReadStSection(dir.Write("b.qfw", KindAFile(st)), image, {}),
            StSectionOutcome::kInvalid);
}

TEST(ReadStSection, AnyChangedEncodedByteOrCheckByteIsRefused) {
  TempDir dir;
  const std::vector<std::uint8_t> good = testing::MakeValidQfw(6);
  FirmwareImage image;
  image.StKind = StSectionKind::kC;
  ASSERT_EQ(ReadStSection(dir.Write("good.qfw", good), image, {}), StSectionOutcome::kValid);
  for (std::size_t offset :
       {0x60000u, 0x60001u, 0x63333u, 0x675FEu, 0x675FFu, 0x67600u, 0x67603u}) {
    std::vector<std::uint8_t> bad = good;
    bad[offset] ^= 0x01;
    EXPECT_EQ(ReadStSection(dir.Write("bad.qfw", bad), image, {}), StSectionOutcome::kInvalid)
        << std::hex << offset;
  }
}

TEST(ReadStSection, ShortFileIsInvalidAndMissingFileCannotBeOpened) {
  TempDir dir;
  std::vector<std::uint8_t> bytes = testing::MakeValidQfw(6);
  bytes.resize(bytes.size() - 1);
  FirmwareImage image;
  image.StKind = StSectionKind::kC;
  EXPECT_EQ(ReadStSection(dir.Write("short.qfw", bytes), image, {}), StSectionOutcome::kInvalid);
  int waits = 0;
  EXPECT_EQ(ReadStSection((dir.Path() / "gone.qfw").string(), image, [&] { ++waits; }),
            StSectionOutcome::kCannotOpen);
  EXPECT_EQ(waits, 4);
}

}  // namespace
}  // namespace korvex::firmware
