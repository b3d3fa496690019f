// The start of a run against the simulated panel: connecting to the starter, the
// identification loop, the link token and the starter check.
#include <gtest/gtest.h>

#include "run_test_util.h"

namespace korvex::testing {
namespace {

constexpr const char* kHint = "Run Service mode -> Restarts -> STARTER";
constexpr std::uint64_t kConnectLimitMs = 120000;

// --- Connect ---------------------------------------------------------------------------

class SilentPanelTest : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(SilentPanelTest, GivesUpJustAfterTwoMinutesWhereverTheTickCounterStands) {
  // The panel runs its program and never answers the starter's requests.
  RunBench bench(Bench(FileWith(3), {{"start_in_program", "yes"}}).StartClockAt(GetParam()));
  bench.StartWithFile();
  const std::uint64_t start = bench.clock.NowMs();
  bench.Program();
  const std::uint64_t elapsed = bench.clock.NowMs() - start;

  EXPECT_GT(elapsed, kConnectLimitMs);
  EXPECT_LT(elapsed, kConnectLimitMs + 5000);  // the last connect attempt, not another minute
  EXPECT_EQ(LastCaption(bench), "Connecting");
  EXPECT_EQ(VerdictOf(bench, "Connecting"), (RecordedStatus{kNoConnection, kBoldRed}));
  EXPECT_EQ(bench.ExitCode(), 3);
  // The hint blinks, starting bold, and is wiped before the verdict.
  const RecordedLine& line = *bench.op.Line("Connecting");
  ASSERT_GE(line.statuses.size(), 4u);
  EXPECT_EQ(line.statuses[0], (RecordedStatus{kHint, display::kAttrBold}));
  EXPECT_EQ(line.statuses[1], (RecordedStatus{kHint, display::kAttrBoldGreen}));
  EXPECT_EQ(line.statuses[2], (RecordedStatus{kHint, display::kAttrBold}));
  EXPECT_EQ(line.text.find("STARTER"), std::string::npos);
}

// Ticks that pass the 16-bit and the 32-bit wrap during the two minutes.
INSTANTIATE_TEST_SUITE_P(TickStarts, SilentPanelTest,
                         ::testing::Values(0u, 65000u, 0xFFFF0000u, 0x1FFFFFF00u));

TEST(ConnectTest, EightRefusalsMeanAFlashTheStarterCannotUse) {
  RunBench bench(Bench(FileWith(3), {{"fault.refuse_connect", "8"}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(LastCaption(bench), "Connecting");
  EXPECT_EQ(VerdictOf(bench, "Connecting"), (RecordedStatus{"bad FLASH version", kPlain}));
  EXPECT_EQ(bench.op.Line("Connecting")->text.find("STARTER"), std::string::npos);
  EXPECT_EQ(bench.ExitCode(), 0);
}

TEST(ConnectTest, SevenRefusalsThenAConnection) {
  RunBench bench(Bench(FileWith(3), {{"fault.refuse_connect", "7"}, {"program_version", "123"}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "Connecting"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(bench.ExitCode(), 6);
}

TEST(ConnectTest, StopWhileConnectingEndsQuietlyWithCodeThree) {
  RunBench bench(Bench(FileWith(3), {{"start_in_program", "yes"}}));
  bench.StartWithFile();
  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption == "Connecting" && line.statuses.size() == 3) bench.app->StopClick();
  };
  bench.Program();
  EXPECT_EQ(BoxTexts(bench), std::vector<std::string>{"Abort ?"});
  EXPECT_FALSE(StatusShown(bench, "Connecting", kNoConnection));
  EXPECT_EQ(bench.ExitCode(), 3);
  EXPECT_LT(bench.clock.NowMs(), 20000u);
}

// --- Identification ----------------------------------------------------------------------

struct IdentifyAnswerCase {
  const char* answer;
  const char* verdict;
};

class IdentifyAnswerTest : public ::testing::TestWithParam<IdentifyAnswerCase> {};

TEST_P(IdentifyAnswerTest, AnAnswerWithoutDataEndsTheRun) {
  RunBench bench(Bench(FileWith(3), {{"fault.identify_answer", GetParam().answer}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(LastCaption(bench), "FLASH type");
  EXPECT_EQ(VerdictOf(bench, "FLASH type"), (RecordedStatus{GetParam().verdict, kBoldRed}));
  EXPECT_EQ(bench.ExitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, IdentifyAnswerTest,
                         ::testing::Values(IdentifyAnswerCase{"0x91", "ERROR (ok)"},
                                           IdentifyAnswerCase{"0x93", "ERROR (Error)"},
                                           IdentifyAnswerCase{"0x94", "ERROR (bad command)"},
                                           IdentifyAnswerCase{"0x95", "ERROR (bad answer)"}));

struct IdentityFactCase {
  const char* key;
  const char* value;
  const char* caption;
  const char* verdict;
};

class UnknownIdentityFactTest : public ::testing::TestWithParam<IdentityFactCase> {};

TEST_P(UnknownIdentityFactTest, EndsTheRunWithTheCode) {
  const IdentityFactCase& c = GetParam();
  RunBench bench(Bench(FileWith(3), {{c.key, c.value}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(LastCaption(bench), c.caption);
  EXPECT_EQ(VerdictOf(bench, c.caption), (RecordedStatus{c.verdict, kBoldRed}));
  EXPECT_EQ(bench.ExitCode(), 0);
  EXPECT_FALSE(AnyWrite(bench));
}

INSTANTIATE_TEST_SUITE_P(
    Facts, UnknownIdentityFactTest,
    ::testing::Values(IdentityFactCase{"flash_kind", "12", "FLASH type", "??? (12)"},
                      IdentityFactCase{"flash_kind", "0", "FLASH type", "??? (0)"},
                      IdentityFactCase{"panel_type", "9", "Panel type", "SOLANTA ??? (9)"}));

TEST(IdentifyTest, ShowsTheChipTheModelAndTheStarter) {
  RunBench bench(Bench(FileWith(4), {{"panel_type", "4"},
                                     {"flash_kind", "8"},
                                     {"starter_language", "5"},
                                     {"program_version", "123"}}));
  bench.StartWithFile();
  bench.Test();
  EXPECT_EQ(VerdictOf(bench, "FLASH type").text, "MACRONIX MX29F040C");
  // The model name comes right-aligned in 22 characters.
  EXPECT_EQ(VerdictOf(bench, "Panel type").text, "     SOLANTA Large R-A");
  EXPECT_EQ(VerdictOf(bench, "Starter version"), (RecordedStatus{"6.1 SK", kPlain}));
  // A Test run does not check the starter.
  EXPECT_FALSE(HasLine(bench, "Starter checking"));
}

TEST(IdentifyTest, UnreadableIdentityBlockIsALostConnection) {
  // The first read is the starter's language; the identity block follows the identification.
  RunBench bench(
      Bench(FileWith(3), {{"fault.drop_request", Occurrences(kReadFlash, 2, kFramesPerGiveUp)}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(LastCaption(bench), "Panel type");
  EXPECT_EQ(VerdictOf(bench, "Panel type"), (RecordedStatus{kNoConnection, kBoldRed}));
  EXPECT_EQ(bench.ExitCode(), 3);
}

struct LostIdentifyCase {
  int lostFrames;
  bool waitingShown;
};

class LostIdentifyTest : public ::testing::TestWithParam<LostIdentifyCase> {};

TEST_P(LostIdentifyTest, FailedPassesAreRepeatedAndOnlyASecondOneSaysWaiting) {
  RunBench bench(
      Bench(FileWith(3), {{"fault.drop_request", Occurrences(kIdentify, 1, GetParam().lostFrames)}})
          .HoldingFile());
  bench.StartWithFile();
  bench.Test();
  EXPECT_EQ(StatusShown(bench, "FLASH type", "waiting..."), GetParam().waitingShown);
  EXPECT_EQ(VerdictOf(bench, "Verification"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(bench.ExitCode(), 5);
}

// One identification gives up after four lost frames.
INSTANTIATE_TEST_SUITE_P(Losses, LostIdentifyTest,
                         ::testing::Values(LostIdentifyCase{4, false}, LostIdentifyCase{8, true}));

TEST(IdentifyTest, AnUnrecognisedProgramSpeaksTheStartersLanguage) {
  RunBench bench(Bench(FileWith(3), {{"program", "blank"}, {"starter_language", "4"}}));
  bench.StartWithFile();
  bench.Program();
  const std::string panelText = VerdictOf(bench, "Program in panel").text;
  EXPECT_EQ(panelText.substr(0, 6), "??? DE");
  EXPECT_EQ(panelText.find_first_not_of(' ', 6), std::string::npos);
  EXPECT_EQ(bench.app->RunContext().PanelVersionText, std::string(1, '\xFF'));
  EXPECT_EQ(VerdictOf(bench, "Programs comparison").text, "newer");
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
}

// --- Link token --------------------------------------------------------------------------

TEST(LinkTokenTest, StoredAndConfirmedThreeTimesBeforeTheStarterIsRead) {
  RunBench bench(Bench(FileWith(3)).HoldingFile());
  bench.StartWithFile();
  bench.Program();
  const auto& exchanges = bench.panel->Exchanges();
  int checksBeforeFirstPage = 0;
  for (const auto& e : exchanges) {
    // The first page of the starter area (a page read of the identity comes before).
    if (e.request[0] == kReadFlash && e.request.size() == 5 && e.request[4] == 0 &&
        e.request[3] == 0x07) {
      break;
    }
    if (e.request[0] == kCheckToken) ++checksBeforeFirstPage;
  }
  EXPECT_EQ(bench.Heard(kSetToken), 1);
  // The first check meets the panel's old token four times before it gives up; three more
  // confirm the new one.
  EXPECT_EQ(checksBeforeFirstPage, 4 + 3);
  EXPECT_EQ(bench.panel->Token(), bench.app->Starter().State().LinkToken);
  EXPECT_EQ(bench.panel->Token()[0], bench.app->RunContext().WindowHandleByte);
  EXPECT_TRUE(bench.panel->Violations().empty());
}

TEST(LinkTokenTest, OldStartersHoldNoToken) {
  RunBench bench(Bench(FileWith(3), {{"starter_version", "0x51"}, {"flash_kind", "2"}}));
  bench.StartWithFile();
  bench.Test();
  EXPECT_EQ(bench.Heard(kSetToken) + bench.Heard(kCheckToken), 0);
  EXPECT_EQ(VerdictOf(bench, "Starter version").text, "5.1 EN");
}

TEST(LinkTokenTest, APanelThatNeverConfirmsTheTokenEndsTheRun) {
  RunBench bench(Bench(FileWith(3), {{"fault.drop_request", "0x1F:*"}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(LastCaption(bench), "Starter version");
  EXPECT_EQ(VerdictOf(bench, "Starter version"), (RecordedStatus{kNoConnection, kBoldRed}));
  EXPECT_EQ(bench.ExitCode(), 3);
  EXPECT_FALSE(AnyWrite(bench));
}

// --- Starter check -----------------------------------------------------------------------

struct StarterCase {
  PresetKeys keys;
  bool checkingLine;  // the area is read and summed
  bool updateNeeded;  // the run asks for a new starter
};

class StarterCheckTest : public ::testing::TestWithParam<StarterCase> {};

TEST_P(StarterCheckTest, ReplacesOnlyAStarterThatIsOldOrDamaged) {
  const StarterCase& c = GetParam();
  PresetKeys keys = c.keys;
  keys.emplace_back("program_version", "123");
  RunBench bench(Bench(FileWith(3), keys));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(HasLine(bench, "Starter checking"), c.checkingLine);
  if (c.updateNeeded) {
    // No updater exists for these chips: the run cannot go on.
    EXPECT_EQ(bench.op.lines.back().Verdict(),
              (RecordedStatus{"Starter update not available", kBoldRed}));
    EXPECT_EQ(bench.ExitCode(), 4);
    EXPECT_FALSE(AnyWrite(bench));
  } else {
    EXPECT_EQ(bench.ExitCode(), 6);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Starters, StarterCheckTest,
    ::testing::Values(
        StarterCase{{{"flash_kind", "1"}}, true, false},
        StarterCase{{{"flash_kind", "4"}, {"starter_damage", "sum"}}, true, true},
        StarterCase{{{"flash_kind", "1"}, {"starter_damage", "digits"}}, true, true},
        StarterCase{{{"flash_kind", "4"}, {"starter_version", "0x55"}}, false, true},
        // Chips 2 and 3 are never checked, whatever the starter holds.
        StarterCase{{{"flash_kind", "2"}, {"starter_damage", "sum"}}, false, false},
        StarterCase{{{"flash_kind", "3"}, {"starter_damage", "digits"}}, false, false},
        // Version 0 means an unknown starter, taken for a type 3 panel whatever it reports.
        StarterCase{
            {{"flash_kind", "1"}, {"starter_version", "0"}, {"panel_type", "0"}}, false, true}));

TEST(StarterCheckTest, ReadsTheWholeAreaAndTheStoredSumLast) {
  RunBench bench(Bench(FileWith(3), {{"flash_kind", "5"}}).HoldingFile());
  bench.StartWithFile();
  bench.Program();
  std::vector<std::uint32_t> pages;
  std::vector<std::uint32_t> bytesAfterLastPage;
  for (const auto& e : bench.HeardRequests(kReadFlash)) {
    const std::uint32_t address = e.request[1] | e.request[2] << 8 | e.request[3] << 16;
    if (e.request[4] == 0 && address >= 0x70000) {
      pages.push_back(address);
    } else if (!pages.empty() && pages.back() == 0x7FF00 && bytesAfterLastPage.size() < 6) {
      bytesAfterLastPage.push_back(address);
    }
  }
  ASSERT_EQ(pages.size(), 256u);
  EXPECT_EQ(pages.front(), 0x70000u);
  EXPECT_EQ(bytesAfterLastPage,
            (std::vector<std::uint32_t>{0x71FFF, 0x71FFE, 0x71FFD, 0x71FFC, 0x71FFA, 0x71FFB}));
  EXPECT_EQ(VerdictOf(bench, "Starter checking"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(bench.op.Line("Starter checking")->progress.back(), 100);
}

TEST(StarterCheckTest, ThePanelTypeMustMatchTheFile) {
  RunBench bench(Bench(FileWith(2), {{"panel_type", "3"}, {"flash_kind", "5"}}));
  bench.StartWithFile();
  bench.Program();
  ASSERT_EQ(bench.op.boxes.size(), 1u);
  EXPECT_EQ(bench.op.boxes[0].text, kTypeMismatch);
  EXPECT_EQ(bench.op.boxes[0].kind, shell::MessageKind::kError);
  EXPECT_FALSE(HasLine(bench, "Starter checking"));
  EXPECT_EQ(bench.ExitCode(), 0);
}

struct KeyCase {
  char key;
  bool serviceMode;
  const char* damage;
  bool updateNeeded;
};

class StarterKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(StarterKeyTest, EnterForcesAndEscKeepsTheStarterInServiceMode) {
  const KeyCase& c = GetParam();
  RunBench bench(
      Bench(FileWith(3), {{"flash_kind", "1"}, {"starter_damage", c.damage}}).HoldingFile());
  bench.StartWithFile();
  if (c.serviceMode) bench.EnableServiceMode();
  // Keys before the check are forgotten; the one during the check counts.
  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption == "Starter version" && line.statuses.empty()) bench.app->KeyPress('\r');
    if (line.caption == "Starter checking" && line.progress.size() == 10)
      bench.app->KeyPress(c.key);
  };
  bench.Program();
  const bool stoppedEarly = bench.HeardRequests(kReadFlash).size() < 256;
  EXPECT_EQ(stoppedEarly, c.serviceMode);
  EXPECT_EQ(StatusShown(bench, "Starter checking", "Starter update not available"), c.updateNeeded);
  EXPECT_EQ(bench.ExitCode(), c.updateNeeded ? 4 : 5);
}

INSTANTIATE_TEST_SUITE_P(Keys, StarterKeyTest,
                         ::testing::Values(KeyCase{'\r', true, "none", true},
                                           KeyCase{'\r', false, "none", false},
                                           KeyCase{'\x1b', true, "sum", false},
                                           KeyCase{'\x1b', false, "sum", true}));

}  // namespace
}  // namespace korvex::testing
