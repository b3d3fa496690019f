// The application's start dispatch and the operation bracket: the lock of the controls, the
// stop and key handling, and the port that is forgotten after a failed or stopped run.
#include <gtest/gtest.h>

#include "run_test_util.h"
#include "shell/about.h"
#include "shell/command_line.h"

namespace korvex::testing {
namespace {

TEST(StartTest, WithoutParametersShowsTheAboutText) {
  RunBench bench(Bench(FileWith(3)));
  EXPECT_EQ(bench.app->Start(shell::PlanStart(std::vector<std::string>{})),
            update::StartResult::kInteractive);
  ASSERT_EQ(bench.op.boxes.size(), 1u);
  EXPECT_EQ(bench.op.boxes[0].text, shell::kAboutText);
  EXPECT_EQ(bench.op.boxes[0].kind, shell::MessageKind::kInformation);
  EXPECT_TRUE(bench.op.boxes[0].okOnly);
  EXPECT_EQ(bench.op.operationRunning, (std::vector<bool>{true, false}));
  EXPECT_TRUE(bench.Session().FirmwareFileName.empty());
  EXPECT_EQ(bench.ExitCode(), 0);
}

TEST(StartTest, WithAFileChecksItAndWaitsForTheOperator) {
  RunBench bench(Bench(FileWith(3)));
  EXPECT_EQ(bench.StartWithFile(), update::StartResult::kInteractive);
  EXPECT_EQ(VerdictOf(bench, "File checking"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(bench.op.descriptions.back(), "SOLANTA Large v1.24 2025-03-12 EN");
  EXPECT_TRUE(bench.op.boxes.empty());
  EXPECT_EQ(bench.panel->RequestCount(), 0u);
}

TEST(StartTest, AnUnattendedRunEndsTheProgramWithItsCodeAndAClosedPort) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  EXPECT_EQ(bench.StartUnattended(), update::StartResult::kEnd);
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(bench.op.boxes.empty());
  EXPECT_TRUE(bench.op.portDialogs.empty());
  EXPECT_FALSE(bench.device->IsOpen());
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
  EXPECT_EQ(bench.op.operationRunning.back(), false);
  // The faster bit rates are allowed.
  EXPECT_EQ(bench.HeardRequests(kIdentify).front().bitRate, 115200u);
}

TEST(StartTest, AnFskOptionOutOfRangeEndsWithoutARun) {
  RunBench bench(Bench(FileWith(3)));
  const shell::StartPlan plan =
      shell::PlanStart(std::vector<std::string>{bench.filePath, "1", "FSK=0x4000"}, false);
  EXPECT_EQ(bench.app->Start(plan), update::StartResult::kEnd);
  EXPECT_EQ(bench.ExitCode(), 0);
  EXPECT_EQ(bench.panel->RequestCount(), 0u);
  EXPECT_TRUE(bench.op.lines.empty());
}

TEST(StartTest, TheCodesKeywordsAreCaseSensitive) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  bench.StartUnattended({"HASLA", "komunikacji"});
  EXPECT_FALSE(HasLine(bench, "Communication codes restart"));
  EXPECT_EQ(bench.ExitCode(), 6);
}

TEST(StartTest, AnUnattendedRunWithAMissingFileEndsWithCodeOne) {
  RunBench bench(Bench(FileWith(3)));
  shell::StartPlan plan = shell::PlanStart(
      std::vector<std::string>{(bench.dir.Path() / "missing.qfw").string(), "1"}, false);
  plan.portName = RunBench::kPort;
  EXPECT_EQ(bench.app->Start(plan), update::StartResult::kEnd);
  EXPECT_EQ(bench.ExitCode(), 1);
  EXPECT_EQ(bench.panel->RequestCount(), 0u);
}

// --- The operation bracket -----------------------------------------------------------------

TEST(OperationTest, LocksTheControlsAndRefusesToCloseWhileRunning) {
  RunBench bench(Bench(FileWith(3)).HoldingFile());
  bench.StartWithFile();
  bench.op.operationRunning.clear();
  bool closableDuringRun = true;
  bench.op.onStatusChange = [&](const RecordedLine&) {
    closableDuringRun = closableDuringRun && bench.app->CanClose();
  };
  bench.Test();
  EXPECT_FALSE(closableDuringRun);
  EXPECT_TRUE(bench.app->CanClose());
  EXPECT_EQ(bench.op.operationRunning, (std::vector<bool>{true, false}));
  EXPECT_FALSE(bench.device->IsOpen());
}

TEST(OperationTest, StopAndItsKeyActOnlyWhileAnOperationRuns) {
  RunBench bench(Bench(FileWith(3)));
  bench.StartWithFile();
  bench.app->StopClick();
  bench.app->KeyPress('\x13');
  EXPECT_TRUE(bench.op.boxes.empty());
  EXPECT_FALSE(bench.Session().StopRequested);
}

TEST(OperationTest, CtrlSAsksAndNoLetsTheRunGoOn) {
  RunBench bench(Bench(FileWith(3)).HoldingFile());
  bench.StartWithFile();
  bench.op.answers = {false};
  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption == "Verification" && line.progress.size() == 5) bench.app->KeyPress('\x13');
  };
  bench.Test();
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{"Abort ?", "Comparison ok."}));
  EXPECT_EQ(bench.ExitCode(), 5);
}

TEST(OperationTest, EnterAndEscMeanNothingOutsideServiceMode) {
  RunBench bench(Bench(FileWith(3)).HoldingFile());
  bench.StartWithFile();
  bool flagged = false;
  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption != "Verification") return;
    bench.app->KeyPress('\r');
    bench.app->KeyPress('\x1b');
    flagged = flagged || bench.Session().StForceKey || bench.Session().StKeepKey;
  };
  bench.Test();
  EXPECT_FALSE(flagged);
}

TEST(OperationTest, TheNextRunAsksForThePortAgainOnlyAfterAStop) {
  RunBench bench(Bench(FileWith(3)).HoldingFile());
  bench.StartWithFile();
  bench.Test();
  bench.EnterStarter();
  bench.Test();
  EXPECT_EQ(bench.op.portDialogs.size(), 1u);
  EXPECT_EQ(bench.op.statusBarPort.back(), " COM1");

  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption == "Verification" && line.progress.size() == 3) bench.app->StopClick();
  };
  bench.EnterStarter();
  bench.Test();
  EXPECT_EQ(bench.ExitCode(), 3);
  EXPECT_EQ(bench.op.statusBarPort.back(), " ");
  bench.op.onStatusChange = nullptr;
  bench.EnterStarter();
  bench.Test();
  EXPECT_EQ(bench.op.portDialogs.size(), 2u);
  EXPECT_EQ(bench.ExitCode(), 5);
}

TEST(OperationTest, APortInUseIsExplainedInAnErrorBoxAndEndsTheRunWithCode2) {
  RunBench bench(Bench(FileWith(3)));
  bench.device->SetBusy(RunBench::kPort, true);
  EXPECT_EQ(bench.StartUnattended(), update::StartResult::kEnd);
  EXPECT_EQ(bench.ExitCode(), 2);
  ASSERT_EQ(bench.op.boxes.size(), 1u);
  EXPECT_EQ(bench.op.boxes[0].kind, shell::MessageKind::kError);
  EXPECT_TRUE(bench.op.boxes[0].okOnly);
  EXPECT_NE(bench.op.boxes[0].text.find("in use"), std::string::npos);
  EXPECT_EQ(bench.panel->RequestCount(), 0u);

  // The standalone Restart explains the same port the same way, and says so in its outcome.
  bench.op.boxes.clear();
  bench.app->Link().KVRS().SetSelectedPort(RunBench::kPort);
  EXPECT_EQ(bench.app->RestartClick(), update::RestartOutcome::kNoPort);
  EXPECT_EQ(bench.op.boxes.size(), 1u);
}

}  // namespace
}  // namespace korvex::testing
