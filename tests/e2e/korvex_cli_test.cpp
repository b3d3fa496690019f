// korvex-cli as a script or a production fixture runs it: against korvex-panel on a
// pseudo-terminal, judged by its exit code, its output, the panel's request log and the
// panel's memory dumped at the end.
#include <gtest/gtest.h>

#if defined(KORVEX_CLI_PATH) && defined(KORVEX_PANEL_PATH)

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "firmware/firmware_check.h"
#include "support/e2e_support.h"

namespace korvex::testing {
namespace {

using namespace std::chrono_literals;

// A run that connects, writes the whole program and waits out the restart (11.5 s on a
// pseudo-terminal, which has no CTS line) takes well under this.
constexpr auto kRunLimit = 90s;

// The decoded requests in a panel log that contain `what` ("erase sector", "restart").
int CountRequests(const std::string& log, const std::string& what) {
  int count = 0;
  std::size_t lineStart = 0;
  while (lineStart < log.size()) {
    std::size_t end = log.find('\n', lineStart);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(lineStart, end - lineStart);
    if (Contains(line, "] #") && Contains(line, what)) ++count;
    lineStart = end + 1;
  }
  return count;
}

// FLASH pages written, in either form.
int CountPagePrograms(const std::string& log) {
  return CountRequests(log, "program page") + CountRequests(log, "short program");
}

class CliAgainstPanel : public ::testing::Test {
 protected:
  // A type 2 panel holding the older demo program, logging and dumping into the temp dir.
  void StartPanel(std::vector<std::string> extra = {}) {
    std::vector<std::string> options{"--panel-type", "2", "--program", "qfw:" + kDemoOldFile};
    options.insert(options.end(), extra.begin(), extra.end());
    ASSERT_TRUE(bench_.StartPanel(options)) << bench_.Panel().Output();
  }
  std::string LogText() const { return bench_.LogText(); }
  ProcessResult Cli(const std::vector<std::string>& args, const Environment& env = {}) const {
    return bench_.Cli(args, env);
  }
  // Ends the panel; its dumps are then in dump/.
  void StopPanel() {
    const ProcessResult end = bench_.StopPanel();
    EXPECT_EQ(end.exitCode, 0) << end.output;
  }
  // The operator at the panel makes it enter its starter from the service menu.
  void EnterStarter() { ASSERT_TRUE(bench_.Panel().Process().Signal(SIGUSR1)); }

  CliPanelRun bench_{KORVEX_CLI_PATH, KORVEX_PANEL_PATH, kRunLimit};
};

TEST_F(CliAgainstPanel, ProgramWritesTheImageThenAgainWritesNothingAndTheTestPasses) {
  StartPanel();
  const ProcessResult first = Cli({kDemoNewFile, bench_.PortPath()});
  EXPECT_EQ(first.exitCode, 6) << first.output;
  for (const char* line : {"Programs comparison", "FLASH erasing", "FLASH programming",
                           "Verification", "Restarting panel", "Exit code 6"}) {
    EXPECT_TRUE(Contains(first.output, line)) << line << "\n" << first.output;
  }
  EXPECT_FALSE(Contains(first.output, "ERROR")) << first.output;
  EXPECT_FALSE(Contains(first.output, "Updating ok.")) << "an unattended run shows no final box";
  EXPECT_EQ(CountRequests(LogText(), "erase sector"), 6);
  const int pagesWritten = CountPagePrograms(LogText());
  EXPECT_GT(pagesWritten, 0);

  // The same file again: the panel holds it already, so nothing is erased or written.
  EnterStarter();
  const ProcessResult second = Cli({kDemoNewFile, bench_.PortPath()});
  EXPECT_EQ(second.exitCode, 5) << second.output;
  EXPECT_EQ(CountRequests(LogText(), "erase sector"), 6);
  EXPECT_EQ(CountPagePrograms(LogText()), pagesWritten);

  // A comparison run, with the port given as COM3 and its device in KORVEX_COM3.
  EnterStarter();
  const ProcessResult test = Cli({"test", kDemoNewFile, "3"}, {{"KORVEX_COM3", bench_.PortPath()}});
  EXPECT_EQ(test.exitCode, 5) << test.output;
  EXPECT_TRUE(Contains(test.output, "INFO: Comparison ok.")) << test.output;
  EXPECT_EQ(CountRequests(LogText(), "erase sector"), 6);

  // A Test run leaves the panel in its starter; restart sends it into its program.
  const int restarts = CountRequests(LogText(), "restart");
  const ProcessResult restart = Cli({"restart", bench_.PortPath()});
  EXPECT_EQ(restart.exitCode, 0) << restart.output;
  EXPECT_EQ(CountRequests(LogText(), "restart"), restarts + 1);

  StopPanel();
  const std::vector<std::uint8_t> flash = ReadFileBytes(bench_.DumpPath("flash.bin").string());
  const std::optional<firmware::FirmwareImage> image = firmware::LoadFirmwareFile(kDemoNewFile);
  ASSERT_TRUE(image.has_value());
  ASSERT_EQ(flash.size(), 0x80000u);
  EXPECT_TRUE(std::equal(flash.begin(), flash.begin() + 0x60000, image->MainImage.begin()))
      << "the panel's FLASH 0x00000..0x5FFFF differs from the file's image";
  EXPECT_EQ(ReadText(bench_.DumpPath("violations.txt")), "");
}

TEST_F(CliAgainstPanel, ARestartThatTheStarterDoesNotAnswerFails) {
  StartPanel({"--set", "program=qfw:" + kDemoNewFile});
  ASSERT_EQ(Cli({"restart", bench_.PortPath()}).exitCode, 0);
  // The panel now runs its program and hears nothing.
  const ProcessResult again = Cli({"restart", bench_.PortPath()});
  EXPECT_EQ(again.exitCode, 3) << again.output;
  EXPECT_TRUE(Contains(again.output, "ERROR")) << again.output;
}

TEST_F(CliAgainstPanel, ABadFileEndsTheRunWithOneBeforeAnythingIsSent) {
  StartPanel();
  const std::string garbage =
      bench_.Dir().Write("garbage.qfw", std::vector<std::uint8_t>(393216, 0x5A));
  struct Case {
    std::string file;
    std::string shown;
  };
  const Case cases[] = {
      {garbage, "ATTENTION:  selected file is not"},
      {(bench_.Dir().Path() / "missing.qfw").string(), "ERROR: Selected file does not exist."},
  };
  for (const Case& c : cases) {
    const ProcessResult run = Cli({c.file, bench_.PortPath()});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(Contains(run.output, c.shown)) << run.output;
  }
  StopPanel();
  EXPECT_FALSE(Contains(LogText(), "the PC opened the port")) << LogText();
  EXPECT_TRUE(Contains(LogText(), "0 requests heard")) << LogText();
}

TEST_F(CliAgainstPanel, AnFskOptionOutOfRangeEndsWithZeroWithoutARun) {
  StartPanel();
  const std::vector<std::vector<std::string>> lines = {
      {kDemoNewFile, bench_.PortPath(), "FSK=0x4000"},
      {kDemoNewFile, bench_.PortPath(), "FSK=0x12G4"},
      {kDemoNewFile, bench_.PortPath(), "hasla", "komunikacji", "FSK=0x0140only"},
  };
  for (const auto& line : lines) {
    const ProcessResult run = Cli(line);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_FALSE(Contains(run.output, "File checking")) << run.output;
  }
  StopPanel();
  EXPECT_TRUE(Contains(LogText(), "0 requests heard")) << LogText();
}

TEST_F(CliAgainstPanel, CtrlCDuringProgrammingStopsTheRunAsAFailure) {
  // Paced at the real bit rate, programming takes about half a minute.
  StartPanel({"--pace"});
  ChildProcess cli;
  ASSERT_TRUE(cli.Start({KORVEX_CLI_PATH, kDemoNewFile, bench_.PortPath()}));
  // The erase line is printed when it is complete, that is when programming begins.
  ASSERT_TRUE(cli.WaitForOutput("FLASH erasing", 60s)) << cli.Output();
  ASSERT_TRUE(cli.Signal(SIGINT));
  const ProcessResult run = cli.Wait(30s);
  EXPECT_FALSE(run.timedOut);
  // The programming phase's failure path: a starter request did not complete.
  EXPECT_EQ(run.exitCode, 3) << run.output;
  EXPECT_TRUE(Contains(run.output, "Stop requested.")) << run.output;
  EXPECT_FALSE(Contains(run.output, "Verification")) << run.output;
  EXPECT_FALSE(Contains(run.output, "Updating ok.")) << run.output;
  StopPanel();
  EXPECT_EQ(CountRequests(LogText(), "restart"), 0) << "a stopped run does not restart the panel";
}

TEST_F(CliAgainstPanel, MissingPortsEndWithTwo) {
  const ProcessResult path = Cli({kDemoNewFile, "/dev/korvex-no-such-port"});
  EXPECT_EQ(path.exitCode, 2) << path.output;
  EXPECT_TRUE(Contains(path.output, "ERROR: ")) << path.output;
  const ProcessResult com = Cli({"test", kDemoNewFile, "9"},
                                {{"KORVEX_COM9", (bench_.Dir().Path() / "nothing").string()}});
  EXPECT_EQ(com.exitCode, 2) << com.output;
}

TEST_F(CliAgainstPanel, CheckAndPortsWork) {
  const ProcessResult good = Cli({"check", kDemoNewFile});
  EXPECT_EQ(good.exitCode, 0) << good.output;
  EXPECT_TRUE(Contains(good.output, "Firmware: SOLANTA Medium v1.24 2025-03-12 EN")) << good.output;
  const std::string garbage =
      bench_.Dir().Write("garbage.qfw", std::vector<std::uint8_t>(1000, 0x00));
  EXPECT_EQ(Cli({"check", garbage}).exitCode, 1);
  // One parameter alone is the window program's start with a file: the same check.
  EXPECT_EQ(Cli({garbage}).exitCode, 1);
  // A sound file of a version this tool does not take is not accepted either.
  firmware::IdentityFields fields = FieldsForPanelType(2);
  fields.version = "125";
  const std::string tooNew =
      bench_.Dir().Write("v125.qfw", MakeQfw(fields, firmware::StSectionKind::kNone));
  const ProcessResult refused = Cli({"check", tooNew});
  EXPECT_EQ(refused.exitCode, 1) << refused.output;
  EXPECT_TRUE(Contains(refused.output, "Program works with  1.00 - 1.24  versions only !"))
      << refused.output;

  StartPanel();
  const ProcessResult ports = Cli({"ports"}, {{"KORVEX_COM7", bench_.PortPath()}});
  EXPECT_EQ(ports.exitCode, 0) << ports.output;
  EXPECT_TRUE(Contains(ports.output, bench_.PortPath() + "  ")) << ports.output;
  EXPECT_TRUE(Contains(ports.output, "KORVEX_COM7")) << ports.output;
}

TEST_F(CliAgainstPanel, HelpListsEveryExitCodeAndForm) {
  const ProcessResult help = Cli({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* part : {"korvex-cli FILE PORT [hasla komunikacji] [FSK=0x...]", "test FILE PORT",
                           "restart PORT", "check FILE", "ports", "  0  nothing was run",
                           "  1  the firmware file", "  2  the port", "  3  no connection",
                           "  4  the panel's starter is too old", "  5  success", "  6  success"}) {
    EXPECT_TRUE(Contains(help.output, part)) << part;
  }
  // A command line that makes no run says so and ends with 0 ("COM3" is a port name now).
  const ProcessResult none = Cli({kDemoNewFile, "PORT3"});
  EXPECT_EQ(none.exitCode, 0);
  EXPECT_TRUE(Contains(none.output, "no run")) << none.output;
}

}  // namespace
}  // namespace korvex::testing

#endif
