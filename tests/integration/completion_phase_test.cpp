// The end of a run: the communication codes reset, the restart with its wait for the panel,
// the exit codes, the service log line and the final box; and the Restart command.
#include <gtest/gtest.h>

#include <map>

#include "run_test_util.h"

namespace korvex::testing {
namespace {

constexpr std::uint64_t kFullWaitMs = 11500;

// One settings write as the panel heard it: the address and the bytes.
struct HeardWrite {
  std::uint16_t address;
  std::vector<std::uint8_t> bytes;
  bool operator==(const HeardWrite&) const = default;
};

// Every write to settings area 1 after the erase of sector 6 that begins the codes reset, one
// entry per request (a byte string goes byte by byte).
std::vector<HeardWrite> SettingsWrites(const RunBench& bench) {
  std::vector<HeardWrite> writes;
  bool resetBegun = false;
  for (const auto& e : bench.panel->Exchanges()) {
    const auto& r = e.request;
    if (r[0] == kErase && r[1] == 6) resetBegun = true;
    if (!resetBegun || (r[0] != kWriteSettings && r[0] != kWriteSettingsByte) || r[3] != 1)
      continue;
    writes.push_back({static_cast<std::uint16_t>(r[1] | r[2] << 8),
                      std::vector<std::uint8_t>(r.begin() + 4, r.end())});
  }
  return writes;
}

// The requests that write `bytes` from `address` on.
void AddBytes(std::vector<HeardWrite>& writes, std::uint16_t address,
              std::initializer_list<std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) writes.push_back({address++, {b}});
}

std::uint64_t WaitDialogMs(const RunBench& bench) {
  const auto& at = bench.op.waitDialogAt;
  EXPECT_EQ(at.size(), 2u);
  if (at.size() != 2) return 0;
  EXPECT_TRUE(at[0].first);
  EXPECT_FALSE(at[1].first);
  return at[1].second - at[0].second;
}

// The panel holds the same version in another language: the program is written, and no
// settings conversion adds writes of its own.
constexpr std::pair<const char*, const char*> kOtherLanguage{"program_language", "2"};

TEST(CommCodesResetTest, ResetsATypeThreePanelWithTheTablesWrites) {
  RunBench bench(Bench(FileWith(3), {kOtherLanguage}));
  bench.StartUnattended({"hasla", "komunikacji"});
  EXPECT_EQ(VerdictOf(bench, "Communication codes restart"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(VerdictOf(bench, "Restarting panel"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(bench.ExitCode(), 6);

  // Sector 6 is erased and its very last byte marked.
  const auto flash = bench.panel->Flash();
  EXPECT_TRUE(std::all_of(flash.begin() + 0x60000, flash.begin() + 0x6FFFF,
                          [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(flash[0x6FFFF], 0x00);

  // Every write, in order: the zero blocks first, then the byte strings.
  const std::vector<std::uint8_t> zeros(64, 0x00);
  std::vector<HeardWrite> expected;
  for (int a : {0x8800, 0x8840, 0x8880, 0x88C0}) {
    expected.push_back({static_cast<std::uint16_t>(a), zeros});
  }
  for (int k = 0; k < 16; ++k) {
    expected.push_back({static_cast<std::uint16_t>(0x8E00 + 64 * k), zeros});
  }
  for (int a : {0x9B00, 0x9B40, 0xF680}) expected.push_back({static_cast<std::uint16_t>(a), zeros});
  AddBytes(expected, 0xF6C0, {0xFF});
  AddBytes(expected, 0xF6E0, {0xFF});
  // The five counter bytes, one write each.
  AddBytes(expected, 0xF705, {0x01});
  for (std::uint16_t a = 0xF706; a <= 0xF709; ++a) AddBytes(expected, a, {0x00});
  AddBytes(expected, 0xF700, {0xFE, 0xD3});
  AddBytes(expected, 0xF702, {0xFE, 0xDC, 0xB3});
  AddBytes(expected, 0x8DD0, {0x00, 0x00});
  AddBytes(expected, 0x8DD2, {0x00, 0x00, 0x00});
  AddBytes(expected, 0x8DD5, {0xFF, 0xFF});
  AddBytes(expected, 0x8DD7, {0xFF, 0xFF, 0xFF});
  for (int a : {0x8DED, 0x8DEF, 0x8DF0, 0x8DF7}) {
    AddBytes(expected, static_cast<std::uint16_t>(a), {0x00});
  }
  EXPECT_EQ(SettingsWrites(bench), expected);

  // The panel's settings hold the bytes.
  const auto area = bench.panel->Settings(1);
  const std::map<std::uint16_t, std::uint8_t> bytes = {
      {0xF6C0, 0xFF}, {0xF6E0, 0xFF}, {0xF700, 0xFE}, {0xF701, 0xD3}, {0xF702, 0xFE},
      {0xF703, 0xDC}, {0xF704, 0xB3}, {0xF705, 0x01}, {0xF706, 0x00}, {0xF709, 0x00},
      {0x8DD0, 0x00}, {0x8DD4, 0x00}, {0x8DD5, 0xFF}, {0x8DD9, 0xFF}, {0x8DF7, 0x00}};
  for (const auto& [address, value] : bytes) EXPECT_EQ(area[address], value) << std::hex << address;
  // The reset asks for the full wait: the panel's program starts differently after it.
  EXPECT_GE(WaitDialogMs(bench), kFullWaitMs);
}

struct TypeMarkCase {
  int panelType;
  std::map<std::uint16_t, std::uint8_t> bytes;
};

class CommCodesTypeTest : public ::testing::TestWithParam<TypeMarkCase> {};

TEST_P(CommCodesTypeTest, EveryTypeGetsItsOwnAddressesAndMark) {
  const TypeMarkCase& c = GetParam();
  RunBench bench(Bench(
      FileWith(c.panelType),
      {{"panel_type", std::to_string(c.panelType)}, kOtherLanguage, {"settings_fill", "0x5A"}}));
  // The ST program of types 4 to 8 is left alone: only the codes matter here.
  bench.StartUnattended({"hasla", "komunikacji", "FSK=0xSKIP"});
  EXPECT_EQ(VerdictOf(bench, "Communication codes restart"), (RecordedStatus{kOk, kPlain}));
  const auto area = bench.panel->Settings(1);
  for (const auto& [address, value] : c.bytes) {
    EXPECT_EQ(area[address], value) << "type " << c.panelType << " at " << std::hex << address;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, CommCodesTypeTest,
    ::testing::Values(TypeMarkCase{0,
                                   {{0x2700, 0x00},
                                    {0x2ABF, 0x00},
                                    {0x2AC0, 0x5A},
                                    {0x5160, 0xFF},
                                    {0x5181, 0xD0},
                                    {0x5184, 0xB0},
                                    {0x5185, 0x01},
                                    {0x28BF, 0x00}}},
                      TypeMarkCase{
                          1, {{0x5181, 0xD1}, {0x5184, 0xB1}, {0x289F, 0xFF}, {0x28B6, 0x5A}}},
                      TypeMarkCase{6,
                                   {{0x8B3F, 0x00},
                                    {0xDB60, 0xFF},
                                    {0xDB81, 0xD2},
                                    {0xDB84, 0xB2},
                                    {0xDB85, 0x01},
                                    {0x8727, 0x00}}},
                      TypeMarkCase{5,
                                   {{0xF13F, 0x00},
                                    {0xF140, 0xFF},
                                    {0xF161, 0xD4},
                                    {0xF164, 0xB4},
                                    {0xF165, 0x01},
                                    {0xF6C0, 0x5A}}},
                      TypeMarkCase{8,
                                   {{0x80FF, 0x00},
                                    {0xD65F, 0x00},
                                    {0x9BFF, 0x00},
                                    {0xCA3F, 0x00},
                                    {0xC920, 0xFF},
                                    {0x99D9, 0xD8},
                                    {0x99DC, 0xB8},
                                    {0x99DD, 0x01},
                                    {0x99C7, 0xFF},
                                    {0xEBFD, 0x00}}}));

TEST(CommCodesResetTest, AFailedWriteSilencesTheRestAndEndsTheRun) {
  RunBench bench(
      Bench(FileWith(3), {{"program_version", "123"}, {"fault.drop_request", "0x80:*"}}));
  bench.StartUnattended({"hasla", "komunikacji"});
  EXPECT_EQ(LastCaption(bench), "Communication codes restart");
  EXPECT_EQ(VerdictOf(bench, "Communication codes restart"), (RecordedStatus{"ERROR", kBoldRed}));
  // The first zero block is tried until it gives up; nothing else is sent.
  EXPECT_EQ(bench.Heard(kWriteSettings), kFramesPerGiveUp);
  EXPECT_EQ(bench.Heard(kWriteSettingsByte), 0);
  EXPECT_EQ(bench.Heard(kRestart), 0);
  // Sector 6 was erased: the run wrote and failed.
  EXPECT_EQ(bench.ExitCode(), 3);
}

TEST(CommCodesResetTest, HappensOncePerProcessAndNeverInATestRun) {
  RunBench bench(Bench(FileWith(3), {kOtherLanguage}));
  bench.StartUnattended({"hasla", "komunikacji"});
  ASSERT_TRUE(HasLine(bench, "Communication codes restart"));
  EXPECT_FALSE(bench.Session().CommCodesResetRequested);

  bench.op.ClearLines();
  bench.EnterStarter();
  bench.Session().CommCodesResetRequested = true;
  bench.Test();
  EXPECT_EQ(BoxTexts(bench), std::vector<std::string>{"Comparison ok."});
  EXPECT_FALSE(HasLine(bench, "Communication codes restart"));
  EXPECT_FALSE(bench.Session().CommCodesResetRequested);
}

// --- Restart and wait ----------------------------------------------------------------------

struct WaitCase {
  const char* name;
  PresetKeys keys;
  std::vector<std::string> unattendedArgs;  // empty: an interactive run
  bool fullWait;
};

class RestartWaitTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(RestartWaitTest, EndsEarlyOnlyWhenCtsShowsTheProgramCameUp) {
  const WaitCase& c = GetParam();
  PresetKeys keys = c.keys;
  keys.emplace_back("program_version", "123");
  RunBench bench(Bench(FileWith(3), keys));
  if (c.unattendedArgs.empty()) {
    bench.StartWithFile();
    bench.Program();
  } else {
    bench.StartUnattended(c.unattendedArgs);
  }
  EXPECT_EQ(VerdictOf(bench, "Restarting panel"), (RecordedStatus{kOk, kPlain}));
  const std::uint64_t waited = WaitDialogMs(bench);
  if (c.fullWait) {
    EXPECT_GE(waited, kFullWaitMs);
    EXPECT_LT(waited, kFullWaitMs + 100);
  } else {
    // Boot, CTS delay and the CTS pulse of the simulated panel: 150 + 300 + 1500 ms.
    EXPECT_GE(waited, 1950u);
    EXPECT_LT(waited, kFullWaitMs);
  }
  EXPECT_EQ(bench.panel->Mode(), sim::PanelMode::kProgram);
  EXPECT_EQ(bench.ExitCode(), 6);
}

INSTANTIATE_TEST_SUITE_P(Cases, RestartWaitTest,
                         ::testing::Values(WaitCase{"cts_pulse", {}, {}, false},
                                           WaitCase{"cts_pulse_unattended", {}, {"xyz"}, false},
                                           WaitCase{"cts_always_on", {{"cts", "on"}}, {}, true},
                                           WaitCase{"cts_never_on", {{"cts", "off"}}, {}, true},
                                           WaitCase{"fsk_given", {}, {"FSK=0x0128"}, true}),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(RestartTest, AStarterThatDoesNotAnswerTheRestartStillCompletesTheRun) {
  // The run's own connect is the first; the restart's nine connects of two frames each are
  // lost.
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"},
                                     {"fault.drop_request", Occurrences(kConnect, 2, 18)}}));
  bench.StartWithFile();
  bench.Program();
  EXPECT_EQ(VerdictOf(bench, "Restarting panel"), (RecordedStatus{"ERROR", kBoldRed}));
  EXPECT_EQ(bench.Heard(kRestart), 0);
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{"Continue ?", "Updating ok."}));
  EXPECT_EQ(bench.ExitCode(), 6);
}

TEST(RestartTest, AStopDuringTheWaitLeavesTheVerdictOutButCompletes) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}, {"cts", "on"}}));
  bench.StartWithFile();
  bench.op.onProcessMessages = [&] {
    const auto& at = bench.op.waitDialogAt;
    if (at.size() == 1 && bench.clock.NowMs() > at[0].second + 1000 &&
        !bench.Session().StopRequested) {
      bench.Session().StopRequested = true;
    }
  };
  bench.Program();
  EXPECT_LT(WaitDialogMs(bench), 1100u);
  EXPECT_TRUE(bench.op.Line("Restarting panel")->statuses.empty());
  EXPECT_EQ(BoxTexts(bench), (std::vector<std::string>{"Continue ?", "Updating ok."}));
  EXPECT_EQ(bench.ExitCode(), 6);
}

// --- Exit codes and the log ----------------------------------------------------------------

TEST(CompletionTest, AWrittenPanelIsLoggedAndEveryLaterRunOfTheProcessCountsAsWritten) {
  RunBench bench(Bench(FileWith(3), {{"program_version", "123"}}));
  bench.StartWithFile();
  bench.EnableServiceMode();
  bench.Program();
  EXPECT_EQ(bench.ExitCode(), 6);
  const std::string line =
      "2025-03-12 14:05:09: SOLANTA Large v1.23 2025-03-12 EN -> SOLANTA Large v1.24 2025-03-12 EN";
  EXPECT_EQ(bench.LogLines(), std::vector<std::string>{line});

  // A comparison in the same process: nothing is written now, but the process wrote before.
  bench.op.boxes.clear();
  bench.EnterStarter();
  bench.Test();
  EXPECT_EQ(BoxTexts(bench), std::vector<std::string>{"Comparison ok."});
  EXPECT_EQ(bench.ExitCode(), 6);
  EXPECT_EQ(bench.LogLines().size(), 2u);
}

struct NothingWrittenCase {
  const char* name;
  bool program;
  const char* box;
};

class NothingWrittenTest : public ::testing::TestWithParam<NothingWrittenCase> {};

TEST_P(NothingWrittenTest, EndsWithCodeFiveAndNoLogLine) {
  const NothingWrittenCase& c = GetParam();
  RunBench bench(Bench(FileWith(3)).HoldingFile());
  bench.StartWithFile();
  bench.EnableServiceMode();
  if (c.program) {
    bench.Program();
  } else {
    bench.Test();
  }
  EXPECT_EQ(BoxTexts(bench), std::vector<std::string>{c.box});
  EXPECT_EQ(bench.op.boxes.back().kind, shell::MessageKind::kInformation);
  EXPECT_TRUE(bench.op.boxes.back().okOnly);
  EXPECT_EQ(bench.ExitCode(), 5);
  EXPECT_TRUE(bench.LogLines().empty());
}

INSTANTIATE_TEST_SUITE_P(Runs, NothingWrittenTest,
                         ::testing::Values(NothingWrittenCase{"program", true, "Updating ok."},
                                           NothingWrittenCase{"test", false, "Comparison ok."}),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

// --- The Restart command -------------------------------------------------------------------

TEST(RestartCommandTest, RestartsThePanelWithoutWaitingOrChangingTheExitCode) {
  RunBench bench(Bench(FileWith(3)));
  bench.StartWithFile();
  bench.app->RestartClick();
  EXPECT_EQ(LastCaption(bench), "Restarting panel");
  EXPECT_EQ(VerdictOf(bench, "Restarting panel"), (RecordedStatus{kOk, kPlain}));
  EXPECT_EQ(bench.Heard(kRestart), 1);
  EXPECT_TRUE(bench.op.waitDialogAt.empty());
  EXPECT_FALSE(bench.device->IsOpen());
  EXPECT_EQ(bench.ExitCode(), 0);
}

TEST(RestartCommandTest, ASilentPanelIsAnError) {
  RunBench bench(Bench(FileWith(3), {{"start_in_program", "yes"}}));
  bench.StartWithFile();
  bench.app->RestartClick();
  EXPECT_EQ(VerdictOf(bench, "Restarting panel"), (RecordedStatus{"ERROR", kBoldRed}));
  EXPECT_EQ(bench.ExitCode(), 0);
}

TEST(RestartCommandTest, WithoutAPortNothingIsShown) {
  RunBench bench(Bench(FileWith(3)));
  bench.StartWithFile();
  const std::size_t linesBefore = bench.op.lines.size();
  bench.op.onChoosePort = nullptr;  // the port dialog is cancelled
  bench.app->RestartClick();
  EXPECT_EQ(bench.op.lines.size(), linesBefore);
  EXPECT_EQ(bench.panel->RequestCount(), 0u);
  EXPECT_FALSE(bench.Session().PortReady);
}

}  // namespace
}  // namespace korvex::testing
