// korvex-qfw as a user runs it: commands, verdicts, messages and exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "support/e2e_support.h"

#ifdef KORVEX_QFW_PATH

namespace korvex::testing {
namespace {

struct ToolRun {
  int code;
  std::string output;  // stdout and stderr together
};

ToolRun Qfw(const std::string& arguments) {
  const std::string command = std::string("'") + KORVEX_QFW_PATH + "' " + arguments + " 2>&1";
  ToolRun run{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    run.output.append(buffer.data(), n);
  const int status = pclose(pipe);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class QfwTool : public ::testing::Test {
 protected:
  std::string Q(const std::string& path) { return "'" + path + "'"; }
  std::string File(const std::string& name) { return (dir.Path() / name).string(); }
  TempDir dir;
};

TEST_F(QfwTool, HelpExplainsEveryCommandAndTheExitCodes) {
  const ToolRun run = Qfw("--help");
  EXPECT_EQ(run.code, 0);
  for (const char* part : {"info FILE", "verify FILE", "pack --program", "unpack FILE",
                           "sample-program", "--keep-header", "--force", "Exit codes", "393212"}) {
    EXPECT_TRUE(Contains(run.output, part)) << part;
  }
}

TEST_F(QfwTool, PacksAProgramThatInfoThenDescribes) {
  ASSERT_EQ(Qfw("sample-program " + Q(File("raw.bin")) + " --seed 5").code, 0);
  WriteFileBytes(File("st.bin"), MakeStProgram(firmware::StSectionKind::kB, 5));
  const ToolRun pack =
      Qfw("pack --program " + Q(File("raw.bin")) + " --st " + Q(File("st.bin")) +
          " --type 5 --version 123 --date 20241105 --language DE --beta 2 -o " + Q(File("b.qfw")));
  ASSERT_EQ(pack.code, 0) << pack.output;
  const ToolRun info = Qfw("info " + Q(File("b.qfw")));
  EXPECT_EQ(info.code, 0) << info.output;
  for (const char* part :
       {"Verdict:       accepted", "Description:   SOLANTA Large R-B v1.23 2024-11-05 BETA 002 DE",
        "Panel type:    5 (SOLANTA Large R-B), header code 132", "Version text:  12320241105002",
        "Language:      4 DE", "ST section:    B, 128512 bytes"}) {
    EXPECT_TRUE(Contains(info.output, part)) << part << "\n" << info.output;
  }
}

TEST_F(QfwTool, UnpackThenPackGivesTheSameFile) {
  const std::string original = File("orig.qfw");
  WriteFileBytes(original, MakeValidQfw(7, 11));
  ASSERT_EQ(
      Qfw("unpack " + Q(original) + " --program " + Q(File("p.bin")) + " --st " + Q(File("s.bin")))
          .code,
      0);
  EXPECT_EQ(ReadFileBytes(File("p.bin")).size(), firmware::kProgramSize);
  EXPECT_EQ(ReadFileBytes(File("s.bin")), MakeStProgram(firmware::StSectionKind::kC, 11));
  const ToolRun pack = Qfw("pack --program " + Q(File("p.bin")) + " --st " + Q(File("s.bin")) +
                           " --keep-header --keep-st-checksum -o " + Q(File("again.qfw")));
  ASSERT_EQ(pack.code, 0) << pack.output;
  EXPECT_EQ(ReadFileBytes(File("again.qfw")), ReadFileBytes(original));
}

TEST_F(QfwTool, PackRefusesInconsistentInput) {
  WriteFileBytes(File("raw.bin"), MakeProgram(FieldsForPanelType(2)));
  WriteFileBytes(File("short.bin"), std::vector<std::uint8_t>(1000));
  WriteFileBytes(File("stA.bin"), MakeStProgram(firmware::StSectionKind::kA));
  const std::string raw = " --program " + Q(File("raw.bin"));
  const std::string out = " -o " + Q(File("x.qfw"));
  struct Case {
    std::string arguments;
    int code;
    const char* message;
  };
  const Case cases[] = {
      {raw + " --type 4 --version 124 --date 20250312" + out, 1,
       "panel type 4 (SOLANTA Large R-A) needs an ST program of 61440 bytes (kind A), but none"},
      {raw + " --st " + Q(File("stA.bin")) + " --type 6 --version 124 --date 20250312" + out, 1,
       "needs an ST program of 30208 bytes (kind C), but the ST program given has 61440"},
      {raw + " --type 2 --version 1.24 --date 20250312" + out, 1, "is not three digits"},
      {raw + " --type 2 --version 12 --date 20250312" + out, 1, "is not three digits"},
      {raw + " --type 2 --version 124 --date 2025-03-12" + out, 1, "is not eight digits"},
      {raw + " --type 9 --version 124 --date 20250312" + out, 1, "is not one of 0..8"},
      {raw + " --type 2 --version 124 --date 20250312 --signature ABC" + out, 1, "signature"},
      {raw + " --type 2 --version 124 --date 20250312 --language XX" + out, 1, "language"},
      {" --program " + Q(File("short.bin")) + " --type 2 --version 124 --date 20250312" + out, 1,
       "must have exactly 393212"},
      {raw + " --st " + Q(File("short.bin")) + " --type 4 --version 124 --date 20250312" + out, 1,
       "ST program has 1000 bytes"},
      {raw + " --type 2" + out, 2, "give --version"},
      {raw + " --keep-header --type 2" + out, 2, "drop --type"},
      {" --program " + Q(File("missing.bin")) + " --keep-header" + out, 2, "not a readable file"},
  };
  for (const Case& c : cases) {
    const ToolRun run = Qfw("pack" + c.arguments);
    EXPECT_EQ(run.code, c.code) << c.arguments << "\n" << run.output;
    EXPECT_TRUE(Contains(run.output, c.message)) << c.message << "\n" << run.output;
  }
  EXPECT_FALSE(std::filesystem::exists(File("x.qfw")));
}

TEST_F(QfwTool, VerdictsAndExitCodesForBadFiles) {
  std::vector<std::uint8_t> damaged = MakeValidQfw(2);
  damaged[0x40000] ^= 1;
  WriteFileBytes(File("damaged.qfw"), damaged);
  auto fields = FieldsForPanelType(2);
  fields.version = "125";
  WriteFileBytes(File("newer.qfw"), MakeQfw(fields, firmware::StSectionKind::kNone));
  WriteFileBytes(File("empty.qfw"), {});

  ToolRun run =
      Qfw("verify " + Q(File("damaged.qfw")) + " " + Q(File("newer.qfw")) + " " +
          Q(File("empty.qfw")) + " " + Q(File("none.qfw")) + " " + Q(dir.Path().string()));
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(Contains(run.output, "damaged.qfw: invalid: the program's check values differ"));
  EXPECT_TRUE(Contains(run.output, "newer.qfw: refused: version 1.25 is outside"));
  EXPECT_TRUE(Contains(run.output, "empty.qfw: invalid: the file size 0"));
  EXPECT_TRUE(Contains(run.output, "none.qfw: cannot be opened"));

  run = Qfw("info " + Q(File("damaged.qfw")));
  EXPECT_EQ(run.code, 1);
  EXPECT_FALSE(Contains(run.output, "Description:"));

  run = Qfw("unpack " + Q(File("damaged.qfw")) + " --program " + Q(File("p.bin")));
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(Contains(run.output, "--force"));
  run = Qfw("unpack " + Q(File("damaged.qfw")) + " --program " + Q(File("p.bin")) + " --force");
  EXPECT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(ReadFileBytes(File("p.bin")).size(), firmware::kProgramSize);
  run = Qfw("unpack " + Q(File("newer.qfw")) + " --st " + Q(File("s.bin")));
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(Contains(run.output, "has no ST section"));

  EXPECT_EQ(Qfw("").code, 2);
  EXPECT_EQ(Qfw("frobnicate").code, 2);
  EXPECT_EQ(Qfw("info --bogus x").code, 2);
  EXPECT_EQ(Qfw("pack --program").code, 2);
}

TEST_F(QfwTool, DemoScriptRemakesTheCommittedDemoFiles) {
  if (!BuildUsesCommittedTestKey()) GTEST_SKIP() << "demo files use the test key";
  const std::string script = std::string(KORVEX_SOURCE_DIR) + "/scripts/make_demo_firmware.sh";
  const std::string command = "KORVEX_QFW='" + std::string(KORVEX_QFW_PATH) + "' '" + script +
                              "' " + Q(dir.Path().string()) + " > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const char* name : {"demo_type2_v123.qfw", "demo_type2_v124.qfw"}) {
    EXPECT_EQ(ReadFileBytes(File(name)),
              ReadFileBytes(std::string(KORVEX_SOURCE_DIR) + "/config/demo/" + name))
        << name;
  }
}

}  // namespace
}  // namespace korvex::testing

#endif  // KORVEX_QFW_PATH
