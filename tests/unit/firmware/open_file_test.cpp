#include "firmware/open_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <vector>

#include "display/kv_status.h"
#include "firmware/identity.h"
#include "shell/file_names.h"
#include "shell/session.h"
#include "shell/virtual_clock.h"
#include "support/firmware_files.h"
#include "support/scripted_operator.h"

namespace korvex::firmware {
namespace {

using testing::MakeValidQfw;
using testing::ScriptedOperator;
using testing::TempDir;

constexpr int kColumns = 79;
constexpr std::uint32_t kSeed = 42;

// A line as Lines() returns it: text, then a status at the right end of the line.
std::string WithStatus(const std::string& text, const std::string& status) {
  return text + std::string(kColumns - text.size() - status.size(), ' ') + status;
}

const std::vector<std::string> kRefusedLines = {WithStatus("File checking", "ERROR"), "",
                                                "ATTENTION:  selected file is not",
                                                "            a SOLANTA program file !!!"};

class OpenFileTest : public ::testing::Test {
 protected:
  OpenFileTest() : session(op, clock, kSeed) {
    session.Info1.KVinit(kColumns, 14);
    clock.OnAdvance([this](std::uint64_t now) {
      sleeps.push_back(now - lastNow);
      lastNow = now;
    });
  }

  bool Open(const std::string& path, bool forceDialog = true) {
    op.fileChoices.push_back(path);
    return OpenFile(session, image, forceDialog);
  }

  // The waits the session's random numbers give for n failed open attempts.
  static std::vector<std::uint64_t> ExpectedWaits(int n) {
    std::mt19937 random(kSeed);
    std::vector<std::uint64_t> waits;
    for (int i = 0; i < n; ++i) {
      waits.push_back(120 + std::uniform_int_distribution<int>(0, 119)(random));
    }
    return waits;
  }

  void ExpectRefused() {
    EXPECT_EQ(session.Info1.Lines(), kRefusedLines);
    const auto& line = session.Info1.LineAt(1);
    for (int j = 0; j < kColumns; ++j) {
      EXPECT_EQ(line.attributes[j], j >= kColumns - 7 ? display::kAttrBoldRed : 0) << j;
    }
    EXPECT_EQ(session.ExitCode, shell::kExitBadFile);
    EXPECT_TRUE(op.boxes.empty());
  }

  ScriptedOperator op;
  shell::VirtualClock clock;
  shell::Session session;
  FirmwareImage image;
  TempDir dir;
  std::vector<std::uint64_t> sleeps;
  std::uint64_t lastNow = 0;
};

TEST_F(OpenFileTest, AcceptsAValidFileAndShowsItsDescription) {
  const std::string path = dir.Write("panel.qfw", MakeValidQfw(2));
  ASSERT_TRUE(Open(path, false));
  EXPECT_EQ(op.fileDialogCalls, 1);  // no file chosen yet, so the dialog is shown
  EXPECT_EQ(session.Info1.Lines(), std::vector<std::string>{WithStatus("File checking", "ok")});
  EXPECT_EQ(op.descriptions, (std::vector<std::string>{"", "SOLANTA Medium v1.24 2025-03-12 EN"}));
  EXPECT_EQ(op.descriptionEnabled, std::vector<bool>{true});
  EXPECT_EQ(op.statusBarFile, std::vector<std::string>{" " + path});
  EXPECT_EQ(session.FirmwareFileName, path);
  EXPECT_EQ(session.ExitCode, shell::kExitNone);
  EXPECT_TRUE(op.boxes.empty());
  EXPECT_TRUE(sleeps.empty());
  EXPECT_EQ(image.PanelType, 2);
  EXPECT_EQ(image.StKind, StSectionKind::kNone);
  EXPECT_EQ(image.FileVersionText, "12420250312000");
  EXPECT_EQ(image.FileDescription, "SOLANTA Medium v1.24 2025-03-12 EN");
  // One pending-message turn and one progress step per 512-byte chunk, 0 % to 99 %.
  EXPECT_EQ(op.processMessagesCalls, 768);
  int progressTitles = 0;
  for (const auto& title : op.titles)
    progressTitles += title.find("% - File checking") != title.npos;
  EXPECT_EQ(progressTitles, 100);
  // Bytes above the file's area are never written.
  EXPECT_EQ(std::count(image.MainImage.begin() + 0x60000, image.MainImage.end(), 0), 0x20000);
}

// Names are UTF-8 everywhere in the program; on Windows they must reach the file system as
// wide names, not in the ANSI code page.
TEST_F(OpenFileTest, OpensFilesWithNonAsciiNamesAndShowsTheNameUnchanged) {
  std::filesystem::create_directories(dir.Path() / shell::PathFromUtf8("José"));
  for (const std::string name : {"café.qfw", "Zażółć.qfw", "José/Δοκιμή 日本.qfw"}) {
    const std::string path = dir.Write(name, MakeValidQfw(2));
    ASSERT_TRUE(Open(path)) << name;
    EXPECT_EQ(op.statusBarFile.back(), " " + path);
    EXPECT_EQ(session.FirmwareFileName, path);
    EXPECT_TRUE(op.boxes.empty()) << op.boxes[0].text;
  }
}

TEST_F(OpenFileTest, EveryPanelTypeIsAcceptedWithItsStSection) {
  const char* models[] = {"SOLANTA Mini",      "SOLANTA Basic",     "SOLANTA Medium",
                          "SOLANTA Large",     "SOLANTA Large R-A", "SOLANTA Large R-B",
                          "SOLANTA Medium NX", "SOLANTA Large NX",  "SOLANTA Grand NX"};
  for (int type = 0; type <= 8; ++type) {
    const auto info = *PanelTypeInfoFor(type);
    const std::string path = dir.Write("t" + std::to_string(type) + ".qfw", MakeValidQfw(type, 9));
    ASSERT_TRUE(Open(path)) << type;
    EXPECT_EQ(image.PanelType, type);
    EXPECT_EQ(image.StKind, info.requiredKind);
    EXPECT_EQ(image.FileDescription, std::string(models[type]) + " v1.24 2025-03-12 EN");
    const auto st = testing::MakeStProgram(info.requiredKind, 9);
    EXPECT_TRUE(std::equal(st.begin(), st.end(), image.StImage.begin())) << type;
  }
}

TEST_F(OpenFileTest, VersionAboveTheRangeIsShownGreyedAndNotChosen) {
  const std::string good = dir.Write("good.qfw", MakeValidQfw(0));
  ASSERT_TRUE(Open(good));
  auto fields = testing::FieldsForPanelType(0);
  fields.version = "125";
  const std::string newer = dir.Write("newer.qfw", testing::MakeQfw(fields, StSectionKind::kNone));
  EXPECT_FALSE(Open(newer));
  EXPECT_EQ(session.Info1.Lines(), std::vector<std::string>{WithStatus("File checking", "ok")});
  EXPECT_EQ(op.descriptions.back(), "SOLANTA Mini v1.25 2025-03-12 EN");
  EXPECT_EQ(op.descriptionEnabled, (std::vector<bool>{true, false}));
  ASSERT_EQ(op.boxes.size(), 1u);
  EXPECT_EQ(op.boxes[0].text, "Program works with  1.00 - 1.24  versions only !");
  EXPECT_EQ(op.boxes[0].kind, shell::MessageKind::kError);
  EXPECT_TRUE(op.boxes[0].okOnly);
  EXPECT_EQ(session.FirmwareFileName, "");
  EXPECT_EQ(session.ExitCode, shell::kExitNone);
}

TEST_F(OpenFileTest, OldVersionsAreAcceptedWithTheirBetaRule) {
  auto fields = testing::FieldsForPanelType(1);
  fields.version = "000";
  fields.betaNumber = 7;
  ASSERT_TRUE(Open(dir.Write("v000.qfw", testing::MakeQfw(fields, StSectionKind::kNone))));
  EXPECT_EQ(image.FileVersionText, "00020250312000");
  fields.version = "114";
  ASSERT_TRUE(Open(dir.Write("v114.qfw", testing::MakeQfw(fields, StSectionKind::kNone))));
  EXPECT_EQ(image.FileDescription, "SOLANTA Basic v1.14 2025-03-12 BETA 007 EN");
}

TEST_F(OpenFileTest, DialogRules) {
  const std::string chosen = dir.Write("chosen.qfw", MakeValidQfw(3));
  // Nothing chosen: the dialog opens on the program's folder; cancelling changes nothing.
  session.ExitCode = shell::kExitNoConnection;
  EXPECT_FALSE(OpenFile(session, image, false));
  ASSERT_EQ(op.dialogPresets.size(), 1u);
  EXPECT_EQ(op.dialogPresets[0], DefaultDialogPreset());
  const std::string separator(1, static_cast<char>(std::filesystem::path::preferred_separator));
  EXPECT_TRUE(op.dialogPresets[0].ends_with(separator + "*.qfw"));
  EXPECT_TRUE(op.descriptions.empty());
  EXPECT_EQ(session.Info1.CurrentLine(), 0);
  EXPECT_EQ(session.ExitCode, shell::kExitNoConnection);

  // A name preset by the command line is checked without the dialog ...
  session.FirmwareFileName = chosen;
  EXPECT_TRUE(OpenFile(session, image, false));
  EXPECT_EQ(op.fileDialogCalls, 1);
  // ... and the forced dialog opens on it; cancelling keeps it.
  EXPECT_FALSE(OpenFile(session, image, true));
  EXPECT_EQ(op.dialogPresets.back(), chosen);
  EXPECT_EQ(session.FirmwareFileName, chosen);
}

TEST_F(OpenFileTest, RelativeNamesAreMadeAbsolute) {
  const std::string path = dir.Write("rel.qfw", MakeValidQfw(2));
  // From inside the folder: the temporary folder may lie on another drive than the current
  // one on Windows, where no relative name leads to it.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  const bool opened = Open("rel.qfw");
  std::filesystem::current_path(before);
  ASSERT_TRUE(opened);
  EXPECT_EQ(session.FirmwareFileName, std::filesystem::path(path).lexically_normal().string());
}

TEST_F(OpenFileTest, MissingFileIsTriedFourTimesThenReported) {
  const std::string previous = dir.Write("prev.qfw", MakeValidQfw(2));
  ASSERT_TRUE(Open(previous));
  const std::string missing = (dir.Path() / "missing.qfw").string();
  EXPECT_FALSE(Open(missing));
  EXPECT_EQ(sleeps, ExpectedWaits(4));
  ASSERT_EQ(op.boxes.size(), 1u);
  EXPECT_EQ(op.boxes[0].text, "Selected file does not exist.\n(" + missing + ")");
  EXPECT_EQ(op.boxes[0].kind, shell::MessageKind::kError);
  EXPECT_TRUE(op.boxes[0].okOnly);
  EXPECT_EQ(session.ExitCode, shell::kExitBadFile);
  EXPECT_EQ(session.FirmwareFileName, previous);
  EXPECT_EQ(session.Info1.CurrentLine(), 0);  // cleared, and no "File checking"
  EXPECT_EQ(op.descriptions.back(), "");
}

TEST_F(OpenFileTest, FoldersAndOtherNonFilesCannotBeOpened) {
  std::vector<std::string> names = {dir.Path().string()};
#ifndef _WIN32
  names.push_back("/dev/null");  // a device
#endif
  for (const std::string& name : names) {
    op.boxes.clear();
    EXPECT_FALSE(Open(name));
    ASSERT_EQ(op.boxes.size(), 1u) << name;
    EXPECT_EQ(op.boxes[0].text, "Selected file does not exist.\n(" + name + ")");
  }
}

TEST_F(OpenFileTest, OverlongNamesAreCutTo255Characters) {
  const std::string longName = (dir.Path() / std::string(300, 'x')).string() + ".qfw";
  EXPECT_FALSE(Open(longName));
  ASSERT_EQ(op.boxes.size(), 1u);
  EXPECT_EQ(op.boxes[0].text,
            ("Selected file does not exist.\n(" + longName.substr(0, 255)).substr(0, 255));
  EXPECT_EQ(session.ExitCode, shell::kExitBadFile);
}

#ifndef _WIN32
// Runs `check` in a child process that gave up root (the superuser reads any file); the
// child's exit code is the result: 0 when every check held.
int RunWithoutRoot(const std::function<bool()>& check) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (getuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(2);
    _exit(check() ? 0 : 1);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(OpenFileTest, UnreadableFileIsReportedMissing) {
  const std::string path = dir.Write("locked.qfw", MakeValidQfw(2));
  std::filesystem::permissions(path, std::filesystem::perms::none);
  // The folder stays reachable, so only the file's own permissions stand in the way.
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::others_exec,
                               std::filesystem::perm_options::add);
  const int result = RunWithoutRoot([&] {
    if (std::ifstream(path).good()) return false;  // the permissions must hold here
    return !Open(path) && op.boxes.size() == 1 &&
           op.boxes[0].text == "Selected file does not exist.\n(" + path + ")";
  });
  EXPECT_EQ(result, 0);
}
#endif  // POSIX permissions and processes; Windows files have access lists instead

TEST_F(OpenFileTest, WrongSizesAreRefusedWithoutReading) {
  const std::vector<std::uint8_t> good = MakeValidQfw(2);
  for (std::size_t size : {0u, 1u, 393215u, 393217u, 423427u, 454661u, 521731u, 600000u}) {
    std::vector<std::uint8_t> bytes = good;
    bytes.resize(size, 0xFF);
    const std::string previous = session.FirmwareFileName;
    op.processMessagesCalls = 0;
    EXPECT_FALSE(Open(dir.Write("size.qfw", bytes))) << size;
    ExpectRefused();
    EXPECT_EQ(op.processMessagesCalls, 0);
    EXPECT_EQ(image.StKind, StSectionKind::kNone);
    EXPECT_EQ(session.FirmwareFileName, previous);
  }
}

TEST_F(OpenFileTest, HugeSparseFileIsRefusedBySize) {
  const std::string path = dir.Write("huge.qfw", {});
  std::filesystem::resize_file(path, 5ull << 30);
  EXPECT_FALSE(Open(path));
  ExpectRefused();
}

TEST_F(OpenFileTest, AnySingleChangedByteIsRefused) {
  const std::vector<std::uint8_t> good = MakeValidQfw(5);  // kind B: program and ST section
  ASSERT_TRUE(Open(dir.Write("good.qfw", good)));
  const std::string valid = session.FirmwareFileName;
  const std::size_t positions[] = {0x00000, 0x00001, 0x01FFF, 0x12000, 0x12004, 0x12019,
                                   0x2ABCD, 0x5FFFB, 0x5FFFC, 0x5FFFD, 0x5FFFE, 0x5FFFF,
                                   0x60000, 0x6FFFF, 0x7F5FE, 0x7F5FF, 0x7F600, 0x7F603};
  for (std::size_t position : positions) {
    for (int flip : {0x01, 0x80}) {
      std::vector<std::uint8_t> bytes = good;
      bytes[position] ^= static_cast<std::uint8_t>(flip);
      op.boxes.clear();
      EXPECT_FALSE(Open(dir.Write("bad.qfw", bytes))) << std::hex << position;
      ExpectRefused();
      EXPECT_EQ(session.FirmwareFileName, valid);
    }
  }
}

TEST_F(OpenFileTest, HeadersThatDoNotFitAreRefused) {
  struct Case {
    const char* signature;
    std::uint8_t rawType;
    StSectionKind kind;
  };
  const Case cases[] = {
      {"XYZ", 2, StSectionKind::kNone},  // unknown signature
      {"SOL", 9, StSectionKind::kNone},  // unknown type
      {"SOL", 4, StSectionKind::kNone},  // type 4 in a file without ST section
      {"SOL", 0x84, StSectionKind::kA},  // type 5 in a kind A file, section valid
      {"SOL", 0, StSectionKind::kC},     // type 0 in a longer file
      {"SOL", 0x42, StSectionKind::kB},  // NX type in a kind B file
  };
  for (const Case& c : cases) {
    firmware::IdentityFields fields;
    fields.signature = c.signature;
    fields.rawType = c.rawType;
    EXPECT_FALSE(Open(dir.Write("h.qfw", testing::MakeQfw(fields, c.kind)))) << c.signature;
    ExpectRefused();
  }
}

TEST_F(OpenFileTest, StopDuringTheCheckRefusesTheFile) {
  op.onProcessMessages = [this] {
    if (op.processMessagesCalls == 100) session.StopRequested = true;
  };
  EXPECT_FALSE(Open(dir.Write("stop.qfw", MakeValidQfw(2))));
  EXPECT_EQ(op.processMessagesCalls, 100);
  ExpectRefused();
}

TEST_F(OpenFileTest, FileThatShrinksWhileBeingReadIsRefused) {
  const std::string path = dir.Write("shrink.qfw", MakeValidQfw(2));
  op.onProcessMessages = [&] {
    if (op.processMessagesCalls == 10) std::filesystem::resize_file(path, 1000);
  };
  EXPECT_FALSE(Open(path));
  ExpectRefused();
}

TEST_F(OpenFileTest, FileGoneBeforeItsStSectionIsReportedWithBrackets) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows cannot remove a file that is open";
#endif
  const std::string path = dir.Write("gone.qfw", MakeValidQfw(7));
  op.onProcessMessages = [&] {
    if (op.processMessagesCalls == 768) std::filesystem::remove(path);  // the last chunk
  };
  EXPECT_FALSE(Open(path));
  EXPECT_EQ(sleeps, ExpectedWaits(4));
  ASSERT_EQ(op.boxes.size(), 1u);
  EXPECT_EQ(op.boxes[0].text, "Selected file does not exist.\n[" + path + "]");
  EXPECT_EQ(session.ExitCode, shell::kExitBadFile);
  // No verdict: the line keeps its last percentage.
  EXPECT_EQ(session.Info1.Lines(), std::vector<std::string>{WithStatus("File checking", "99%")});
}

TEST_F(OpenFileTest, InvalidFileAfterAValidOneKeepsTheValidOneForTheNextRun) {
  const std::string good = dir.Write("good.qfw", MakeValidQfw(2));
  ASSERT_TRUE(Open(good));
  std::vector<std::uint8_t> bad = MakeValidQfw(2);
  bad[0x3000] ^= 0x10;
  EXPECT_FALSE(Open(dir.Write("bad.qfw", bad)));
  ExpectRefused();
  EXPECT_EQ(op.descriptions.back(), "");
  EXPECT_EQ(session.FirmwareFileName, good);
  // The next run re-reads the accepted file without asking.
  const int dialogs = op.fileDialogCalls;
  EXPECT_TRUE(OpenFile(session, image, false));
  EXPECT_EQ(op.fileDialogCalls, dialogs);
  EXPECT_EQ(image.FileDescription, "SOLANTA Medium v1.24 2025-03-12 EN");
}

// ---------------------------------------------------------------------------------------
// An independent maker of firmware files, written from the description of the format alone
// (it shares nothing with the product's writer), with the committed test key.

struct IndependentKey {
  std::vector<std::uint8_t> inverse = std::vector<std::uint8_t>(256);
  std::vector<std::uint8_t> shift;
  std::vector<std::uint8_t> mask;
};

IndependentKey LoadCommittedKey() {
  const std::vector<std::uint8_t> bytes = testing::CommittedTestKeyBytes();
  IndependentKey key;
  for (int i = 0; i < 256; ++i)
    key.inverse[bytes[static_cast<std::size_t>(i)]] = static_cast<std::uint8_t>(i);
  key.shift.assign(bytes.begin() + 256, bytes.begin() + 285);
  key.mask.assign(bytes.begin() + 285, bytes.end());
  return key;
}

std::uint32_t Rol(std::uint32_t x) {
  return (x << 1) | (x >> 31);
}

std::vector<std::uint8_t> IndependentFile(std::uint8_t rawType, std::size_t stLength,
                                          std::size_t stCovered, std::size_t stSumAt) {
  const IndependentKey key = LoadCommittedKey();
  std::vector<std::uint8_t> image(0x60000);
  std::mt19937 rng(2024);
  for (std::size_t i = 0; i < 393212; ++i)
    image[i] = static_cast<std::uint8_t>(rng() % 7 == 0 ? 0xFF : rng());
  const char header[] = {'\0', 'Q', 'F', 'W'};
  std::copy(header, header + 4, image.begin() + 0x12000);
  image[0x12004] = rawType;
  const std::string versionDate = "12320241105";
  std::copy(versionDate.begin(), versionDate.end(), image.begin() + 0x12005);
  image[0x12010] = 16;  // ES
  image[0x12019] = 12;  // beta 12

  unsigned sum = 0xB094, x = 0x7A, r = 0x3E;
  for (std::size_t i = 0; i < 393212; ++i) {
    sum = (sum + image[i]) % 65536;
    x ^= image[i];
    const unsigned t = (image[i] + r) % 256;
    r = ((t & 0x0F) * 16) + (t / 16);
  }
  image[0x5FFFC] = static_cast<std::uint8_t>(sum % 256);
  image[0x5FFFD] = static_cast<std::uint8_t>(sum / 256);
  image[0x5FFFE] = static_cast<std::uint8_t>(x);
  image[0x5FFFF] = static_cast<std::uint8_t>(r);

  std::vector<std::uint8_t> file(0x60000);
  for (std::size_t p = 0; p < 0x60000; ++p) {
    file[p] = key.inverse[((image[p] ^ key.mask[p % 227]) + key.shift[p % 29]) % 256];
  }
  if (stLength == 0) return file;

  std::vector<std::uint8_t> st(stLength);
  for (auto& b : st) b = static_cast<std::uint8_t>(rng());
  unsigned s = 0;
  for (std::size_t i = 0; i < stCovered; ++i) {
    if (i == stSumAt || i == stSumAt + 1) continue;
    s = (s + st[i]) % 65536;
    s = ((s << 1) | (s >> 15)) & 0xFFFF;
  }
  st[stSumAt] = static_cast<std::uint8_t>(s & 0xFF);
  st[stSumAt + 1] = static_cast<std::uint8_t>(s >> 8);
  std::uint32_t keyA = 0x3CE2A817, keyB = 0xE05B6C29;
  for (std::size_t i = 0; i < stLength; ++i) {
    const std::uint8_t d = st[i];
    const std::uint8_t c = static_cast<std::uint8_t>(d ^ (keyA & 0xFF));
    file.push_back(c);
    keyB = Rol(keyB + d);
    keyA = Rol(keyA + keyB);
    keyA = Rol(keyA + static_cast<std::uint32_t>(i));
    keyA = Rol(keyA + c);
  }
  for (int k = 0; k < 4; ++k) file.push_back(static_cast<std::uint8_t>(keyB >> (8 * k)));
  return file;
}

TEST_F(OpenFileTest, FilesMadeByAnIndependentMakerAreAccepted) {
  if (!testing::BuildUsesCommittedTestKey()) GTEST_SKIP() << "the build uses another key";
  struct Case {
    std::uint8_t rawType;
    std::size_t length, covered, sumAt;
    const char* description;
  };
  const Case cases[] = {
      {3, 0, 0, 0, "SOLANTA Large v1.23 2024-11-05 BETA 012 ES"},
      {4, 61440, 0xE000, 0xDFBE, "SOLANTA Large R-A v1.23 2024-11-05 BETA 012 ES"},
      {0x84, 128512, 0x1F600, 0x1F5FE, "SOLANTA Large R-B v1.23 2024-11-05 BETA 012 ES"},
      {0x48, 30208, 0x7600, 0x75FE, "SOLANTA Grand NX v1.23 2024-11-05 BETA 012 ES"},
  };
  for (const Case& c : cases) {
    const std::string path =
        dir.Write("independent.qfw", IndependentFile(c.rawType, c.length, c.covered, c.sumAt));
    ASSERT_TRUE(Open(path)) << c.description;
    EXPECT_EQ(image.FileDescription, c.description);
    EXPECT_EQ(image.FileVersionText, "12320241105012");
    EXPECT_EQ(op.descriptions.back(), c.description);
  }
}

}  // namespace
}  // namespace korvex::firmware
