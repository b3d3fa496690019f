#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "shell/session.h"
#include "shell/virtual_clock.h"
#include "support/scripted_operator.h"

namespace korvex::shell {
namespace {

using Args = std::vector<std::string>;

TEST(TakeCommandLine, TakesTheFirstEightParametersEachCutToAShortText) {
  Args args;
  for (int i = 1; i <= 9; ++i) args.push_back("p" + std::to_string(i));
  args[0] = std::string(300, 'f');
  const CommandLine cmd = TakeCommandLine(args);
  EXPECT_EQ(cmd.CmdParamCount, 8);
  EXPECT_EQ(cmd.Param(1), std::string(255, 'f'));
  EXPECT_EQ(cmd.Param(8), "p8");
  EXPECT_EQ(cmd.Param(9), "");
  EXPECT_EQ(cmd.Param(0), "");
}

TEST(TakeCommandLine, SkipsTheProgramNameOfMainsArguments) {
  const char* argv[] = {"korvex", "fw.qfw", "3"};
  const CommandLine cmd = TakeCommandLine(3, argv);
  EXPECT_EQ(cmd.CmdParamCount, 2);
  EXPECT_EQ(cmd.Param(1), "fw.qfw");
  EXPECT_EQ(cmd.Param(2), "3");
  EXPECT_EQ(TakeCommandLine(1, argv).CmdParamCount, 0);
}

TEST(ComPortNumber, TakesTheConvertedNumberFrom1To255) {
  const struct {
    const char* text;
    std::optional<int> number;
  } cases[] = {
      {"1", 1},   {"255", 255}, {" +$1F", 31},     {"$ff", 255},
      {"0", {}},  {"256", {}},  {"$100", {}},      {"-3", {}},
      {"-0", {}}, {"COM3", {}}, {"$FFFFFFFF", {}}, {"99999999999999999999999", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ComPortNumber(c.text), c.number) << '"' << c.text << '"';
}

TEST(PortNameFromParameter, NamesTheComPortInDecimalOrTakesADevicePath) {
  EXPECT_EQ(PortNameFromParameter("$1F", false), "COM31");
  EXPECT_EQ(PortNameFromParameter(" 7", false), "COM7");
  EXPECT_EQ(PortNameFromParameter("/dev/pts/4", true), "/dev/pts/4");
  EXPECT_EQ(PortNameFromParameter("/dev/pts/4", false), std::nullopt);
  EXPECT_EQ(PortNameFromParameter("dev/ttyS0", true), std::nullopt);
}

TEST(ComPortNumberOfName, TakesComPortNamesInAnyCaseAndTheDeviceNamespace) {
  const struct {
    const char* text;
    std::optional<int> number;
  } cases[] = {
      {"COM7", 7},
      {"com7", 7},
      {"Com255", 255},
      {"\\\\.\\COM12", 12},
      {"\\\\.\\com1", 1},
      // Not a COM port name: no number, zero, out of range, leading zero, sign, hexadecimal,
      // blanks, a half-written device namespace.
      {"COM", std::nullopt},
      {"COM0", std::nullopt},
      {"COM256", std::nullopt},
      {"COM07", std::nullopt},
      {"COM+7", std::nullopt},
      {"COM$1F", std::nullopt},
      {"COM 7", std::nullopt},
      {"COM7 ", std::nullopt},
      {"\\\\COM7", std::nullopt},
      {"LPT1", std::nullopt},
      {"COMX", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComPortNumberOfName(c.text), c.number) << c.text;
  }
}

TEST(EvaluateFskOption, ReadsEachFormStepByStep) {
  const struct {
    const char* text;
    bool stOnly, stSkip, fskGiven;
    int plus, minus;
    bool endAtOnce;
  } cases[] = {
      {"FSK=0x0128", false, false, true, 0x01, 0x28, false},
      {"FSK=0x3f3F", false, false, true, 0x3F, 0x3F, false},
      {"FSK=0x0000", false, false, true, 0x00, 0x00, false},
      {"FSK=0x0128only", true, false, true, 0x01, 0x28, false},
      {"FSK=0xONLY", true, false, false, 0, 0, false},
      {"FSK=0xSKIP", false, true, false, 0, 0, false},
      {"FSK=0xSKIPonly", true, true, false, 0, 0, false},
      {"FSK=0xONLYonly", true, false, false, 0, 0, false},
      // A byte above 0x3F or characters that are not hex digits end the program.
      {"FSK=0x4000", false, false, true, 0x40, 0x00, true},
      {"FSK=0x3F40", false, false, true, 0x3F, 0x40, true},
      {"FSK=0x4000only", true, false, true, 0x40, 0x00, true},
      {"FSK=0xskip", false, false, false, 0, 0, true},
      {"FSK=0xOnly", false, false, false, 0, 0, true},
      {"FSK=0x 128", false, false, false, 0, 0, true},
      {"FSK=0x+128", false, false, false, 0, 0, true},
      // Wrong prefix, wrong suffix or wrong length: no effect at all.
      {"fsk=0x0128", false, false, false, 0, 0, false},
      {"FSK=0X0128", false, false, false, 0, 0, false},
      {"FSK=0x0128ONLY", false, false, false, 0, 0, false},
      {"FSK=0x128", false, false, false, 0, 0, false},
      {"FSK=0x01280", false, false, false, 0, 0, false},
      {"FSK=0xZZZZZonly", false, false, false, 0, 0, false},
      {"FSK=0x", false, false, false, 0, 0, false},
      {"xyz", false, false, false, 0, 0, false},
  };
  for (const auto& c : cases) {
    const FskOption option = EvaluateFskOption(c.text);
    EXPECT_EQ(option.StOnlyRequested, c.stOnly) << c.text;
    EXPECT_EQ(option.StSkipRequested, c.stSkip) << c.text;
    EXPECT_EQ(option.FskGiven, c.fskGiven) << c.text;
    if (c.fskGiven) {
      EXPECT_EQ(option.FskPlus, c.plus) << c.text;
      EXPECT_EQ(option.FskMinus, c.minus) << c.text;
    }
    EXPECT_EQ(option.endAtOnce, c.endAtOnce) << c.text;
  }
}

TEST(PlanStart, ChoosesTheStartModeFromTheParameters) {
  using M = StartMode;
  const struct {
    Args args;
    M mode;
    const char* file;
    const char* port;
    int countAfter;
    bool reset;
  } cases[] = {
      {{}, M::kInteractiveWithAbout, "", "", 0, false},
      {{"fw.qfw"}, M::kInteractiveWithFile, "fw.qfw", "", 1, false},
      {{""}, M::kInteractiveWithFile, "", "", 1, false},
      {{"fw.qfw", "3"}, M::kUnattendedRun, "fw.qfw", "COM3", 2, false},
      {{"", "3"}, M::kUnattendedRun, "", "COM3", 2, false},
      {{"fw.qfw", "0"}, M::kInteractiveWithAbout, "", "", 2, false},
      {{"fw.qfw", "256"}, M::kInteractiveWithAbout, "", "", 2, false},
      {{"fw.qfw", "COM3"}, M::kInteractiveWithAbout, "", "", 2, false},
      {{"fw.qfw", ""}, M::kInteractiveWithAbout, "", "", 2, false},
      {{"fw.qfw", "3", "xyz"}, M::kUnattendedRun, "fw.qfw", "COM3", 2, false},
      // An empty third parameter is not an option, and three parameters are no run.
      {{"fw.qfw", "3", ""}, M::kInteractiveWithAbout, "", "", 3, false},
      {{"fw.qfw", "3", "hasla", "komunikacji"}, M::kUnattendedRun, "fw.qfw", "COM3", 4, true},
      {{"fw.qfw", "3", "HASLA", "komunikacji"}, M::kUnattendedRun, "fw.qfw", "COM3", 4, false},
      {{"fw.qfw", "3", "hasla", "komunikacji "}, M::kUnattendedRun, "fw.qfw", "COM3", 4, false},
      {{"fw.qfw", "3", "komunikacji", "hasla"}, M::kUnattendedRun, "fw.qfw", "COM3", 4, false},
      {{"fw.qfw", "3", "hasla", "komunikacji", "xyz"},
       M::kUnattendedRun,
       "fw.qfw",
       "COM3",
       4,
       true},
      {{"fw.qfw", "3", "hasla", "komunikacji", ""}, M::kInteractiveWithAbout, "", "", 5, false},
      // The option is read, and may end the program, before the port is looked at.
      {{"fw.qfw", "3", "FSK=0x4000"}, M::kEndWithoutRun, "", "", 2, false},
      {{"fw.qfw", "0", "FSK=0x4000"}, M::kEndWithoutRun, "", "", 2, false},
      {{"fw.qfw", "3", "hasla", "komunikacji", "FSK=0xZZZZ"}, M::kEndWithoutRun, "", "", 4, false},
      {{"fw.qfw", "0", "FSK=0x0128"}, M::kInteractiveWithAbout, "", "", 2, false},
      {{"fw.qfw", "3", "hasla", "komunikacji", "x", "y"},
       M::kInteractiveWithAbout,
       "",
       "",
       6,
       false},
      {{"fw.qfw", "3", "a", "b", "c", "d", "e", "f", "g"},
       M::kInteractiveWithAbout,
       "",
       "",
       8,
       false},
  };
  for (const auto& c : cases) {
    const StartPlan plan = PlanStart(c.args, false);
    std::string label;
    for (const auto& a : c.args) label += "[" + a + "]";
    EXPECT_EQ(plan.mode, c.mode) << label;
    EXPECT_EQ(plan.fileName, c.file) << label;
    EXPECT_EQ(plan.portName, c.port) << label;
    EXPECT_EQ(plan.cmd.CmdParamCount, c.countAfter) << label;
    EXPECT_EQ(plan.CommCodesResetRequested, c.reset) << label;
  }
}

TEST(PlanStart, CarriesTheFskOptionIntoTheRun) {
  StartPlan plan = PlanStart(Args{"fw.qfw", "3", "FSK=0x0128only"}, false);
  EXPECT_EQ(plan.mode, StartMode::kUnattendedRun);
  EXPECT_TRUE(plan.FskGiven);
  EXPECT_EQ(plan.FskPlus, 0x01);
  EXPECT_EQ(plan.FskMinus, 0x28);
  EXPECT_TRUE(plan.StOnlyRequested);
  EXPECT_FALSE(plan.StSkipRequested);

  plan = PlanStart(Args{"fw.qfw", "3", "hasla", "komunikacji", "FSK=0xSKIPonly"}, false);
  EXPECT_EQ(plan.mode, StartMode::kUnattendedRun);
  EXPECT_TRUE(plan.CommCodesResetRequested);
  EXPECT_TRUE(plan.StSkipRequested);
  EXPECT_TRUE(plan.StOnlyRequested);
  EXPECT_FALSE(plan.FskGiven);

  // Only the last of three or five parameters is an option.
  plan = PlanStart(Args{"fw.qfw", "3", "FSK=0xONLY", "x"}, false);
  EXPECT_EQ(plan.mode, StartMode::kUnattendedRun);
  EXPECT_FALSE(plan.StOnlyRequested);
}

TEST(PlanStart, AcceptsADevicePathInPlaceOfTheNumberWhenAsked) {
  const Args args{"fw.qfw", "/tmp/panel-pty", "FSK=0xONLY"};
  const StartPlan plan = PlanStart(args, true);
  EXPECT_EQ(plan.mode, StartMode::kUnattendedRun);
  EXPECT_EQ(plan.portName, "/tmp/panel-pty");
  EXPECT_TRUE(plan.StOnlyRequested);
  EXPECT_EQ(PlanStart(args, false).mode, StartMode::kInteractiveWithAbout);
}

class ApplyStartPlanTest : public ::testing::Test {
 protected:
  testing::ScriptedOperator op;
  VirtualClock clock;
  Session session{op, clock, 1};
};

TEST_F(ApplyStartPlanTest, SetsTheRunsFlagsFileAndProgramMode) {
  ApplyStartPlan(PlanStart(Args{"fw.qfw", "12", "hasla", "komunikacji", "FSK=0x0128only"}, false),
                 session);
  EXPECT_TRUE(session.CommCodesResetRequested);
  EXPECT_TRUE(session.StOnlyRequested);
  EXPECT_FALSE(session.StSkipRequested);
  EXPECT_TRUE(session.FskGiven);
  EXPECT_EQ(session.FskPlus, 0x01);
  EXPECT_EQ(session.FskMinus, 0x28);
  EXPECT_EQ(session.FirmwareFileName, "fw.qfw");
  EXPECT_TRUE(session.ProgramMode);
  EXPECT_EQ(session.ExitCode, kExitNone);
}

TEST_F(ApplyStartPlanTest, InteractiveStartsNameTheFileButLeaveProgramModeOff) {
  ApplyStartPlan(PlanStart(Args{"fw.qfw"}, false), session);
  EXPECT_EQ(session.FirmwareFileName, "fw.qfw");
  EXPECT_FALSE(session.ProgramMode);

  session.FirmwareFileName = "kept.qfw";
  ApplyStartPlan(PlanStart(Args{"fw.qfw", "COM3"}, false), session);
  EXPECT_EQ(session.FirmwareFileName, "kept.qfw");
  EXPECT_FALSE(session.ProgramMode);
  EXPECT_FALSE(session.CommCodesResetRequested);
}

}  // namespace
}  // namespace korvex::shell
