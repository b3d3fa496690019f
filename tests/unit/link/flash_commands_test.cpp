#include "link/flash_commands.h"

#include <gtest/gtest.h>

#include <numeric>
#include <set>

#include "starter_line_fixture.h"

namespace korvex::link {
namespace {

const Bytes kTokenRequest{0x1F, 0x1F, 0x1F, 0x1F};

std::array<std::uint8_t, kFlashPageSize> Page(std::uint8_t first) {
  std::array<std::uint8_t, kFlashPageSize> page{};
  std::iota(page.begin(), page.end(), first);
  return page;
}

TEST(CommandVariant, CodesByStarterVersion) {
  struct Row {
    std::uint8_t version, variant, erase, program, shortProgram;
  };
  const std::vector<Row> rows{
      {0xFF, 0x2, 0x26, 0x25, 0x28}, {0x60, 0x2, 0x26, 0x25, 0x28}, {0x5F, 0x1, 0x16, 0x15, 0x18},
      {0x52, 0x1, 0x16, 0x15, 0x18}, {0x51, 0x4, 0x46, 0x45, 0x48}, {0x50, 0x3, 0x36, 0x35, 0x38},
      {0x4F, 0xE, 0xE6, 0xE5, 0xE8}, {0x31, 0xE, 0xE6, 0xE5, 0xE8}, {0x30, 0xD, 0xD6, 0xD5, 0xD8},
      {0x2F, 0x6, 0x66, 0x65, 0x68}, {0x21, 0x6, 0x66, 0x65, 0x68}, {0x00, 0x6, 0x66, 0x65, 0x68},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(CommandVariant(r.version), r.variant) << std::hex << int{r.version};
    EXPECT_EQ(EraseCommand(r.version), r.erase) << std::hex << int{r.version};
    EXPECT_EQ(ProgramCommand(r.version), r.program) << std::hex << int{r.version};
    EXPECT_EQ(ShortProgramCommand(r.version), r.shortProgram) << std::hex << int{r.version};
  }
}

TEST(ShortProgramForm, OnlyForNewStartersAndTheLowPagesOfUpperSectors) {
  struct Case {
    std::uint8_t version;
    std::uint32_t address;
    bool shortForm;
  };
  const std::vector<Case> cases{
      {0x21, 0x11F00, true},  {0x61, 0x10000, true},  {0x61, 0x51F00, true},
      {0x21, 0x12000, false}, {0x21, 0x0F00, false},  {0x20, 0x11F00, false},
      {0x61, 0x1FF00, false}, {0x61, 0x00000, false}, {0x61, 0x01F00, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UsesShortProgramForm(c.version, c.address), c.shortForm)
        << std::hex << int{c.version} << " " << c.address;
  }
}

using FlashCommands = StarterOnScriptedLine;

TEST_F(FlashCommands, ReadsSendTheAddressLowByteFirst) {
  std::uint8_t value = 0;
  AnswerAll(Reply(0x92, {0x5A}));
  ASSERT_TRUE(starter.ReadFlashByte(0x71FF9, value));
  EXPECT_EQ(value, 0x5A);
  EXPECT_EQ(peer.frames.back().request, (Bytes{0x62, 0xF9, 0x1F, 0x07, 0x01}));

  const auto content = Page(3);
  AnswerAll(Reply(0x92, Bytes(content.begin(), content.end())));
  std::array<std::uint8_t, kFlashPageSize> page{};
  ASSERT_TRUE(starter.ReadFlashPage(0x12300, page));
  EXPECT_EQ(page, content);
  EXPECT_EQ(peer.frames.back().request, (Bytes{0x62, 0x00, 0x23, 0x01, 0x00}));

  AnswerAll(Reply(0x92, {0x34, 0x12, 0x56, 0x78}));
  firmware::BlockCheckValues values;
  ASSERT_TRUE(starter.ReadBlockCheck(0x4FE00, values));
  EXPECT_EQ(values, (firmware::BlockCheckValues{0x1234, 0x56, 0x78}));
  EXPECT_EQ(peer.frames.back().request, (Bytes{0x64, 0x00, 0xFE, 0x04, 0x00, 0x02, 0x00}));
}

// Read replies that are not accepted, the limits of each kind, and what a silent panel costs.
TEST_F(FlashCommands, ReadLimits) {
  const Bytes good1 = Reply(0x92, {0x77});
  const Bytes good256 = Reply(0x92, Bytes(256, 0x77));
  const Bytes two = Reply(0x92, {0x77, 0x78});
  const Bytes error = Reply(0x93);
  enum Kind { kByte, kPage, kCheck };
  struct Case {
    const char* what;
    Kind kind;
    std::vector<std::optional<Bytes>> exchanges;
    bool result;
    std::size_t frames;
  };
  const std::vector<Case> cases{
      {"byte: count 2 is not accepted", kByte, {two, two, two, two, good1}, false, 4},
      {"byte: three of each kind, then good",
       kByte,
       {two, std::nullopt, error, std::nullopt, two, std::nullopt, good1},
       true,
       16},
      {"byte: silent", kByte, {std::nullopt, std::nullopt, std::nullopt, std::nullopt}, false, 16},
      {"page: count 1 is not accepted", kPage, {good1, good1, good1, good1, good256}, false, 4},
      {"page: good after three wrong", kPage, {good1, error, good1, good256}, true, 4},
      // The block check counts both kinds together.
      {"check: two of each kind",
       kCheck,
       {std::nullopt, error, std::nullopt, error, good1},
       false,
       10},
      {"check: three failures, then good",
       kCheck,
       {error, std::nullopt, error, Reply(0x92, {1, 2, 3, 4})},
       true,
       7},
  };
  for (const Case& c : cases) {
    ClearRecords();
    AnswerExchanges(c.exchanges, kFlashAttempts);
    std::uint8_t value = 0x11;
    std::array<std::uint8_t, kFlashPageSize> page{};
    page.fill(0x11);
    firmware::BlockCheckValues values;
    bool result = false;
    switch (c.kind) {
      case kByte:
        result = starter.ReadFlashByte(0x100, value);
        break;
      case kPage:
        result = starter.ReadFlashPage(0x100, page);
        break;
      case kCheck:
        result = starter.ReadBlockCheck(0x100, values);
        break;
    }
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(peer.frames.size(), c.frames) << c.what;
    if (!c.result) {
      EXPECT_EQ(value, 0x11) << c.what;
      EXPECT_EQ(page[0], 0x11) << c.what;
    }
  }
}

TEST_F(FlashCommands, SilentReadsCostTheirAttemptsAndBudgets) {
  AnswerAll(std::nullopt);
  std::uint8_t value = 0;
  std::array<std::uint8_t, kFlashPageSize> page{};
  firmware::BlockCheckValues values;
  std::uint64_t start = clock.NowMs();
  EXPECT_FALSE(starter.ReadFlashByte(0, value));
  EXPECT_EQ(Since(start), 4u * 4 * 1000);
  start = clock.NowMs();
  EXPECT_FALSE(starter.ReadFlashPage(0, page));
  EXPECT_EQ(Since(start), 4u * 4 * 1500);
  start = clock.NowMs();
  EXPECT_FALSE(starter.ReadBlockCheck(0, values));
  EXPECT_EQ(Since(start), 4u * 4 * 1000);
}

TEST_F(FlashCommands, StopEndsAReadAfterItsExchange) {
  AnswerAll(std::nullopt);
  session.StopRequested = true;
  std::uint8_t value = 0;
  EXPECT_FALSE(starter.ReadFlashByte(0, value));
  EXPECT_EQ(peer.frames.size(), kFlashAttempts);
}

TEST_F(FlashCommands, EraseAgainstASilentPanelRunsThreeExchangesOfFourTimesFifteenSeconds) {
  starter.State().StarterVersion = 0x51;  // holds no token: nothing before the erase
  AnswerAll(std::nullopt);
  const std::uint64_t start = clock.NowMs();
  EXPECT_EQ(starter.EraseFlashSector(3), WriteStatus::kNoReply);
  EXPECT_EQ(peer.frames.size(), 12u);
  EXPECT_EQ(CountRequests(0x46), 12u);
  EXPECT_EQ(Since(start), 3u * 4 * 15000);
  // Each exchange starts with a fresh frame; the rate is applied again before the third and
  // fourth attempt of each.
  for (std::size_t i = 0; i < peer.frames.size(); ++i) {
    EXPECT_EQ(peer.frames[i].atMs - peer.frames[0].atMs, 15000u * i);
  }
}

TEST_F(FlashCommands, EraseOutcomes) {
  const std::array<std::uint8_t, 4> token{9, 8, 7, 6};
  const Bytes tokenHeld = Reply(0x92, {9, 8, 7, 6});
  const Bytes tokenOther = Reply(0x92, {9, 8, 7, 5});
  struct Case {
    const char* what;
    std::uint8_t version;
    std::vector<std::optional<Bytes>> exchanges;
    WriteStatus status;
    Bytes firstErase;  // empty: no erase request is sent
    std::size_t eraseFrames;
  };
  const std::vector<Case> cases{
      {"done, old starter", 0x2F, {Reply(0x91)}, WriteStatus::kDone, {0x66, 0x02, 0x66, 0x66}, 1},
      {"done after the token check",
       0x60,
       {tokenHeld, Reply(0x91)},
       WriteStatus::kDone,
       {0x26, 0x02, 0x66, 0x66},
       1},
      {"panel holds another token",
       0x52,
       {tokenOther, tokenOther, tokenOther, tokenOther},
       WriteStatus::kRefused,
       {},
       0},
      {"three wrong answers",
       0x51,
       {Reply(0x92), Reply(0x93), Reply(0x92)},
       WriteStatus::kRefused,
       {0x46, 0x02, 0x66, 0x66},
       3},
      {"two of each kind, then done",
       0x51,
       {std::nullopt, Reply(0x93), std::nullopt, Reply(0x93), Reply(0x91)},
       WriteStatus::kDone,
       {0x46, 0x02, 0x66, 0x66},
       11},
      {"silence is counted apart from wrong answers",
       0x50,
       {Reply(0x93), std::nullopt, Reply(0x93), std::nullopt, std::nullopt},
       WriteStatus::kNoReply,
       {0x36, 0x02, 0x66, 0x66},
       14},
  };
  for (const Case& c : cases) {
    ClearRecords();
    starter.State().StarterVersion = c.version;
    starter.State().LinkToken = token;
    AnswerExchanges(c.exchanges, kFlashAttempts);
    EXPECT_EQ(starter.EraseFlashSector(2), c.status) << c.what;
    const std::size_t tokenFrames = CountRequests(0x1F);
    EXPECT_EQ(peer.frames.size() - tokenFrames, c.eraseFrames) << c.what;
    if (!c.firstErase.empty()) {
      ASSERT_GT(peer.frames.size(), tokenFrames) << c.what;
      EXPECT_EQ(peer.frames[tokenFrames].request, c.firstErase) << c.what;
    }
  }
}

TEST_F(FlashCommands, StopEndsAnEraseAsRefused) {
  starter.State().StarterVersion = 0x51;
  int frames = 0;
  peer.respond = [&](const ScriptedFrame&) -> std::optional<ScriptedAnswer> {
    ++frames;
    session.StopRequested = true;
    return std::nullopt;
  };
  EXPECT_EQ(starter.EraseFlashSector(1), WriteStatus::kRefused);
  EXPECT_EQ(frames, 4);
}

TEST_F(FlashCommands, ProgramFormsOnTheWire) {
  // No 0xFF byte, so no stuffing in the body.
  std::array<std::uint8_t, kFlashPageSize> page{};
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i % 200);
  struct Case {
    const char* what;
    std::uint8_t version;
    std::uint32_t address;
    Bytes head;  // the request, or its first three bytes for the full form
    bool full;
  };
  const std::vector<Case> cases{
      {"short", 0x21, 0x11F00, {0x68, 0x1F, 0x01, 0x1F, 0x00}, false},
      {"short, new starter", 0x61, 0x51000, {0x28, 0x10, 0x05, 0x10, 0x00}, false},
      {"offset 0x2000 is full", 0x21, 0x12000, {0x65, 0x20, 0x01}, true},
      {"sector 0 is full", 0x21, 0x0F00, {0x65, 0x0F, 0x00}, true},
      {"old starter is full", 0x20, 0x11F00, {0x65, 0x1F, 0x01}, true},
  };
  for (const Case& c : cases) {
    ClearRecords();
    starter.State().StarterVersion = c.version;
    starter.State().LinkTokenCountdown = 5;
    AnswerAll(Reply(0x92));
    EXPECT_EQ(starter.ProgramFlashPage(c.address, page), WriteStatus::kDone) << c.what;
    ASSERT_EQ(peer.frames.size(), 1u) << c.what;
    const Bytes& request = peer.frames[0].request;
    if (!c.full) {
      EXPECT_EQ(request, c.head) << c.what;
      EXPECT_EQ(starter.State().LinkTokenCountdown, 5) << c.what;
      continue;
    }
    ASSERT_EQ(request.size(), 259u) << c.what;
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 3), c.head) << c.what;
    EXPECT_EQ(Bytes(request.begin() + 3, request.end()), Bytes(page.begin(), page.end())) << c.what;
    // Length byte 0 (a 256-byte body), then the page last byte first.
    const Bytes& bytes = wire.writes.back();
    EXPECT_EQ(bytes[2], 0x00) << c.what;
    EXPECT_EQ(Bytes(bytes.begin() + 3, bytes.begin() + 6), c.head) << c.what;
    EXPECT_EQ(Bytes(bytes.begin() + 6, bytes.begin() + 262), Bytes(page.rbegin(), page.rend()))
        << c.what;
    EXPECT_EQ(starter.State().LinkTokenCountdown, 4) << c.what;
  }
}

TEST_F(FlashCommands, TheFullFormChecksTheTokenWhenItsCountdownRunsOut) {
  const auto page = Page(0);
  starter.State().StarterVersion = 0x61;
  starter.State().LinkToken = {1, 2, 3, 4};
  peer.respond = [](const ScriptedFrame& frame) -> std::optional<ScriptedAnswer> {
    if (frame.request[0] == 0x1F) return ScriptedAnswer{Reply(0x92, {1, 2, 3, 4}), 5};
    return ScriptedAnswer{Reply(0x92), 5};
  };
  std::set<int> reloads;
  for (int run = 0; run < 40; ++run) {
    ClearRecords();
    starter.State().LinkTokenCountdown = 0;
    ASSERT_EQ(starter.ProgramFlashPage(0x1000, page), WriteStatus::kDone);
    ASSERT_EQ(peer.frames.size(), 2u);
    EXPECT_EQ(peer.frames[0].request, kTokenRequest);
    EXPECT_EQ(peer.frames[1].request[0], 0x25);
    const int reloaded = starter.State().LinkTokenCountdown;
    EXPECT_GE(reloaded, 17);
    EXPECT_LE(reloaded, 27);
    reloads.insert(reloaded);
  }
  EXPECT_GT(reloads.size(), 1u);  // the reload is random

  // Counting down: the next checks come after exactly that many programs.
  ClearRecords();
  starter.State().LinkTokenCountdown = 2;
  for (int i = 0; i < 4; ++i) ASSERT_EQ(starter.ProgramFlashPage(0x2000, page), WriteStatus::kDone);
  EXPECT_EQ(CountRequests(0x1F), 1u);
  EXPECT_EQ(peer.frames[2].request, kTokenRequest);

  // A starter without token: the reload happens, the check sends nothing.
  ClearRecords();
  starter.State().StarterVersion = 0x51;
  starter.State().LinkTokenCountdown = 0;
  ASSERT_EQ(starter.ProgramFlashPage(0x2000, page), WriteStatus::kDone);
  EXPECT_EQ(Requests().size(), 1u);
  EXPECT_GE(starter.State().LinkTokenCountdown, 17);
}

TEST_F(FlashCommands, ProgramLimitsAndTheTokenRefusal) {
  const auto page = Page(0);
  struct Case {
    const char* what;
    std::uint8_t version;
    std::uint32_t address;
    std::vector<std::optional<Bytes>> exchanges;
    WriteStatus status;
    std::size_t frames;
  };
  const std::vector<Case> cases{
      {"full, silent", 0x51, 0x3000, {}, WriteStatus::kNoReply, 16},
      {"full, four wrong answers",
       0x51,
       0x3000,
       {Reply(0x91), Reply(0x93), Reply(0x91), Reply(0x94), Reply(0x92)},
       WriteStatus::kRefused,
       4},
      {"full, three of each kind, then done",
       0x51,
       0x3000,
       {Reply(0x91), std::nullopt, Reply(0x91), std::nullopt, Reply(0x91), std::nullopt,
        Reply(0x92)},
       WriteStatus::kDone,
       16},
      {"short, silent", 0x51, 0x21000, {}, WriteStatus::kNoReply, 16},
      {"short, four wrong answers",
       0x51,
       0x21000,
       {Reply(0x91), Reply(0x91), Reply(0x91), Reply(0x91)},
       WriteStatus::kRefused,
       4},
      // The token check fails: nothing is written.
      {"full, token lost",
       0x61,
       0x3000,
       {Reply(0x92, {0, 0, 0, 0}), Reply(0x92, {0, 0, 0, 0}), Reply(0x92, {0, 0, 0, 0}),
        Reply(0x92, {0, 0, 0, 0})},
       WriteStatus::kRefused,
       4},
  };
  for (const Case& c : cases) {
    ClearRecords();
    starter.State().StarterVersion = c.version;
    starter.State().LinkToken = {1, 2, 3, 4};
    starter.State().LinkTokenCountdown = 0;
    AnswerExchanges(c.exchanges, kFlashAttempts);
    EXPECT_EQ(starter.ProgramFlashPage(c.address, page), c.status) << c.what;
    EXPECT_EQ(peer.frames.size(), c.frames) << c.what;
    if (c.version == 0x61) {
      EXPECT_EQ(CountRequests(0x25), 0u) << c.what;
    }
  }
}

TEST_F(FlashCommands, OnlyTheFullFormStopsOnStop) {
  const auto page = Page(0);
  starter.State().StarterVersion = 0x51;
  starter.State().LinkTokenCountdown = 9;
  AnswerAll(std::nullopt);
  session.StopRequested = true;
  EXPECT_EQ(starter.ProgramFlashPage(0x3000, page), WriteStatus::kRefused);
  EXPECT_EQ(peer.frames.size(), 4u);
  ClearRecords();
  EXPECT_EQ(starter.ProgramFlashPage(0x21000, page), WriteStatus::kNoReply);
  EXPECT_EQ(peer.frames.size(), 16u);
}

}  // namespace
}  // namespace korvex::link
