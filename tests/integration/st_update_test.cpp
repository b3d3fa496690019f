// The ST program phase against the simulated panel, for each ST kind: the version lines, the
// panel's FSK bytes carried into the new program, the comparison, the question, the update
// with its option loop, and the ends of the run on a failed verification, a silent ST and a
// stop. The panel always holds the file's main program here, so that a run goes straight from
// the comparison of the main program to the ST.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "firmware/st_section.h"
#include "run_test_util.h"
#include "sim/program_image.h"
#include "sim/st_controller.h"

namespace korvex::testing {
namespace {

using firmware::StSectionKind;

constexpr std::uint8_t kStPassThrough = 0x90;
constexpr std::uint8_t kStEraseCmd = 0x12;
constexpr std::uint8_t kStProgramCmd = 0x14;
constexpr std::uint8_t kStBlockCheckCmd = 0x15;
constexpr std::uint8_t kStReadCmd = 0x19;
constexpr std::uint8_t kStProtectCmd = 0x1C;
constexpr std::uint8_t kStReadOptionsCmd = 0x1D;
constexpr std::uint32_t kBlock = 128;
constexpr const char* kUpdateQuestion = "Update ST program ?";
constexpr const char* kStarterVersionText = "1.03 2018-06-15";  // the simulator's default

const sim::StVersionBytes kVersion100 = {0x01, 0x00, 0x20, 0x20, 0x01, 0x15};
const sim::StVersionBytes kVersion105 = {0x01, 0x05, 0x20, 0x21, 0x06, 0x30};
constexpr const char* kVersion100Text = "1.00 2020-01-15";
constexpr const char* kVersion105Text = "1.05 2021-06-30";

// The file's FSK bytes; the panel's own are different unless a test says otherwise.
constexpr std::uint8_t kFileFskPlus = 0x05;
constexpr std::uint8_t kFileFskMinus = 0x22;
constexpr std::uint8_t kPanelFskPlus = 0x07;
constexpr std::uint8_t kPanelFskMinus = 0x2A;

const std::vector<std::uint8_t> kOptionsB = {0x03, 0xFC, 0x00, 0xFF, 0x0D, 0xF2, 0x01,
                                             0xFE, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF};
const std::vector<std::uint8_t> kOptionsC = {0x14, 0x09, 0x0F, 0x09, 0x00, 0x00};

struct KindCase {
  int panelType;
  StSectionKind kind;
};

std::string KindName(const ::testing::TestParamInfo<KindCase>& info) {
  return std::string("Kind") + firmware::StKindName(info.param.kind);
}

sim::StKindInfo Info(StSectionKind kind) {
  return *sim::StKindInfoFor(kind);
}

// An ST program of a kind: code with a few erased blocks, the version record, the FSK bytes
// of kinds A and B and a right ST checksum.
std::vector<std::uint8_t> StProgram(StSectionKind kind, const sim::StVersionBytes& version,
                                    std::uint8_t fskPlus = kFileFskPlus,
                                    std::uint8_t fskMinus = kFileFskMinus) {
  return sim::MakeStProgram(kind, version, fskPlus, fskMinus, 3);
}

// The same program with other FSK bytes and the checksum that goes with them: what the panel
// must hold after it received the file's program.
std::vector<std::uint8_t> WithFsk(std::vector<std::uint8_t> st, StSectionKind kind,
                                  std::uint8_t plus, std::uint8_t minus) {
  const auto offset = Info(kind).fskOffset;
  if (!offset) return st;
  st[*offset] = plus;
  st[*offset + 1] = minus;
  const auto layout = *firmware::StLayoutFor(kind);
  const std::uint16_t sum = firmware::StChecksum(st, layout);
  st[layout.checksumOffset] = static_cast<std::uint8_t>(sum);
  st[layout.checksumOffset + 1] = static_cast<std::uint8_t>(sum >> 8);
  return st;
}

std::vector<std::uint8_t> FileWithSt(int panelType, const std::vector<std::uint8_t>& st) {
  firmware::QfwInput input;
  input.program = MakeProgram(FieldsForPanelType(panelType));
  input.stProgram = st;
  firmware::QfwOutput out = firmware::BuildQfw(input);
  EXPECT_EQ(out.error, "");
  return std::move(out.bytes);
}

// A panel of the case's type that holds the file's main program; its ST holds `panelSt`.
std::unique_ptr<RunBench> StBench(const KindCase& c, const std::vector<std::uint8_t>& fileSt,
                                  const std::vector<std::uint8_t>& panelSt, PresetKeys keys = {}) {
  TempDir dir;
  BenchSetup setup = Bench(FileWithSt(c.panelType, fileSt)).HoldingFile();
  setup.Key("panel_type", std::to_string(c.panelType));
  setup.Key("st_program", "raw:" + dir.Write("st.bin", panelSt));
  for (auto& [key, value] : keys) setup.Key(key, value);
  return std::make_unique<RunBench>(std::move(setup));
}

// The ST commands the panel passed on whose first byte is `command`.
std::vector<std::vector<std::uint8_t>> StCommands(const RunBench& bench, std::uint8_t command) {
  std::vector<std::vector<std::uint8_t>> out;
  for (const sim::ExchangeRecord& e : bench.HeardRequests(kStPassThrough)) {
    if (e.request.size() > 4 && e.request[4] == command) {
      out.emplace_back(e.request.begin() + 4, e.request.end());
    }
  }
  return out;
}

// The captions from the line "ST program in file" on.
std::vector<std::string> StCaptions(const RunBench& bench) {
  const std::vector<std::string> all = bench.op.Captions();
  const auto from = std::find(all.begin(), all.end(), "ST program in file");
  return {from, all.end()};
}

// The ST program's first `count` bytes (the range the update handles) equal `expected`'s.
::testing::AssertionResult StMemoryHolds(const RunBench& bench,
                                         const std::vector<std::uint8_t>& expected,
                                         StSectionKind kind) {
  const std::vector<std::uint8_t>& memory = bench.panel->St().memory;
  const std::uint32_t count = Info(kind).count;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (memory[i] != expected[i]) {
      return ::testing::AssertionFailure()
             << "ST memory differs at offset 0x" << std::hex << i << ": 0x" << int{memory[i]}
             << " instead of 0x" << int{expected[i]};
    }
  }
  return ::testing::AssertionSuccess();
}

std::vector<std::uint8_t> ChangedBlock(std::vector<std::uint8_t> st, std::uint32_t offset) {
  st[offset] = static_cast<std::uint8_t>(st[offset] ^ 0x5A);
  return st;
}

// The first block of the code that is not erased throughout, after `from`.
std::uint32_t CodeBlockAfter(const std::vector<std::uint8_t>& st, StSectionKind kind,
                             std::uint32_t from) {
  const std::uint8_t erased = Info(kind).erased;
  for (std::uint32_t b = from; b < Info(kind).count; b += kBlock) {
    if (std::any_of(st.begin() + b, st.begin() + b + kBlock,
                    [&](std::uint8_t x) { return x != erased; })) {
      return b;
    }
  }
  ADD_FAILURE() << "no code block";
  return 0;
}

const KindCase kAllKinds[] = {
    {4, StSectionKind::kA}, {5, StSectionKind::kB}, {6, StSectionKind::kC}};
const KindCase kFskKinds[] = {{4, StSectionKind::kA}, {5, StSectionKind::kB}};
const KindCase kOptionKinds[] = {{5, StSectionKind::kB}, {8, StSectionKind::kC}};

// --- Every kind ------------------------------------------------------------------------------

class StKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(StKindTest, TheSameProgramWithThePanelsOwnFskBytesIsLeftAlone) {
  const KindCase c = GetParam();
  const auto fileSt = StProgram(c.kind, kVersion100);
  // The panel's program differs from the file's only by its FSK bytes and its checksum.
  const auto panelSt = WithFsk(fileSt, c.kind, kPanelFskPlus, kPanelFskMinus);
  auto bench = StBench(c, fileSt, panelSt);
  bench->StartWithFile();
  bench->Program();

  EXPECT_EQ(bench->ExitCode(), 5);
  EXPECT_EQ(VerdictOf(*bench, "ST starter version"), (RecordedStatus{kStarterVersionText, kPlain}));
  EXPECT_EQ(VerdictOf(*bench, "ST program"), (RecordedStatus{kVersion100Text, kPlain}));
  EXPECT_EQ(VerdictOf(*bench, "ST program in file"), (RecordedStatus{kVersion100Text, kPlain}));
  EXPECT_EQ(
      StCaptions(*bench),
      (std::vector<std::string>{"ST program in file", "Programs comparison", "Restarting panel"}));
  EXPECT_EQ(VerdictOf(*bench, "Programs comparison"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(bench->op.Line("Programs comparison")->progress.back(), 100);
  // Every block was compared; nothing was written.
  EXPECT_EQ(StCommands(*bench, kStBlockCheckCmd).size(), Info(c.kind).count / kBlock);
  EXPECT_TRUE(StCommands(*bench, kStEraseCmd).empty());
  EXPECT_EQ(bench->panel->St().memory, panelSt);
  EXPECT_EQ(BoxTexts(*bench), (std::vector<std::string>{"Updating ok."}));
  // The FSK bytes were read from the panel exactly when the kind has them, twice: they go
  // into the program that is written.
  EXPECT_EQ(StCommands(*bench, kStReadCmd).size(), Info(c.kind).fskOffset ? 2u : 0u);
}

TEST_P(StKindTest, ADifferingBlockIsWrittenWithThePanelsFskBytesAfterTheQuestion) {
  const KindCase c = GetParam();
  const auto fileSt = StProgram(c.kind, kVersion100);
  const std::uint32_t changed = CodeBlockAfter(fileSt, c.kind, 40 * kBlock);
  const auto panelSt =
      ChangedBlock(WithFsk(fileSt, c.kind, kPanelFskPlus, kPanelFskMinus), changed);
  auto bench = StBench(c, fileSt, panelSt);
  bench->StartWithFile();
  bench->Program();

  ASSERT_EQ(bench->ExitCode(), 6);
  EXPECT_EQ(BoxTexts(*bench), (std::vector<std::string>{kUpdateQuestion, "Updating ok."}));
  EXPECT_EQ(VerdictOf(*bench, "Programs comparison"), (RecordedStatus{"newer", kPlain}));
  // The comparison stopped at the changed block.
  EXPECT_EQ(StCommands(*bench, kStBlockCheckCmd).size() - Info(c.kind).count / kBlock,
            changed / kBlock + 1);
  const std::vector<std::string> writing =
      c.kind == StSectionKind::kA
          ? std::vector<std::string>{"ST erasing", "ST blank checking", "ST programming",
                                     "ST verification", "Restarting panel"}
          // The simulator's ST starts with options 0x00, unprotected: "protected" and
          // "written" each end a line.
          : std::vector<std::string>{"ST options",
                                     "",
                                     "",
                                     "ST erasing",
                                     "ST blank checking",
                                     "ST programming",
                                     "ST verification",
                                     "Restarting panel"};
  std::vector<std::string> expected{"ST program in file", "Programs comparison"};
  expected.insert(expected.end(), writing.begin(), writing.end());
  EXPECT_EQ(StCaptions(*bench), expected);
  for (const char* caption :
       {"ST erasing", "ST blank checking", "ST programming", "ST verification"}) {
    EXPECT_EQ(VerdictOf(*bench, caption), (RecordedStatus{kOk, kPlain})) << caption;
  }
  EXPECT_EQ(bench->op.Line("ST programming")->progress.back(), 100);
  EXPECT_EQ(bench->op.Line("ST verification")->progress.back(), 100);

  const auto expectedSt = WithFsk(fileSt, c.kind, kPanelFskPlus, kPanelFskMinus);
  EXPECT_TRUE(StMemoryHolds(*bench, expectedSt, c.kind));
  // Kind A's last 4 KB are not the program's to change.
  EXPECT_TRUE(std::equal(panelSt.begin() + Info(c.kind).count, panelSt.end(),
                         bench->panel->St().memory.begin() + Info(c.kind).count));
  EXPECT_TRUE(bench->panel->Violations().empty());

  // Erased blocks are not sent, but every block is verified.
  const sim::StKindInfo info = Info(c.kind);
  std::uint32_t codeBlocks = 0;
  for (std::uint32_t b = 0; b < info.count; b += kBlock) {
    codeBlocks += std::any_of(expectedSt.begin() + b, expectedSt.begin() + b + kBlock,
                              [&](std::uint8_t x) { return x != info.erased; });
  }
  EXPECT_LT(codeBlocks, info.count / kBlock);
  EXPECT_EQ(StCommands(*bench, kStProgramCmd).size(), codeBlocks);
  EXPECT_EQ(StCommands(*bench, kStBlockCheckCmd).size(),
            changed / kBlock + 1 + info.count / kBlock);
}

TEST_P(StKindTest, AnOlderFileIsWrittenInAProgramRunAndOnlyShownInATestRun) {
  const KindCase c = GetParam();
  const auto fileSt = StProgram(c.kind, kVersion100);
  const auto panelSt = StProgram(c.kind, kVersion105, kPanelFskPlus, kPanelFskMinus);

  auto test = StBench(c, fileSt, panelSt);
  test->StartWithFile();
  test->Test();
  EXPECT_EQ(VerdictOf(*test, "ST program"), (RecordedStatus{kVersion105Text, kPlain}));
  EXPECT_EQ(StCaptions(*test), (std::vector<std::string>{"ST program in file"}));
  EXPECT_TRUE(test->op.boxes.empty());
  EXPECT_EQ(test->ExitCode(), 0);
  EXPECT_TRUE(StCommands(*test, kStBlockCheckCmd).empty());
  EXPECT_EQ(test->panel->St().memory, panelSt);

  // A Program run writes it without comparing contents (the main program being up to date,
  // the operator is asked first).
  auto program = StBench(c, fileSt, panelSt);
  program->StartWithFile();
  program->Program();
  EXPECT_EQ(program->ExitCode(), 6);
  EXPECT_EQ(BoxTexts(*program), (std::vector<std::string>{kUpdateQuestion, "Updating ok."}));
  EXPECT_EQ(StCommands(*program, kStBlockCheckCmd).size(), Info(c.kind).count / kBlock)
      << "only the verification reads block checks";
  EXPECT_TRUE(
      StMemoryHolds(*program, WithFsk(fileSt, c.kind, kPanelFskPlus, kPanelFskMinus), c.kind));
}

TEST_P(StKindTest, AVersionWithNibblesAboveNineIsTakenAsOlderAndWrittenWithoutComparing) {
  const KindCase c = GetParam();
  const auto fileSt = StProgram(c.kind, kVersion100);
  // The same program, but the ST reports its minor version as 0x0A.
  auto bench =
      StBench(c, fileSt, fileSt, {{"st_reported_version", "0x01 0x0A 0x20 0x20 0x01 0x15"}});
  bench->StartUnattended();
  EXPECT_EQ(VerdictOf(*bench, "ST program"), (RecordedStatus{"1.0: 2020-01-15", kPlain}));
  EXPECT_EQ(bench->ExitCode(), 6);
  EXPECT_EQ(StCommands(*bench, kStBlockCheckCmd).size(), Info(c.kind).count / kBlock)
      << "only the verification reads block checks";
  EXPECT_EQ(StCommands(*bench, kStEraseCmd).size(), 1u);
  EXPECT_EQ(VerdictOf(*bench, "ST verification"), (RecordedStatus{kOk, kPlain}));
}

TEST_P(StKindTest, ACellThatLosesItsValueFailsTheVerificationWithFour) {
  const KindCase c = GetParam();
  const auto fileSt = StProgram(c.kind, kVersion105);
  const auto panelSt = StProgram(c.kind, kVersion100);
  const std::uint32_t weak = CodeBlockAfter(fileSt, c.kind, 10 * kBlock) + 5;
  // The cell must hold a programmed value for its loss to show.
  auto expected = WithFsk(fileSt, c.kind, kFileFskPlus, kFileFskMinus);
  ASSERT_NE(expected[weak], Info(c.kind).erased);
  char address[16];
  std::snprintf(address, sizeof address, "0x%X", Info(c.kind).start + weak);
  auto bench = StBench(c, fileSt, panelSt, {{"st_weak_cell", address}});
  bench->StartUnattended();

  EXPECT_EQ(bench->ExitCode(), 4);
  EXPECT_EQ(VerdictOf(*bench, "ST programming"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(VerdictOf(*bench, "ST verification"), (RecordedStatus{"ERROR", kBoldRed}));
  EXPECT_EQ(LastCaption(*bench), "ST verification");
  EXPECT_EQ(bench->Heard(kRestart), 0);
  // The verification stopped at the weak cell's block.
  EXPECT_EQ(StCommands(*bench, kStBlockCheckCmd).size(), weak / kBlock + 1);
}

TEST_P(StKindTest, AStopDuringProgrammingEndsTheRunWithoutAVerdict) {
  const KindCase c = GetParam();
  auto bench = StBench(c, StProgram(c.kind, kVersion105), StProgram(c.kind, kVersion100));
  bool stopped = false;
  bench->op.onStatusChange = [&](const RecordedLine& line) {
    if (!stopped && line.caption == "ST programming" && !line.progress.empty() &&
        line.progress.back() >= 30) {
      stopped = true;
      bench->app->StopClick();
    }
  };
  bench->StartUnattended();

  EXPECT_EQ(bench->ExitCode(), 3);
  EXPECT_EQ(LastCaption(*bench), "ST programming");
  EXPECT_TRUE(bench->op.Line("ST programming")->statuses.empty());
  EXPECT_EQ(BoxTexts(*bench), (std::vector<std::string>{"Abort ?"}));
  EXPECT_EQ(bench->Heard(kRestart), 0);
  const std::size_t programmed = StCommands(*bench, kStProgramCmd).size();
  EXPECT_GT(programmed, 0u);
  EXPECT_LT(programmed, Info(c.kind).count / kBlock / 2);
}

TEST_P(StKindTest, AnStThatDoesNotAnswerEndsTheRunWithError) {
  const KindCase c = GetParam();
  const auto st = StProgram(c.kind, kVersion100);
  // Every reply to a pass-through request is lost.
  auto bench = StBench(c, st, st, {{"fault.drop_reply", "0x90:*"}});
  bench->StartUnattended();
  EXPECT_EQ(VerdictOf(*bench, "ST starter version"), (RecordedStatus{"ERROR", kBoldRed}));
  EXPECT_EQ(LastCaption(*bench), "ST starter version");
  EXPECT_EQ(bench->ExitCode(), 3);
  EXPECT_EQ(bench->Heard(kRestart), 0);
}

TEST_P(StKindTest, AWrongAnswerAsksWhetherToCancelAndYesStopsTheRun) {
  const KindCase c = GetParam();
  const auto st = StProgram(c.kind, kVersion100);
  // No ST behind the starter: it answers the pass-through with an error code.
  auto bench = StBench(c, st, st, {{"st_kind", "none"}});
  bench->StartUnattended();
  ASSERT_EQ(bench->op.boxes.size(), 1u);
  EXPECT_EQ(bench->op.boxes[0].text.substr(0, 9), "cmd = 0x1");
  EXPECT_EQ(LastCaption(*bench), "ST starter version");
  EXPECT_TRUE(bench->op.Line("ST starter version")->statuses.empty());
  EXPECT_EQ(bench->ExitCode(), 3);
}

INSTANTIATE_TEST_SUITE_P(Kinds, StKindTest, ::testing::ValuesIn(kAllKinds), KindName);

// --- The FSK bytes (kinds A and B) -----------------------------------------------------------

class StFskTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(StFskTest, BytesGivenOnTheCommandLineReplaceThePanelsWithoutReadingThem) {
  const KindCase c = GetParam();
  const auto fileSt = StProgram(c.kind, kVersion100);
  const auto panelSt = WithFsk(fileSt, c.kind, kPanelFskPlus, kPanelFskMinus);
  auto bench = StBench(c, fileSt, panelSt);
  bench->StartUnattended({"FSK=0x3f0a"});
  EXPECT_EQ(bench->ExitCode(), 6);
  EXPECT_TRUE(StCommands(*bench, kStReadCmd).empty());
  EXPECT_TRUE(StMemoryHolds(*bench, WithFsk(fileSt, c.kind, 0x3F, 0x0A), c.kind));
}

TEST_P(StFskTest, BytesAboveTheLimitAreReplacedByTheDefaults) {
  const KindCase c = GetParam();
  const auto fileSt = StProgram(c.kind, kVersion105);
  auto bench = StBench(c, fileSt, StProgram(c.kind, kVersion100, 0x45, 0x10));
  bench->StartUnattended();
  EXPECT_EQ(bench->ExitCode(), 6);
  const auto read = StCommands(*bench, kStReadCmd);
  ASSERT_EQ(read.size(), 2u);  // read and confirmed
  EXPECT_EQ(read[1], read[0]);
  EXPECT_EQ(read[0], c.kind == StSectionKind::kA
                         ? (std::vector<std::uint8_t>{0x19, 0x80, 0xEF})
                         : (std::vector<std::uint8_t>{0x19, 0x02, 0x7F, 0xA0}));
  EXPECT_TRUE(StMemoryHolds(*bench, WithFsk(fileSt, c.kind, 0x01, 0x28), c.kind));
  EXPECT_FALSE(HasLine(*bench, "+FSK = 0x01")) << "shown in service test mode only";
}

TEST_P(StFskTest, ServiceTestModeShowsTheBytes) {
  const KindCase c = GetParam();
  const auto fileSt = StProgram(c.kind, kVersion100);
  auto bench = StBench(c, fileSt, WithFsk(fileSt, c.kind, kPanelFskPlus, kPanelFskMinus));
  bench->EnableServiceMode();
  bench->StartUnattended();
  EXPECT_EQ(bench->ExitCode(), 5);
  EXPECT_EQ(StCaptions(*bench),
            (std::vector<std::string>{"ST program in file", "+FSK = 0x07", "-FSK = 0x2A",
                                      "Programs comparison", "Restarting panel"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, StFskTest, ::testing::ValuesIn(kFskKinds), KindName);

// --- The option loop (kinds B and C) ---------------------------------------------------------

class StOptionsTest : public ::testing::TestWithParam<KindCase> {};

const std::vector<std::uint8_t>& ExpectedOptions(StSectionKind kind) {
  return kind == StSectionKind::kB ? kOptionsB : kOptionsC;
}

TEST_P(StOptionsTest, WrongOptionsAreProtectedAndWrittenThenReadBackRight) {
  const KindCase c = GetParam();
  auto bench = StBench(c, StProgram(c.kind, kVersion105), StProgram(c.kind, kVersion100),
                       {{"st_options", "0x01 0x02"}, {"st_protection", "0x00"}});
  bench->StartUnattended();
  EXPECT_EQ(bench->ExitCode(), 6);
  EXPECT_EQ(bench->panel->St().options, ExpectedOptions(c.kind));
  EXPECT_EQ(bench->panel->St().protection, 0xAA);
  EXPECT_EQ(StCommands(*bench, kStReadOptionsCmd).size(), 2u);
  // "protected" and "written" each end a line; the loop's verdict goes on the next one.
  const auto& lines = bench->op.lines;
  const auto options = std::find_if(
      lines.begin(), lines.end(), [](const RecordedLine& l) { return l.caption == "ST options"; });
  ASSERT_NE(options, lines.end());
  ASSERT_GE(lines.end() - options, 4);
  EXPECT_EQ(options[0].Verdict(), (RecordedStatus{"protected", kPlain}));
  EXPECT_EQ(options[1].caption, "");
  EXPECT_EQ(options[1].Verdict(), (RecordedStatus{"written", kPlain}));
  EXPECT_EQ(options[2].caption, "");
  EXPECT_EQ(options[2].Verdict(), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(options[3].caption, "ST erasing");
  EXPECT_TRUE(bench->panel->Violations().empty());
}

TEST_P(StOptionsTest, RightOptionsPassAfterOneRead) {
  const KindCase c = GetParam();
  std::string options;
  for (std::uint8_t b : ExpectedOptions(c.kind)) options += std::to_string(b) + " ";
  auto bench = StBench(c, StProgram(c.kind, kVersion105), StProgram(c.kind, kVersion100),
                       {{"st_options", options}, {"st_protection", "0xAA"}});
  bench->StartUnattended();
  EXPECT_EQ(bench->ExitCode(), 6);
  EXPECT_EQ(StCommands(*bench, kStReadOptionsCmd).size(), 1u);
  EXPECT_TRUE(StCommands(*bench, kStProtectCmd).empty());
  EXPECT_EQ(bench->op.Line("ST options")->statuses, (std::vector<RecordedStatus>{{kOk, kPlain}}));
}

TEST_P(StOptionsTest, OptionsThatNeverReadBackRightEndTheRunWithFourBeforeTheErase) {
  const KindCase c = GetParam();
  auto bench = StBench(c, StProgram(c.kind, kVersion105), StProgram(c.kind, kVersion100),
                       {{"st_options_locked", "yes"}});
  bench->StartUnattended();
  EXPECT_EQ(bench->ExitCode(), 4);
  EXPECT_EQ(bench->op.lines.back().Verdict(), (RecordedStatus{"ERROR", kBoldRed}));
  EXPECT_FALSE(HasLine(*bench, "ST erasing"));
  EXPECT_TRUE(StCommands(*bench, kStEraseCmd).empty());
  EXPECT_EQ(StCommands(*bench, kStReadOptionsCmd).size(), 4u);
  EXPECT_EQ(bench->Heard(kRestart), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, StOptionsTest, ::testing::ValuesIn(kOptionKinds), KindName);

// --- Decisions and keys ----------------------------------------------------------------------

const KindCase kKindB{5, StSectionKind::kB};

TEST(StDecisionTest, NoToTheQuestionLeavesTheProgramAndCompletesTheRun) {
  const auto fileSt = StProgram(kKindB.kind, kVersion100);
  auto bench =
      StBench(kKindB, fileSt, ChangedBlock(fileSt, CodeBlockAfter(fileSt, kKindB.kind, 0)));
  bench->StartWithFile();
  bench->op.answers = {false};
  bench->Program();
  EXPECT_EQ(BoxTexts(*bench), (std::vector<std::string>{kUpdateQuestion, "Updating ok."}));
  EXPECT_EQ(bench->ExitCode(), 5);
  EXPECT_TRUE(StCommands(*bench, kStEraseCmd).empty());
}

TEST(StDecisionTest, AfterTheMainProgramWasWrittenTheStIsWrittenWithoutAQuestion) {
  // The panel holds an older main program, and the simulator's sample ST program of the
  // same version as the file's but with other contents.
  RunBench bench(Bench(FileWithSt(5, StProgram(kKindB.kind, kVersion100)))
                     .Key("panel_type", "5")
                     .Key("program_version", "109"));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{"Continue ?", "Updating ok."}));
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_EQ(VerdictOf(bench, "Programs comparison"), (RecordedStatus{"newer", kPlain}));
  EXPECT_EQ(VerdictOf(bench, "ST verification"), (RecordedStatus{kOk, kPlain}));
}

TEST(StDecisionTest, OnlyAndSkipFromTheCommandLine) {
  const auto fileSt = StProgram(kKindB.kind, kVersion105);
  const auto panelSt = StProgram(kKindB.kind, kVersion100);
  // ONLY: the main program (older in this panel) is left; the ST is written.
  RunBench only(Bench(FileWithSt(5, fileSt)).Key("panel_type", "5").Key("program_version", "109"));
  only.StartUnattended({"FSK=0xONLY"});
  EXPECT_EQ(only.ExitCode(), 6);
  EXPECT_FALSE(AnyWrite(only));
  EXPECT_EQ(VerdictOf(only, "ST verification"), (RecordedStatus{kOk, kPlain}));

  // SKIP: the three version lines, then nothing more of the ST.
  auto skip = StBench(kKindB, fileSt, panelSt);
  skip->StartUnattended({"FSK=0xSKIP"});
  EXPECT_EQ(skip->ExitCode(), 5);
  EXPECT_EQ(StCaptions(*skip),
            (std::vector<std::string>{"ST program in file", "Restarting panel"}));
  EXPECT_TRUE(StCommands(*skip, kStReadCmd).empty());
  EXPECT_EQ(skip->panel->St().memory, panelSt);
}

TEST(StDecisionTest, AnStOfAnotherKindThanTheFilesIsNotTouched) {
  // The starter reports type 4 (ST kind A) while the panel's program, like the file, is for
  // type 5 (kind B): a Test run gets past the descriptions, but the ST is not addressed in
  // the wrong kind's form.
  RunBench bench(Bench(FileWithSt(5, StProgram(kKindB.kind, kVersion100)))
                     .HoldingFile()
                     .Key("panel_type", "4"));
  bench.StartWithFile();
  bench.Test();
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{kTypeMismatch}));
  EXPECT_EQ(bench.Heard(kStPassThrough), 0);
  EXPECT_FALSE(HasLine(bench, "ST starter version"));
}

TEST(StDecisionTest, APanelWithoutStShowsNoStLines) {
  RunBench bench(Bench(FileWith(3)).HoldingFile());
  bench.StartUnattended();
  EXPECT_EQ(bench.ExitCode(), 5);
  EXPECT_FALSE(HasLine(bench, "ST starter version"));
  EXPECT_EQ(bench.Heard(kStPassThrough), 0);
}

// Enter (force) and Esc (keep) during the block comparison, in service test mode.
struct KeyCase {
  const char* name;
  std::vector<char> keys;
  bool blockDiffers;
  bool written;
};

class StKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(StKeyTest, SteerTheComparison) {
  const KeyCase& k = GetParam();
  const auto fileSt = StProgram(kKindB.kind, kVersion100);
  // A difference near the end, which the keys pressed early keep the comparison from seeing.
  const auto panelSt = k.blockDiffers
                           ? ChangedBlock(fileSt, CodeBlockAfter(fileSt, kKindB.kind, 600 * kBlock))
                           : fileSt;
  auto bench = StBench(kKindB, fileSt, panelSt);
  bench->EnableServiceMode();
  bool inSt = false;
  bench->op.onStatusChange = [&](const RecordedLine& line) {
    inSt = inSt || line.caption == "ST program in file";
    if (inSt && line.caption == "Programs comparison" && line.progress.size() == 10) {
      for (char key : k.keys) bench->app->KeyPress(key);
    }
  };
  bench->StartUnattended();
  EXPECT_EQ(bench->ExitCode(), k.written ? 6 : 5);
  EXPECT_EQ(VerdictOf(*bench, "Programs comparison"),
            (RecordedStatus{k.written ? "newer" : kOk, kPlain}));
  EXPECT_EQ(StCommands(*bench, kStEraseCmd).size(), k.written ? 1u : 0u);
  // The comparison ended at the key press.
  EXPECT_EQ(bench->op.Line("Programs comparison")->progress.size(), 10u);
}

INSTANTIATE_TEST_SUITE_P(Keys, StKeyTest,
                         ::testing::Values(KeyCase{"EnterForces", {'\r'}, false, true},
                                           KeyCase{"EscKeeps", {'\x1b'}, true, false},
                                           KeyCase{
                                               "EscWinsOverEnter", {'\r', '\x1b'}, false, false}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(StKeyOrderTest, KeysPressedBeforeTheComparisonHaveNoEffect) {
  const auto fileSt = StProgram(kKindB.kind, kVersion100);
  auto bench = StBench(kKindB, fileSt, fileSt);
  bench->EnableServiceMode();
  bench->op.onStatusChange = [&](const RecordedLine& line) {
    if (line.caption == "ST program in file") bench->app->KeyPress('\r');
  };
  bench->StartUnattended();
  EXPECT_EQ(bench->ExitCode(), 5);
  EXPECT_EQ(VerdictOf(*bench, "Programs comparison"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(StCommands(*bench, kStBlockCheckCmd).size(), Info(kKindB.kind).count / kBlock);
}

TEST(StStopTest, AStopDuringTheComparisonBlanksItsVerdict) {
  const auto fileSt = StProgram(kKindB.kind, kVersion100);
  auto bench = StBench(kKindB, fileSt, fileSt);
  bool inSt = false;
  bench->op.onStatusChange = [&](const RecordedLine& line) {
    inSt = inSt || line.caption == "ST program in file";
    if (inSt && line.caption == "Programs comparison" && line.progress.size() == 50) {
      bench->app->StopClick();
    }
  };
  bench->StartUnattended();
  EXPECT_EQ(bench->ExitCode(), 3);
  EXPECT_EQ(LastCaption(*bench), "Programs comparison");
  EXPECT_EQ(bench->op.Line("Programs comparison")->Verdict(), (RecordedStatus{"", kPlain}));
  EXPECT_EQ(bench->op.Line("Programs comparison")->text.find('%'), std::string::npos);
  EXPECT_TRUE(StCommands(*bench, kStEraseCmd).empty());
}

}  // namespace
}  // namespace korvex::testing
