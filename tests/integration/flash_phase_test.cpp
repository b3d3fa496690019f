// Erase, programming and verification against the simulated panel: what the panel ends up
// holding, the keypad texts, the error texts, and the ends of the run on lost replies,
// refusals and stops.
#include <gtest/gtest.h>

#include <set>

#include "run_test_util.h"

namespace korvex::testing {
namespace {

std::uint32_t Address24(const sim::ExchangeRecord& e) {
  return e.request[1] | e.request[2] << 8 | e.request[3] << 16;
}

// The full-form page program carries its address in bytes 1 (middle) and 2 (high).
std::uint32_t PageAddress(const sim::ExchangeRecord& e) {
  return static_cast<std::uint32_t>(e.request[1]) << 8 | static_cast<std::uint32_t>(e.request[2])
                                                             << 16;
}

// The distinct percentages of the keypad texts that begin with `caption`, in order.
std::vector<int> KeypadPercents(const RunBench& bench, const std::string& caption) {
  std::vector<int> percents;
  for (const std::string& text : bench.KeypadLine2()) {
    if (text.rfind(caption, 0) != 0) continue;
    EXPECT_EQ(text.size(), 16u) << text;
    const int p = std::stoi(text.substr(12, 3));
    if (percents.empty() || percents.back() != p) percents.push_back(p);
  }
  return percents;
}

std::vector<int> Steps(int step) {
  std::vector<int> steps;
  for (int p = 0; p < 100; p += step) steps.push_back(p);
  steps.push_back(100);
  return steps;
}

TEST(FlashPhaseTest, AProgramRunWritesTheImageAndASecondRunLeavesItAlone) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  bench.StartWithFile();
  bench.Program();
  ASSERT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
  EXPECT_TRUE(bench.panel->Violations().empty());
  for (const char* caption : {"FLASH erasing", "FLASH programming", "Verification"}) {
    EXPECT_EQ(VerdictOf(bench, caption), (RecordedStatus{kOk, kPlain})) << caption;
  }

  // Six sectors, with the identity page programmed between the erases of sectors 1 and 2.
  std::vector<std::string> order;
  for (const auto& e : bench.panel->Exchanges()) {
    if (e.request[0] == kErase) order.push_back("erase " + std::to_string(e.request[1]));
    if (e.request[0] == kProgramPage && PageAddress(e) == 0x12000) order.push_back("early page");
  }
  EXPECT_EQ(order, (std::vector<std::string>{"erase 0", "erase 1", "early page", "erase 2",
                                             "erase 3", "erase 4", "erase 5"}));
  // No erased page is sent.
  const auto& image = bench.Image();
  for (const auto& e : bench.HeardRequests(kProgramPage)) {
    const std::uint32_t a = PageAddress(e);
    if (a == 0x12000) continue;
    EXPECT_FALSE(std::all_of(image.begin() + a, image.begin() + a + 256,
                             [](std::uint8_t b) { return b == 0xFF; }))
        << std::hex << a;
  }
  EXPECT_EQ(bench.op.Line("FLASH programming")->progress.back(), 100);
  EXPECT_EQ(bench.op.Line("Verification")->progress.back(), 100);
  EXPECT_EQ(KeypadPercents(bench, "Erasing     "), Steps(20));
  EXPECT_EQ(KeypadPercents(bench, "Programming "), Steps(6));
  EXPECT_EQ(KeypadPercents(bench, "Verifying   "), Steps(13));

  // The next process finds the panel up to date.
  bench.op.ClearLines();
  bench.op.boxes.clear();
  bench.EnterStarter();
  bench.NewProcess();
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "Programs comparison"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(bench.Heard(kErase), 6);
  EXPECT_EQ(BoxTexts(bench), std::vector<std::string>{"Updating ok."});
  EXPECT_EQ(bench.ExitCode(), 5);
}

TEST(FlashPhaseTest, UnattendedRunsSendNoKeypadProgress) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  bench.StartUnattended();
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
  EXPECT_EQ(bench.KeypadLine2(), std::vector<std::string>{"Express mode    "});
  EXPECT_TRUE(bench.op.boxes.empty());
}

// --- Test runs ---------------------------------------------------------------------------

TEST(TestRunTest, AMatchingPanelPassesAndNothingIsWritten) {
  RunBench bench(Bench(FileWith(3)).HoldingFile());
  bench.StartWithFile();
  bench.Test();
  EXPECT_EQ(VerdictOf(bench, "Verification"), (RecordedStatus{kOk, kPlain}));
  EXPECT_FALSE(AnyWrite(bench));
  EXPECT_FALSE(HasLine(bench, "Restarting panel"));
  EXPECT_EQ(BoxTexts(bench), std::vector<std::string>{"Comparison ok."});
  EXPECT_EQ(bench.ExitCode(), 5);
}

TEST(TestRunTest, ADifferingBlockIsLocatedToTheByte) {
  RunBench bench(Bench(FileWith(3)).HoldingFile());
  bench.panel->MutableFlash()[0x2A345] ^= 0x40;
  bench.StartWithFile();
  bench.Test();
  EXPECT_EQ(VerdictOf(bench, "Verification"), (RecordedStatus{"ERROR @0x2A345", kBoldRed}));
  EXPECT_EQ(bench.KeypadLine2().back(), "Error   @0x2A345");
  // A Test run gives no programming hints.
  EXPECT_EQ(LastCaption(bench), "");
  EXPECT_FALSE(HasLine(bench, "Programming error !!!"));
  EXPECT_TRUE(bench.op.boxes.empty());
  EXPECT_EQ(bench.ExitCode(), 0);
}

// --- Verification after programming ----------------------------------------------------

struct MismatchCase {
  const char* name;
  const char* kind;
  std::uint32_t address;
  bool unattended;
  const char* verdict;
  const char* keypad;
};

class VerificationMismatchTest : public ::testing::TestWithParam<MismatchCase> {};

TEST_P(VerificationMismatchTest, ShowsWhereAndAsksForAnotherTry) {
  const MismatchCase& c = GetParam();
  RunBench bench(Bench(FileWith(3), {{"flash_kind", c.kind}, {"program_version", "123"}}));
  // The panel's memory fails just after programming.
  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption == "Verification" && line.statuses.empty() && line.progress.empty()) {
      bench.panel->MutableFlash()[c.address] ^= 0x04;
    }
  };
  if (c.unattended) {
    bench.StartUnattended();
  } else {
    bench.StartWithFile();
    bench.Program();
  }
  EXPECT_EQ(VerdictOf(bench, "Verification"), (RecordedStatus{c.verdict, kBoldRed}));
  // The keypad shows the place even in an unattended run.
  EXPECT_EQ(bench.KeypadLine2().back(), c.keypad);
  const std::vector<std::string> captions = bench.op.Captions();
  ASSERT_GE(captions.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(captions.end() - 4, captions.end()),
            (std::vector<std::string>{"Verification", "", "Programming error !!!", "Try again."}));
  EXPECT_FALSE(HasLine(bench, "Restarting panel"));
  // The program area was written and is wrong: never "nothing was run".
  EXPECT_EQ(bench.ExitCode(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VerificationMismatchTest,
    ::testing::Values(
        MismatchCase{"interactive", "5", 0x2A345, false, "ERROR @0x2A345", "Error   @0x2A345"},
        MismatchCase{"unattended", "5", 0x00000, true, "ERROR @0x00000", "Error   @0x00000"},
        // Kinds 1 and 4: the pass is good, the panel's mirror of the low area is not.
        MismatchCase{"mirror_kind1", "1", 0x60200, false, "ERROR @0x60200", "Error   @0x60200"},
        MismatchCase{"mirror_kind4", "4", 0x63FFF, true, "ERROR @0x63E00", "Error   @0x63E00"}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(VerificationTest, MirroringChipsFinishTheProgressWithTheUpperArea) {
  RunBench bench(Bench(FileWith(3), {{"flash_kind", "4"}, {"program_version", "123"}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "Verification"), (RecordedStatus{kOk, kPlain}));
  const std::vector<int>& progress = bench.op.Line("Verification")->progress;
  EXPECT_EQ(progress.back(), 100);
  // The block pass ends at 94 %, the 32 mirror pairs fill the rest.
  const auto checks = bench.HeardRequests(kBlockCheck);
  ASSERT_EQ(checks.size(), 768u + 64u);
  EXPECT_EQ(Address24(checks[767]), 0x5FE00u);
  EXPECT_EQ(Address24(checks[768]), 0x00000u);
  EXPECT_EQ(Address24(checks[769]), 0x60000u);
  EXPECT_EQ(KeypadPercents(bench, "Verifying   ").back(), 100);
  EXPECT_EQ(bench.ExitCode(), 6);
}

TEST(VerificationTest, UnreadableBlockWithoutAStopSaysNoConnection) {
  RunBench bench(
      Bench(FileWith(3), {{"program_version", "123"},
                          {"fault.drop_request", Occurrences(kBlockCheck, 10, kFramesPerGiveUp)}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(LastCaption(bench), "Verification");
  EXPECT_EQ(VerdictOf(bench, "Verification"), (RecordedStatus{kNoConnection, kBoldRed}));
  EXPECT_EQ(bench.ExitCode(), 3);
}

TEST(VerificationTest, ABlockThatCannotBeReadBackByteByByteIsAnError) {
  // Count the byte reads before the verification, then lose the ones that locate the byte.
  int readsBefore = 0;
  {
    RunBench probe(Bench(FileWith(3), {{"program_version", "123"}}));
    probe.op.onStatusChange = [&](const RecordedLine& line) {
      if (line.caption == "Verification" && line.progress.empty() && line.statuses.empty()) {
        readsBefore = probe.Heard(kReadFlash);
      }
    };
    probe.StartWithFile();
    probe.Program();
  }
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"},
                                     {"fault.drop_request", Occurrences(kReadFlash, readsBefore + 1,
                                                                        kFramesPerGiveUp)}}));
  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption == "Verification" && line.progress.empty() && line.statuses.empty()) {
      bench.panel->MutableFlash()[0x100] ^= 0x01;
    }
  };
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "Verification"), (RecordedStatus{"ERROR", kBoldRed}));
  EXPECT_EQ(bench.KeypadLine2().back(), "Error           ");
  EXPECT_TRUE(HasLine(bench, "Try again."));
}

// --- Failures while writing --------------------------------------------------------------

struct WriteFailureCase {
  const char* name;
  PresetKeys keys;
  const char* caption;
  RecordedStatus verdict;
  int exitCode;
};

class WriteFailureTest : public ::testing::TestWithParam<WriteFailureCase> {};

TEST_P(WriteFailureTest, EndsTheRunOnTheLineThatFailed) {
  const WriteFailureCase& c = GetParam();
  PresetKeys keys = c.keys;
  keys.emplace_back("program_version", "123");
  RunBench bench(Bench(FileWith(3), keys));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(LastCaption(bench), c.caption);
  EXPECT_EQ(VerdictOf(bench, c.caption), c.verdict);
  EXPECT_EQ(bench.ExitCode(), c.exitCode);
  EXPECT_TRUE(bench.app->RunContext().FlashWritten);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteFailureTest,
    ::testing::Values(
        WriteFailureCase{"erase_no_reply",
                         {{"fault.drop_request", "0x26:*"}},
                         "FLASH erasing",
                         {kNoConnection, kBoldRed},
                         3},
        // The identity page, written right after sector 1, is the first full page program.
        WriteFailureCase{"early_page_no_reply",
                         {{"fault.drop_request", "0x25:*"}},
                         "FLASH erasing",
                         {kNoConnection, kBoldRed},
                         3},
        WriteFailureCase{"program_no_reply",
                         {{"fault.drop_request", Occurrences(kProgramPage, 3, kFramesPerGiveUp)}},
                         "FLASH programming",
                         {kNoConnection, kBoldRed},
                         3}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

// The sequence number of the token check just before the first request that `pick` selects.
template <typename Pick>
std::uint32_t TokenCheckBefore(const RunBench& probe, Pick pick) {
  std::uint32_t check = 0;
  for (const auto& e : probe.panel->Exchanges()) {
    if (pick(e)) return check;
    if (e.request[0] == kCheckToken) check = e.seq;
  }
  return 0;
}

TEST(WriteRefusalTest, APanelThatLostTheTokenIsNotErased) {
  std::uint32_t seq = 0;
  {
    RunBench probe(Bench(FileWith(3), {{"program_version", "123"}}));
    probe.StartWithFile();
    probe.Program();
    seq = TokenCheckBefore(probe,
                           [](const sim::ExchangeRecord& e) { return e.request[0] == kErase; });
  }
  ASSERT_NE(seq, 0u);
  RunBench bench(Bench(FileWith(3),
                       {{"program_version", "123"}, {"fault.lose_token_at", std::to_string(seq)}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "FLASH erasing"), (RecordedStatus{"ERROR", kBoldRed}));
  EXPECT_EQ(bench.Heard(kErase), 0);
  // A refused erase counts as a failed one.
  EXPECT_EQ(bench.ExitCode(), 3);
}

TEST(WriteRefusalTest, APanelThatLosesTheTokenWhileProgrammingIsNotWrittenFurther) {
  std::uint32_t seq = 0;
  {
    RunBench probe(Bench(FileWith(3), {{"program_version", "123"}}));
    probe.StartWithFile();
    probe.Program();
    bool erased = false;
    seq = TokenCheckBefore(probe, [&](const sim::ExchangeRecord& e) {
      if (e.request[0] == kErase && e.request[1] == 5) erased = true;
      // The first page program that follows a periodic check after the erase.
      return erased && e.request[0] == kProgramPage && PageAddress(e) > 0x4000;
    });
  }
  ASSERT_NE(seq, 0u);
  RunBench bench(Bench(FileWith(3),
                       {{"program_version", "123"}, {"fault.lose_token_at", std::to_string(seq)}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(LastCaption(bench), "FLASH programming");
  EXPECT_EQ(VerdictOf(bench, "FLASH programming"), (RecordedStatus{"ERROR", kBoldRed}));
  // The FLASH is erased and half written: a refusal there is no "nothing was run".
  EXPECT_EQ(bench.ExitCode(), 3);
}

// --- Stops -------------------------------------------------------------------------------

// The percentage of the first erased page from 0x20000 on that begins a new percent, so that
// a stop requested when that percentage shows ends the programming loop at its own test.
int PercentOfAnErasedPage(const std::vector<std::uint8_t>& image) {
  int previous = -1;
  for (std::uint32_t a = 0; a < 0x60000; a += 256) {
    if (a == 0x12000) continue;
    const int p = static_cast<int>((a * 100ull + 196608) / 393216);
    const bool erased = std::all_of(image.begin() + a, image.begin() + a + 256,
                                    [](std::uint8_t b) { return b == 0xFF; });
    if (a >= 0x20000 && erased && p != previous) return p;
    previous = p;
  }
  return -1;
}

TEST(StopTest, AStoppedProgrammingPassClaimsNothing) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  bench.StartWithFile();
  const int stopAt = PercentOfAnErasedPage(bench.Image());
  ASSERT_GT(stopAt, 0);
  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption == "FLASH programming" && !line.progress.empty() &&
        line.progress.back() == stopAt && !bench.Session().StopRequested) {
      bench.app->StopClick();
    }
  };
  bench.Program();
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{"Continue ?", "Abort ?"}));
  EXPECT_EQ(LastCaption(bench), "FLASH programming");
  EXPECT_FALSE(StatusShown(bench, "FLASH programming", kOk));
  EXPECT_FALSE(StatusShown(bench, "FLASH programming", kNoConnection));
  EXPECT_FALSE(HasLine(bench, "Verification"));
  EXPECT_EQ(bench.ExitCode(), 3);
}

struct StopCase {
  const char* name;
  const char* caption;
  int afterProgressSteps;
  RecordedStatus lastStatus;
};

class StopWhileWritingTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopWhileWritingTest, EndsQuietlyWithCodeThree) {
  const StopCase& c = GetParam();
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  bench.StartWithFile();
  bench.op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption == c.caption &&
        static_cast<int>(line.progress.size()) == c.afterProgressSteps &&
        !bench.Session().StopRequested) {
      bench.app->StopClick();
    }
  };
  bench.Program();
  EXPECT_EQ(LastCaption(bench), c.caption);
  EXPECT_EQ(bench.op.lines.back().Verdict(), c.lastStatus);
  EXPECT_EQ(bench.ExitCode(), 3);
  EXPECT_FALSE(HasLine(bench, "Restarting panel"));
}

INSTANTIATE_TEST_SUITE_P(Steps, StopWhileWritingTest,
                         ::testing::Values(StopCase{"erase", "FLASH erasing", 2, {}},
                                           StopCase{"programming", "FLASH programming", 30, {}},
                                           // The verification blanks its percentage.
                                           StopCase{
                                               "verification", "Verification", 30, {"", kPlain}}),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

}  // namespace
}  // namespace korvex::testing
