// Replacing the panel's starter against the simulated panel: the updater chosen by FLASH
// kind and panel type, its two copies, the questions, the restart into the updater, the
// new starter and the rest of the run, and the ways the replacement fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "run_test_util.h"
#include "update/updater_images.h"

namespace korvex::testing {
namespace {

constexpr const char* kLoading = "Starter updater loading";
constexpr const char* kUpdateQuestion =
    "Update starter ?\n\nIf you want to press 'Yes', make sure that there will be\n"
    "no interrupt in AC and DC panel supply.";
constexpr const char* kManyOutputs =
    "For the updating time\nOUT1..OUT8, +KPD, +EX1 and +EX2 outputs will be switched off.\n\n"
    "Continue ?";
constexpr const char* kTwoOutputs =
    "For the updating time\nOUT1 and OUT2 outputs will be switched off.\n\nContinue ?";
constexpr const char* kTryAgain = "Errors - try again.";

// The FLASH codes of a 5.2 starter (command variant 0x1).
constexpr std::uint8_t kErase52 = 0x16;
constexpr std::uint8_t kProgram52 = 0x15;
constexpr std::uint8_t kShort52 = 0x18;
constexpr std::uint8_t kRunUpdate = 0xA5;

constexpr std::size_t kUpdaterSize = update::kUpdaterImageSize;

std::vector<std::uint8_t> BuiltInImage(std::size_t index) {
  const auto image = update::UpdaterImageAt(update::BuiltInUpdaterImages(), index);
  return {image.begin(), image.end()};
}

std::vector<std::uint8_t> FlashAt(const RunBench& bench, std::uint32_t address) {
  const auto flash = bench.panel->Flash();
  return {flash.begin() + address, flash.begin() + address + kUpdaterSize};
}

// A panel with an old starter on FLASH kind 5 and an older program than the file.
PresetKeys OldStarter(const char* flashKind = "5", const char* panelType = "3") {
  return {{"flash_kind", flashKind},
          {"panel_type", panelType},
          {"starter_version", "0x52"},
          {"program_version", "109"}};
}

TEST(StarterUpdateTest, AnUnattendedRunReplacesAnOldStarterAndProgramsThePanel) {
  RunBench bench(Bench(FileWith(3), OldStarter()));
  ASSERT_EQ(bench.StartUnattended(), update::StartResult::kEnd);

  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(bench.op.boxes.empty());
  EXPECT_EQ(bench.panel->StarterVersion(), 0x61);
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
  EXPECT_TRUE(bench.panel->Violations().empty());
  EXPECT_EQ(VerdictOf(bench, kLoading), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(bench.op.Line(kLoading)->progress.back(), 100);
  // The run identified the new starter from the start, checked it and went on.
  const std::vector<std::string> captions = bench.op.Captions();
  const auto loading = std::find(captions.begin(), captions.end(), kLoading);
  ASSERT_NE(loading, captions.end());
  EXPECT_EQ(std::vector<std::string>(loading + 1, loading + 5),
            (std::vector<std::string>{"FLASH type", "Panel type", "Starter version",
                                      "Starter checking"}));
  EXPECT_EQ(VerdictOf(bench, "Starter version").text, "6.1 EN");
  EXPECT_EQ(VerdictOf(bench, "Starter checking"), (RecordedStatus{kOk, kPlain}));
  // The copy at 0x60000 is outside the program area and still holds the updater.
  EXPECT_EQ(FlashAt(bench, 0x60000), BuiltInImage(0));
  EXPECT_TRUE(bench.app->RunContext().FlashWritten);
}

TEST(StarterUpdateTest, TheUpdaterGoesToBothPlacesBeforeThePanelIsRestartedIntoIt) {
  RunBench bench(Bench(FileWith(3), OldStarter()));
  bench.StartUnattended();
  ASSERT_EQ(bench.ExitCode(), 6);

  // Requests of the old starter up to the update request, in order.
  std::vector<std::string> steps;
  std::vector<std::uint32_t> pages;
  std::vector<std::uint8_t> written(kUpdaterSize, 0xFF);
  for (const auto& e : bench.panel->Exchanges()) {
    const std::uint8_t c = e.request[0];
    if (c == kRunUpdate) {
      steps.push_back("update@" + std::to_string(e.bitRate));
      break;
    }
    if (c == kErase52) steps.push_back("erase " + std::to_string(e.request[1]));
    if (c == kRestart) steps.push_back("restart");
    if (c != kProgram52 && c != kShort52) continue;
    const std::uint32_t address = e.request[1] << 8 | e.request[2] << 16;
    pages.push_back(address);
    // The short form (no page bytes) copies the page at the same offset of sector 0.
    if (c == kProgram52 && address < kUpdaterSize) {
      std::copy(e.request.begin() + 3, e.request.begin() + 259, written.begin() + address);
    }
  }
  // Each request counted once, whatever retries there were.
  steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
  EXPECT_EQ(steps, (std::vector<std::string>{"erase 0", "erase 6", "restart", "update@9600"}));
  // Each page goes to sector 0 and then to sector 6.
  std::vector<std::uint32_t> expected;
  for (std::uint32_t i = 0; i < 33; ++i) {
    expected.push_back(i * 256);
    expected.push_back(0x60000 + i * 256);
  }
  EXPECT_EQ(pages, expected);
  EXPECT_EQ(written, BuiltInImage(0));
  EXPECT_EQ(bench.Heard(kRunUpdate), 1);
}

struct FamilyCase {
  const char* flashKind;
  const char* panelType;
  std::size_t image;
  const char* warning;
};

class StarterUpdateFamilyTest : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(StarterUpdateFamilyTest, TheImageAndTheOutputsWarningFollowTheChipAndThePanelType) {
  const FamilyCase& c = GetParam();
  RunBench bench(Bench(FileWith(std::stoi(c.panelType)), {{"flash_kind", c.flashKind},
                                                          {"panel_type", c.panelType},
                                                          {"starter_damage", "sum"},
                                                          {"program_version", "109"}}));
  bench.StartWithFile();
  bench.Program();

  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_EQ(StatusShown(bench, "Starter checking", "   ok"), true);
  // Two questions before the restart; after the replacement the run asks nothing more.
  EXPECT_EQ(BoxTexts(bench),
            (std::vector<std::string>{kUpdateQuestion, c.warning, "Updating ok."}));
  EXPECT_EQ(bench.op.boxes[0].kind, shell::MessageKind::kConfirmation);
  EXPECT_EQ(bench.op.boxes[1].kind, shell::MessageKind::kConfirmation);
  EXPECT_EQ(FlashAt(bench, 0x60000), BuiltInImage(c.image));
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
  EXPECT_TRUE(bench.panel->Violations().empty());
}

INSTANTIATE_TEST_SUITE_P(Families, StarterUpdateFamilyTest,
                         ::testing::Values(FamilyCase{"9", "8", 9, kManyOutputs},
                                           FamilyCase{"9", "7", 8, kManyOutputs},
                                           FamilyCase{"6", "4", 2, kTwoOutputs},
                                           FamilyCase{"7", "2", 4, kManyOutputs},
                                           FamilyCase{"8", "0", 6, kTwoOutputs}));

struct DeclineCase {
  std::vector<bool> answers;
  std::vector<std::string> boxes;
};

class StarterUpdateDeclineTest : public ::testing::TestWithParam<DeclineCase> {};

TEST_P(StarterUpdateDeclineTest, NoToEitherQuestionEndsTheRunWithNothingMoreWritten) {
  const DeclineCase& c = GetParam();
  RunBench bench(Bench(FileWith(3), OldStarter()));
  bench.StartWithFile();
  bench.op.answers.assign(c.answers.begin(), c.answers.end());
  bench.Program();

  EXPECT_EQ(BoxTexts(bench), c.boxes);
  // The updater was written over the program: the run wrote and did not complete.
  EXPECT_EQ(bench.ExitCode(), 3);
  EXPECT_EQ(LastCaption(bench), kLoading);
  EXPECT_EQ(VerdictOf(bench, kLoading), RecordedStatus{});
  // The updater was loaded, and nothing after it.
  EXPECT_EQ(bench.Heard(kErase52), 2);
  EXPECT_EQ(bench.Heard(kProgram52) + bench.Heard(kShort52), 66);
  EXPECT_EQ(bench.Heard(kRestart), 0);
  EXPECT_EQ(bench.Heard(kRunUpdate), 0);
  EXPECT_EQ(bench.panel->StarterVersion(), 0x52);
  EXPECT_EQ(FlashAt(bench, 0), BuiltInImage(0));
}

INSTANTIATE_TEST_SUITE_P(Answers, StarterUpdateDeclineTest,
                         ::testing::Values(DeclineCase{{false}, {kUpdateQuestion}},
                                           DeclineCase{{true, false},
                                                       {kUpdateQuestion, kManyOutputs}}));

struct AcknowledgeCase {
  int lostRequests;  // update requests the updater does not hear (each of 4 frames)
  bool replaced;
};

class StarterUpdateAcknowledgeTest : public ::testing::TestWithParam<AcknowledgeCase> {};

TEST_P(StarterUpdateAcknowledgeTest, TheUpdaterIsAskedSeventeenTimes) {
  const AcknowledgeCase& c = GetParam();
  PresetKeys keys = OldStarter();
  keys.emplace_back("fault.drop_request", Occurrences(kRunUpdate, 1, c.lostRequests * 4));
  RunBench bench(Bench(FileWith(3), keys));
  bench.StartWithFile();
  bench.Program();

  EXPECT_EQ(bench.Heard(kRunUpdate), std::min(c.lostRequests + 1, 17) * 4 - (c.replaced ? 3 : 0));
  EXPECT_EQ(VerdictOf(bench, kLoading), (RecordedStatus{kOk, kPlain}));
  if (c.replaced) {
    EXPECT_EQ(bench.ExitCode(), 6);
    EXPECT_EQ(bench.panel->StarterVersion(), 0x61);
    EXPECT_EQ(BoxTexts(bench),
              (std::vector<std::string>{kUpdateQuestion, kManyOutputs, "Updating ok."}));
  } else {
    EXPECT_EQ(bench.ExitCode(), 4);
    EXPECT_EQ(bench.panel->StarterVersion(), 0x52);
    EXPECT_EQ(BoxTexts(bench),
              (std::vector<std::string>{kUpdateQuestion, kManyOutputs, kTryAgain}));
    EXPECT_EQ(bench.op.boxes.back().kind, shell::MessageKind::kInformation);
    EXPECT_TRUE(bench.op.boxes.back().okOnly);
    EXPECT_EQ(LastCaption(bench), kLoading);
    // 49 connects, each of 2 frames, stepping through the three rates: the updater (still
    // running) hears the 17 at 9600 and answers none. Before them: the run's first connect
    // and the restart's.
    EXPECT_EQ(bench.Heard(kConnect), 2 + 17 * 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Requests, StarterUpdateAcknowledgeTest,
                         ::testing::Values(AcknowledgeCase{16, true}, AcknowledgeCase{17, false}));

TEST(StarterUpdateTest, AnUnattendedRunWhoseUpdaterNeverAnswersEndsWithCodeFour) {
  PresetKeys keys = OldStarter();
  keys.emplace_back("fault.drop_request", "0xA5:*");
  RunBench bench(Bench(FileWith(3), keys));
  bench.StartUnattended();
  EXPECT_EQ(bench.ExitCode(), 4);
  EXPECT_TRUE(bench.op.boxes.empty());
  EXPECT_EQ(VerdictOf(bench, kLoading), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(bench.Heard(kRunUpdate), 17 * 4);
}

TEST(StarterUpdateTest, AStopWhileTheUpdaterIsAskedEndsBothLoopsAndFailsTheUpdate) {
  PresetKeys keys = OldStarter();
  keys.emplace_back("fault.drop_request", "0xA5:*");
  RunBench bench(Bench(FileWith(3), keys));
  bench.StartWithFile();
  bench.op.onProcessMessages = [&] {
    if (bench.Heard(kRunUpdate) == 8 && !bench.Session().StopRequested) bench.app->StopClick();
  };
  bench.Program();

  EXPECT_EQ(BoxTexts(bench),
            (std::vector<std::string>{kUpdateQuestion, kManyOutputs, "Abort ?", kTryAgain}));
  EXPECT_EQ(bench.ExitCode(), 4);
  // The request under way gives up at once; no further request and no connect follow.
  EXPECT_LE(bench.Heard(kRunUpdate), 12);
  EXPECT_EQ(bench.Heard(kConnect), 2);
  EXPECT_EQ(VerdictOf(bench, kLoading), (RecordedStatus{kOk, kPlain}));
}

TEST(StarterUpdateTest, AnImageWhoseCheckIsWrongIsNeverWritten) {
  RunBench bench(Bench(FileWith(3), OldStarter()));
  std::vector<std::uint8_t> images(update::BuiltInUpdaterImages().begin(),
                                   update::BuiltInUpdaterImages().end());
  images[update::kUpdaterCheckedSize] ^= 0x01;  // the stored check of image 0
  bench.app->RunContext().UpdaterImages = images;
  bench.StartWithFile();
  bench.Program();

  EXPECT_EQ(bench.op.lines.back().caption, "");
  EXPECT_EQ(bench.op.lines.back().Verdict(), (RecordedStatus{"STARTER ERROR", kBoldRed}));
  EXPECT_FALSE(HasLine(bench, kLoading));
  EXPECT_FALSE(AnyWrite(bench));
  EXPECT_EQ(bench.Heard(kErase52) + bench.Heard(kProgram52), 0);
  EXPECT_TRUE(bench.op.boxes.empty());
  EXPECT_EQ(bench.ExitCode(), 0);
  EXPECT_FALSE(bench.app->RunContext().FlashWritten);
}

struct WriteFaultCase {
  const char* fault;
  RecordedStatus verdict;
  int exitCode;
};

class StarterUpdateWriteFaultTest : public ::testing::TestWithParam<WriteFaultCase> {};

TEST_P(StarterUpdateWriteFaultTest, ALostWriteEndsTheRunBeforeTheRestart) {
  const WriteFaultCase& c = GetParam();
  PresetKeys keys = OldStarter();
  keys.emplace_back("fault.drop_request", c.fault);
  RunBench bench(Bench(FileWith(3), keys));
  bench.StartUnattended();
  EXPECT_EQ(LastCaption(bench), kLoading);
  EXPECT_EQ(VerdictOf(bench, kLoading), c.verdict);
  EXPECT_EQ(bench.ExitCode(), c.exitCode);
  EXPECT_EQ(bench.Heard(kRestart), 0);
  EXPECT_EQ(bench.panel->StarterVersion(), 0x52);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, StarterUpdateWriteFaultTest,
    ::testing::Values(
        // The second sector's erase is never heard: a failed starter request.
        WriteFaultCase{"0x16:2,0x16:3,0x16:4,0x16:5,0x16:6,0x16:7,0x16:8,0x16:9,0x16:10,0x16:11,"
                       "0x16:12,0x16:13",
                       {"ERROR", kBoldRed},
                       3},
        // The copy of the tenth page is never heard.
        WriteFaultCase{"0x18:10,0x18:11,0x18:12,0x18:13,0x18:14,0x18:15,0x18:16,0x18:17,"
                       "0x18:18,0x18:19,0x18:20,0x18:21,0x18:22,0x18:23,0x18:24,0x18:25",
                       {kNoConnection, kBoldRed},
                       3}));

TEST(StarterUpdateTest, AStarterThatCannotBeReachedForTheRestartIsNotReplaced) {
  // The first connect opens the run; every later one is lost, so the panel is never
  // restarted into the updater and its old starter stays.
  PresetKeys keys = OldStarter();
  keys.emplace_back("fault.drop_request", Occurrences(kConnect, 2, 40));
  RunBench bench(Bench(FileWith(3), keys));
  bench.StartWithFile();
  bench.Program();

  EXPECT_EQ(bench.Heard(kRestart), 0);
  EXPECT_EQ(bench.Heard(kRunUpdate), 0);
  EXPECT_EQ(bench.panel->StarterVersion(), 0x52);
  EXPECT_EQ(bench.ExitCode(), 4);
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{kUpdateQuestion, kManyOutputs, kTryAgain}));
  EXPECT_EQ(LastCaption(bench), kLoading);
  // No second identification: the run did not take the old starter for a new one.
  EXPECT_EQ(bench.op.Captions().back(), kLoading);
}

TEST(StarterUpdateTest, AStarterThatStillNeedsReplacingAfterTheUpdateIsNotReplacedAgain) {
  PresetKeys keys = OldStarter();
  keys.emplace_back("rebuilt_starter_version", "0x55");
  RunBench bench(Bench(FileWith(3), keys));
  bench.StartUnattended();

  EXPECT_EQ(bench.ExitCode(), 4);
  EXPECT_EQ(bench.Heard(kRunUpdate), 1);
  EXPECT_EQ(bench.panel->StarterVersion(), 0x55);
  EXPECT_EQ(bench.op.lines.back().Verdict(), (RecordedStatus{"STARTER ERROR", kBoldRed}));
  // Only the updater was written; the program area beyond it was never touched.
  EXPECT_EQ(bench.Heard(kErase52), 2);
}

}  // namespace
}  // namespace korvex::testing
