#include "firmware/firmware_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "firmware/identity.h"
#include "support/firmware_files.h"

namespace korvex::firmware {
namespace {

using testing::MakeValidQfw;
using testing::TempDir;

TEST(LoadFirmwareFile, GivesTheImageOfAValidFile) {
  TempDir dir;
  const std::vector<std::uint8_t> bytes = MakeValidQfw(6, 3);
  std::string error = "stale";
  const auto image = LoadFirmwareFile(dir.Write("nx.qfw", bytes), &error);
  ASSERT_TRUE(image);
  EXPECT_EQ(error, "");
  EXPECT_EQ(image->PanelType, 6);
  EXPECT_EQ(image->StKind, StSectionKind::kC);
  EXPECT_EQ(image->FileDescription, "SOLANTA Medium NX v1.24 2025-03-12 EN");
  // The image holds the descrambled program and its checks, as the writer made them.
  const auto program = testing::MakeProgram(testing::FieldsForPanelType(6), 3);
  EXPECT_TRUE(std::equal(program.begin(), program.end(), image->MainImage.begin()));
}

TEST(LoadFirmwareFile, ExplainsEveryRefusal) {
  TempDir dir;
  std::vector<std::uint8_t> damaged = MakeValidQfw(2);
  damaged[77] ^= 4;
  std::vector<std::uint8_t> badSection = MakeValidQfw(4);
  badSection[0x61000] ^= 4;
  auto fields = testing::FieldsForPanelType(2);
  fields.signature = "ABC";
  fields.rawType = 2;
  const auto unknownSignature = testing::MakeQfw(fields, StSectionKind::kNone);
  fields = testing::FieldsForPanelType(8);
  const auto wrongKind = testing::MakeQfw(fields, StSectionKind::kA);
  fields.rawType = 0x99;
  const auto unknownType = testing::MakeQfw(fields, StSectionKind::kNone);

  struct Case {
    std::string path;
    const char* reasonPart;
  };
  const Case cases[] = {
      {(dir.Path() / "none.qfw").string(), "cannot be opened"},
      {dir.Write("short.qfw", std::vector<std::uint8_t>(1000)), "file size 1000"},
      {dir.Write("damaged.qfw", damaged), "check values differ"},
      {dir.Write("section.qfw", badSection), "ST section"},
      {dir.Write("signature.qfw", unknownSignature), "signature"},
      {dir.Write("kind.qfw", wrongKind), "panel type 8 needs ST section kind C"},
      {dir.Write("type.qfw", unknownType), "code 153 is unknown"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(LoadFirmwareFile(c.path, &error)) << c.reasonPart;
    EXPECT_NE(error.find(c.reasonPart), std::string::npos) << error;
  }
  EXPECT_FALSE(LoadFirmwareFile(dir.Path().string()));  // no error text wanted
}

TEST(CheckFirmwareFile, HooksFollowTheCheckInOrder) {
  TempDir dir;
  const std::string path = dir.Write("f.qfw", MakeValidQfw(1));
  std::vector<std::string> events;
  FileCheckHooks hooks;
  hooks.opened = [&] { events.push_back("opened"); };
  hooks.progress = [&](std::int32_t done, std::int32_t total) {
    EXPECT_EQ(total, 393212);
    events.push_back("progress " + std::to_string(done));
  };
  hooks.processMessages = [&] { events.push_back("messages"); };
  hooks.stopRequested = [&] {
    events.push_back("stop?");
    return false;
  };
  FirmwareImage image;
  ASSERT_TRUE(CheckFirmwareFile(path, image, hooks).Valid());
  ASSERT_EQ(events.size(), 1u + 3u * 768u);
  EXPECT_EQ(events[0], "opened");
  EXPECT_EQ(events[1], "progress 0");
  EXPECT_EQ(events[2], "messages");
  EXPECT_EQ(events[3], "stop?");
  EXPECT_EQ(events[4], "progress 512");
  EXPECT_EQ(events[events.size() - 3], "progress 392704");  // the last chunk has 508 bytes
}

TEST(CheckFirmwareFile, ARefusedSizeLeavesNoStKind) {
  TempDir dir;
  FirmwareImage image;
  image.StKind = StSectionKind::kB;
  EXPECT_EQ(CheckFirmwareFile(dir.Write("x.qfw", {1, 2, 3}), image).verdict, FileVerdict::kInvalid);
  EXPECT_EQ(image.StKind, StSectionKind::kNone);
}

TEST(CheckFirmwareFile, GarbageOfEveryAcceptedSizeIsRefused) {
  TempDir dir;
  std::mt19937 rng(99);
  for (StSectionKind kind :
       {StSectionKind::kNone, StSectionKind::kA, StSectionKind::kB, StSectionKind::kC}) {
    std::vector<std::uint8_t> bytes(FileSizeFor(kind));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    FirmwareImage image;
    EXPECT_EQ(CheckFirmwareFile(dir.Write("g.qfw", bytes), image).verdict, FileVerdict::kInvalid);
    // A right main image with a garbage ST section is refused by the section's check value.
    if (kind == StSectionKind::kNone) continue;
    const std::vector<std::uint8_t> good = MakeValidQfw(kind == StSectionKind::kA   ? 4
                                                        : kind == StSectionKind::kB ? 5
                                                                                    : 8);
    std::copy(good.begin(), good.begin() + 0x60000, bytes.begin());
    const FileCheckResult result = CheckFirmwareFile(dir.Write("s.qfw", bytes), image);
    EXPECT_EQ(result.verdict, FileVerdict::kInvalid);
    EXPECT_NE(result.reason.find("ST section"), std::string::npos) << result.reason;
  }
}

}  // namespace
}  // namespace korvex::firmware
