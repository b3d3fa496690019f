#include "cli/cli_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvex::cli {
namespace {

TEST(CliCommandLine, CommandWordsSelectTheTerminalsCommandsAndAnythingElseIsTheRunLine) {
  struct Case {
    std::vector<std::string> args;
    CliCommandKind kind;
  };
  const Case cases[] = {
      {{"--help"}, CliCommandKind::kHelp},
      {{"-h"}, CliCommandKind::kHelp},
      {{"test", "a.qfw", "3"}, CliCommandKind::kTest},
      {{"test", "a.qfw"}, CliCommandKind::kUsage},
      {{"restart", "/dev/pts/3"}, CliCommandKind::kRestart},
      {{"restart"}, CliCommandKind::kUsage},
      {{"check", "a.qfw"}, CliCommandKind::kCheck},
      {{"check", "a.qfw", "3"}, CliCommandKind::kUsage},
      {{"ports"}, CliCommandKind::kPorts},
      {{"ports", "x"}, CliCommandKind::kUsage},
      {{"a.qfw", "3"}, CliCommandKind::kRun},
      {{"./test", "3"}, CliCommandKind::kRun},
      {{"a.qfw", "3", "hasla", "komunikacji", "FSK=0x0128"}, CliCommandKind::kRun},
      {{}, CliCommandKind::kRun},
  };
  for (const Case& c : cases) {
    const CliCommand command = ParseCliCommand(c.args);
    EXPECT_EQ(command.kind, c.kind) << ::testing::PrintToString(c.args);
    if (c.kind == CliCommandKind::kRun) {
      EXPECT_EQ(command.operands, c.args);
    }
    if (c.kind == CliCommandKind::kUsage) {
      EXPECT_NE(command.error.find("usage"), std::string::npos);
    }
  }
  EXPECT_EQ(ParseCliCommand(std::vector<std::string>{"test", "f", "/dev/x"}).operands,
            (std::vector<std::string>{"f", "/dev/x"}));
}

TEST(CliCommandLine, APortNamedTheWindowsWayBecomesItsNumberOnTheRunLine) {
  using Args = std::vector<std::string>;
  EXPECT_EQ(ParseCliCommand(Args{"fw.qfw", "com7"}).operands, (Args{"fw.qfw", "7"}));
  EXPECT_EQ(ParseCliCommand(Args{"fw.qfw", "\\\\.\\COM12", "FSK=0xSKIP"}).operands,
            (Args{"fw.qfw", "12", "FSK=0xSKIP"}));
  // Only the PORT place is read as a port; a name that is no COM port stays as it is.
  EXPECT_EQ(ParseCliCommand(Args{"COM3", "5"}).operands, (Args{"COM3", "5"}));
  EXPECT_EQ(ParseCliCommand(Args{"fw.qfw", "COM0"}).operands, (Args{"fw.qfw", "COM0"}));
}

TEST(CliCommandLine, RunOptionsAreTakenOutBeforeTheFormsAreRead) {
  using Args = std::vector<std::string>;
  // Without the options taken out this would be five parameters, not a Program run.
  const CliCommand run =
      ParseCliCommand(Args{"fw.qfw", "7", "--report", "r.json", "--timeout", "20"});
  EXPECT_EQ(run.kind, CliCommandKind::kRun);
  EXPECT_EQ(run.operands, (Args{"fw.qfw", "7"}));
  EXPECT_EQ(run.options.reportFile, "r.json");
  EXPECT_EQ(run.options.timeoutSeconds, 20u);

  const CliCommand test = ParseCliCommand(Args{"--verify=readback", "test", "fw.qfw", "7"});
  EXPECT_EQ(test.kind, CliCommandKind::kTest);
  EXPECT_EQ(test.options.verify, shell::VerifyMode::kReadBack);

  const CliCommand bad = ParseCliCommand(Args{"fw.qfw", "7", "--fast"});
  EXPECT_EQ(bad.kind, CliCommandKind::kUsage);
  EXPECT_EQ(bad.error, "unknown option --fast");
}

TEST(CliCommandLine, HelpNamesEveryFormAndExitCode) {
  const std::string help = HelpText();
  for (const char* part : {"korvex-cli FILE PORT [hasla komunikacji] [FSK=0x...]", "test FILE PORT",
                           "restart PORT", "check FILE", "ports", "FSK=0xONLY", "FSK=0xSKIP",
                           "FSK=0xHHLL", "\"only\"", "Ctrl+C", "--report FILE"}) {
    EXPECT_NE(help.find(part), std::string::npos) << part;
  }
  // How a PORT is named differs: COM ports on Windows, device paths elsewhere.
#ifdef _WIN32
  EXPECT_NE(help.find("COM7"), std::string::npos);
#else
  EXPECT_NE(help.find("KORVEX_COM<n>"), std::string::npos);
  EXPECT_NE(help.find("/dev/ttyS<n-1>"), std::string::npos);
#endif
  for (int code = 0; code <= 6; ++code) {
    EXPECT_NE(help.find("\n  " + std::to_string(code) + "  "), std::string::npos) << code;
    EXPECT_NE(ExitCodeMeaning(code), "unknown");
  }
  EXPECT_NE(help.find("5  success"), std::string::npos);
  EXPECT_NE(help.find("6  success"), std::string::npos);
}

}  // namespace
}  // namespace korvex::cli
