// The checks between identification and writing: the keypad announcement, the two
// description lines, panel type, variant and version range, the programs comparison, the
// older-program question, the starter age and the last confirmation.
#include <gtest/gtest.h>

#include "firmware/identity.h"
#include "run_test_util.h"

namespace korvex::testing {
namespace {

constexpr const char* kOlderQuestion =
    "Selected program is older than panel program.\rProgram anyway ?";

TEST(KeypadAnnouncementTest, NamesTheToolAndTheExpressModeOfUnattendedRuns) {
  for (bool unattended : {false, true}) {
    RunBench bench(Bench(FileWith(3)).HoldingFile());
    if (unattended) {
      bench.StartUnattended();
    } else {
      bench.StartWithFile();
      bench.Program();
    }
    ASSERT_FALSE(bench.panel->KeypadHistory().empty());
    const sim::KeypadText& first = bench.panel->KeypadHistory().front();
    EXPECT_TRUE(first.title);
    EXPECT_EQ(first.line1.value_or("?"), "KORVEX v1.24    ");
    EXPECT_EQ(first.line2.value_or("?"), unattended ? "Express mode    " : std::string(16, ' '));
  }
}

TEST(DescriptionLinesTest, ArePaddedToOneLength) {
  firmware::IdentityFields fields = FieldsForPanelType(3);
  fields.betaNumber = 3;
  RunBench bench(
      Bench(MakeQfw(fields, firmware::StSectionKind::kNone), {{"program_version", "123"}}));
  bench.StartWithFile();
  bench.Test();
  const std::string panel = VerdictOf(bench, "Program in panel").text;
  const std::string file = VerdictOf(bench, "Program in file").text;
  EXPECT_EQ(panel, "SOLANTA Large v1.23 2025-03-12 EN         ");
  EXPECT_EQ(file, "SOLANTA Large v1.24 2025-03-12 BETA 003 EN");
  // A Test run compares nothing here, and this panel does not hold the file's program.
  EXPECT_FALSE(HasLine(bench, "Programs comparison"));
  EXPECT_FALSE(HasLine(bench, "Verification"));
  EXPECT_TRUE(bench.op.boxes.empty());
  EXPECT_EQ(bench.ExitCode(), 0);
}

// --- Refusals ----------------------------------------------------------------------------

struct RefusalCase {
  const char* name;
  std::vector<std::uint8_t> file;
  PresetKeys keys;
  const char* box;
  bool comparisonShown;
};

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, EndsTheRunWithAnErrorBoxAndWritesNothing) {
  const RefusalCase& c = GetParam();
  RunBench bench(Bench(c.file, c.keys));
  bench.StartWithFile();
  bench.Program();
  ASSERT_EQ(bench.op.boxes.size(), 1u);
  EXPECT_EQ(bench.op.boxes[0].text, c.box);
  EXPECT_EQ(bench.op.boxes[0].kind, shell::MessageKind::kError);
  EXPECT_TRUE(bench.op.boxes[0].okOnly);
  EXPECT_EQ(HasLine(bench, "Programs comparison"), c.comparisonShown);
  EXPECT_FALSE(AnyWrite(bench));
  EXPECT_EQ(bench.ExitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalTest,
    ::testing::Values(
        // FLASH kind 2 has no starter check, so the type is caught here.
        RefusalCase{
            "type", FileWith(2), {{"panel_type", "3"}, {"flash_kind", "2"}}, kTypeMismatch, false},
        RefusalCase{"panel_version",
                    FileWith(3),
                    {{"program_version", "125"}},
                    "Program works with  1.00 - 1.24  versions only !",
                    false},
        RefusalCase{"variant",
                    FileWith(3),
                    {{"program_signature", "vrk"}, {"program_version", "123"}},
                    kTypeMismatch,
                    true}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(VariantTest, ThePanelsVariantIsNamedInItsDescription) {
  RunBench bench(Bench(FileWith(3), {{"program_signature", "Krv"}, {"program_version", "123"}}));
  bench.StartWithFile();
  bench.Test();
  EXPECT_EQ(VerdictOf(bench, "Program in panel").text.substr(0, 26), "VAREK SOLANTA Large v1.23 ");
}

// --- Programs comparison -------------------------------------------------------------------

TEST(ComparisonTest, APanelHoldingTheFileIsLeftAlone) {
  RunBench bench(Bench(FileWith(3)).HoldingFile());
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "Programs comparison"), (RecordedStatus{kOk, kPlain}));
  // All 768 blocks compared, from the top down; no question, no erase, no verification.
  const auto checks = bench.HeardRequests(kBlockCheck);
  ASSERT_EQ(checks.size(), 768u);
  EXPECT_EQ(checks.front().request[3], 0x05);
  EXPECT_EQ(checks.front().request[2], 0xFE);
  EXPECT_EQ(bench.op.Line("Programs comparison")->progress.back(), 100);
  EXPECT_FALSE(AnyWrite(bench));
  EXPECT_FALSE(HasLine(bench, "Verification"));
  EXPECT_EQ(BoxTexts(bench), std::vector<std::string>{"Updating ok."});
  EXPECT_EQ(bench.ExitCode(), 5);
}

TEST(ComparisonTest, EqualVersionsWithOneAlteredBlockAreNewerAndWritten) {
  RunBench bench(Bench(FileWith(3)).HoldingFile());
  bench.panel->MutableFlash()[0x2A345] ^= 0x10;
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "Programs comparison").text, "newer");
  // The comparison stops at the first differing block from the top.
  int checksBeforeErase = 0;
  for (const auto& e : bench.panel->Exchanges()) {
    if (e.request[0] == kErase) break;
    if (e.request[0] == kBlockCheck) ++checksBeforeErase;
  }
  EXPECT_EQ(checksBeforeErase, (0x5FE00 - 0x2A200) / 512 + 1);
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{"Continue ?", "Updating ok."}));
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
  EXPECT_EQ(bench.ExitCode(), 6);
}

TEST(ComparisonTest, AnotherLanguageIsNewerWithoutComparingBlocks) {
  RunBench bench(Bench(FileWith(3), {{"program_language", "4"}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "Programs comparison").text, "newer");
  EXPECT_TRUE(bench.op.Line("Programs comparison")->progress.empty());
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{"Continue ?", "Updating ok."}));
  EXPECT_TRUE(bench.PanelProgramEqualsImage());
}

TEST(ComparisonTest, TheOperatorMayStopBeforeTheErase) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  bench.StartWithFile();
  bench.op.answers = {false};
  bench.Program();
  EXPECT_EQ(BoxTexts(bench), std::vector<std::string>{"Continue ?"});
  EXPECT_EQ(bench.op.boxes[0].kind, shell::MessageKind::kConfirmation);
  EXPECT_FALSE(AnyWrite(bench));
  EXPECT_EQ(bench.ExitCode(), 0);
}

struct OlderCase {
  const char* name;
  bool unattended;
  std::deque<bool> answers;
  std::vector<std::string> boxes;
  bool written;
};

class OlderProgramTest : public ::testing::TestWithParam<OlderCase> {};

TEST_P(OlderProgramTest, AsksBeforeAnOlderProgramReplacesANewerOne) {
  const OlderCase& c = GetParam();
  RunBench bench(Bench(FileWith(3, "121"), {{"program_version", "123"}}));
  bench.op.answers = c.answers;
  if (c.unattended) {
    bench.StartUnattended();
  } else {
    bench.StartWithFile();
    bench.Program();
  }
  EXPECT_TRUE(StatusShown(bench, "Programs comparison", "older"));
  EXPECT_EQ(BoxTexts(bench), c.boxes);
  if (!c.boxes.empty()) {
    EXPECT_EQ(bench.op.boxes[0].kind, shell::MessageKind::kWarning);
  }
  EXPECT_EQ(AnyWrite(bench), c.written);
  EXPECT_EQ(bench.PanelProgramEqualsImage(), c.written);
  EXPECT_EQ(bench.ExitCode(), c.written ? 6 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, OlderProgramTest,
                         ::testing::Values(
                             // After Yes the last question is not asked again.
                             OlderCase{
                                 "yes", false, {true}, {kOlderQuestion, "Updating ok."}, true},
                             OlderCase{"no", false, {false}, {kOlderQuestion}, false},
                             OlderCase{"unattended", true, {}, {}, true}),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

struct MirrorCase {
  const char* kind;
  bool breakMirror;
  const char* verdict;
};

class MirroredComparisonTest : public ::testing::TestWithParam<MirrorCase> {};

TEST_P(MirroredComparisonTest, ChipsThatMirrorTheLowAreaHaveItComparedToo) {
  const MirrorCase& c = GetParam();
  RunBench bench(Bench(FileWith(3), {{"flash_kind", c.kind}}).HoldingFile());
  if (c.breakMirror) bench.panel->MutableFlash()[0x60200] ^= 0x01;
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "Programs comparison").text, c.verdict);
  // The block comparison fills 94 % of the progress, the mirror pairs the rest.
  const std::vector<int>& progress = bench.op.Line("Programs comparison")->progress;
  EXPECT_NE(std::find(progress.begin(), progress.end(), 94), progress.end());
  EXPECT_EQ(progress.back(), c.breakMirror ? 94 : 100);
  EXPECT_EQ(bench.ExitCode(), c.breakMirror ? 6 : 5);
}

INSTANTIATE_TEST_SUITE_P(Kinds, MirroredComparisonTest,
                         ::testing::Values(MirrorCase{"1", false, kOk}, MirrorCase{"4", false, kOk},
                                           MirrorCase{"1", true, "newer"},
                                           MirrorCase{"4", true, "newer"}));

// --- After the comparison ------------------------------------------------------------------

TEST(StarterAgeTest, AStarterBelowSixOneCannotProgram) {
  RunBench bench(Bench(
      FileWith(3), {{"starter_version", "0x60"}, {"flash_kind", "2"}, {"program_version", "123"}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "Programs comparison").text, "newer");
  EXPECT_EQ(LastCaption(bench), "");
  EXPECT_EQ(bench.op.lines.back().Verdict(),
            (RecordedStatus{"Starter version < 6.1 !!!", kBoldRed}));
  EXPECT_EQ(bench.ExitCode(), 4);
  EXPECT_FALSE(AnyWrite(bench));
}

TEST(StarterAgeTest, AnUpToDatePanelNeedsNoWriting) {
  RunBench bench(
      Bench(FileWith(3), {{"starter_version", "0x60"}, {"flash_kind", "3"}}).HoldingFile());
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "Programs comparison").text, kOk);
  EXPECT_EQ(bench.ExitCode(), 5);
}

TEST(StOnlyTest, SkipsTheComparisonAndTheMainFlash) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  bench.StartUnattended({"FSK=0xONLY"});
  EXPECT_FALSE(HasLine(bench, "Starter checking"));
  EXPECT_FALSE(HasLine(bench, "Programs comparison"));
  EXPECT_FALSE(HasLine(bench, "Verification"));
  EXPECT_FALSE(AnyWrite(bench));
  EXPECT_EQ(VerdictOf(bench, "Restarting panel").text, kOk);
  EXPECT_EQ(bench.ExitCode(), 5);
}

}  // namespace
}  // namespace korvex::testing
