#include "link/starter_connection.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "starter_line_fixture.h"

namespace korvex::link {
namespace {

const Bytes kConnectRequest{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA};
const Bytes kFastRateRequest{0x14, 0x55, 0xAA, 0x41};
const Bytes kTokenRequest{0x1F, 0x1F, 0x1F, 0x1F};
const Bytes kRestartRequest{0x67, 0x68, 0x69, 0x6A};

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}
Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

using StarterConnection = StarterOnScriptedLine;

// Each command's request, and against a silent panel the number of frames and the virtual
// time it spends (its attempts, budgets and retries).
TEST_F(StarterConnection, RequestsAndTheirCostAgainstASilentPanel) {
  struct Case {
    const char* what;
    std::function<void(Starter&)> run;
    Bytes request;
    std::size_t silentFrames;
    std::uint64_t silentMs;
  };
  const std::vector<Case> cases{
      {"connect", [](Starter& s) { (void)s.ConnectStarter(); }, kConnectRequest, 2, 2 * 700},
      {"identify", [](Starter& s) { (void)s.IdentifyPanel(); }, {0x61, 0x61, 0x61, 0x61}, 4, 4000},
      {"store token",
       [](Starter& s) {
         s.State().LinkToken = {0x12, 0xFF, 0x00, 0x9A};
         s.SetLinkToken();
       },
       {0x1E, 0x12, 0xFF, 0x00, 0x9A},
       4,
       4000},
      // Four failed exchanges of four attempts each.
      {"check token",
       [](Starter& s) {
         s.State().StarterVersion = 0x52;
         (void)s.CheckLinkToken();
       },
       kTokenRequest, 16, 16000},
      // Nine connects of two attempts each; no restart request.
      {"restart", [](Starter& s) { (void)s.RestartPanel(); }, kConnectRequest, 18, 9 * 1400},
      {"starter update",
       [](Starter& s) { (void)s.RunStarterUpdate(); },
       {0xA5, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC},
       4,
       8000},
      {"keypad, nothing",
       [](Starter& s) { s.ShowKeypadText("", "", true); },
       {0x21, 0x02, 0x72, 0x66},
       4,
       4000},
  };
  for (const Case& c : cases) {
    link.SetRateIndex(0);
    (void)link.SetLinkRate();
    ClearRecords();
    AnswerAll(std::nullopt);
    const std::uint64_t start = clock.NowMs();
    c.run(starter);
    ASSERT_FALSE(peer.frames.empty()) << c.what;
    EXPECT_EQ(peer.frames[0].request, c.request) << c.what;
    EXPECT_EQ(peer.frames.size(), c.silentFrames) << c.what;
    EXPECT_EQ(Since(start), c.silentMs) << c.what;
  }
}

// The connect outcomes and the rate they leave, with and without the fast-rate negotiation.
TEST_F(StarterConnection, ConnectOutcomesAndTheRateTheyLeave) {
  struct Case {
    const char* what;
    std::uint16_t rateIndex;
    bool fastRs;
    std::optional<Bytes> connectReply;
    std::optional<Bytes> fastReply;
    ConnectResult result;
    std::uint16_t rateAfter;
    std::size_t frames;
  };
  const std::vector<Case> cases{
      {"ready, no fast rate wanted",
       0,
       false,
       Reply(0x92, {0x00}),
       {},
       ConnectResult::kConnected,
       0,
       1},
      {"ready at 57600 does not negotiate", 1, true, Reply(0x92, {0x00}), Reply(0x92, {0x00}),
       ConnectResult::kConnected, 1, 1},
      {"no reply steps the rate", 0, true, std::nullopt, {}, ConnectResult::kNoAnswer, 1, 2},
      {"no reply at 115200 wraps to 9600",
       2,
       true,
       std::nullopt,
       {},
       ConnectResult::kNoAnswer,
       0,
       2},
      {"refusal steps the rate", 0, true, Reply(0x92, {0x05}), {}, ConnectResult::kRefused, 1, 1},
      {"error answer keeps the rate",
       0,
       true,
       Reply(0x93, {0x00}),
       {},
       ConnectResult::kNoAnswer,
       0,
       1},
      {"answer without data code keeps the rate",
       1,
       false,
       Reply(0x91),
       {},
       ConnectResult::kNoAnswer,
       1,
       1},
      {"fast rate 115200", 0, true, Reply(0x92, {0x00}), Reply(0x92, {0x00}),
       ConnectResult::kConnected, 2, 2},
      {"fast rate 57600", 0, true, Reply(0x92, {0x00}), Reply(0x92, {0x01}),
       ConnectResult::kConnected, 1, 2},
      {"fast rate unknown", 0, true, Reply(0x92, {0x00}), Reply(0x92, {0x02}),
       ConnectResult::kNoAnswer, 0, 2},
      {"fast rate refused", 0, true, Reply(0x92, {0x00}), Reply(0x93, {0x00}),
       ConnectResult::kNoAnswer, 0, 2},
      // The fast-rate request gets a single attempt.
      {"fast rate unanswered", 0, true, Reply(0x92, {0x00}), std::nullopt, ConnectResult::kNoAnswer,
       0, 2},
  };
  for (const Case& c : cases) {
    link.SetRateIndex(c.rateIndex);
    link.SetFastRsEnabled(c.fastRs);
    (void)link.SetLinkRate();
    ClearRecords();
    peer.respond = [&c](const ScriptedFrame& frame) -> std::optional<ScriptedAnswer> {
      const auto& reply = frame.request[0] == 0x14 ? c.fastReply : c.connectReply;
      if (!reply) return std::nullopt;
      return ScriptedAnswer{*reply, 5};
    };
    EXPECT_EQ(starter.ConnectStarter(), c.result) << c.what;
    EXPECT_EQ(link.RateIndex(), c.rateAfter) << c.what;
    EXPECT_EQ(device.BitRate(), kLinkRates[c.rateAfter]) << c.what;
    EXPECT_EQ(peer.frames.size(), c.frames) << c.what;
    if (c.frames == 2 && c.fastReply.has_value()) {
      EXPECT_EQ(peer.frames[1].request, kFastRateRequest) << c.what;
      EXPECT_EQ(peer.frames[1].bitRate, 9600u) << c.what;
    }
  }
}

// The panel moved to the fast rate but the port cannot follow: that is no connection, and
// the exit code tells why.
TEST_F(StarterConnection, APortThatCannotBeReopenedAtTheFastRateIsNoConnection) {
  link.SetFastRsEnabled(true);
  peer.respond = [this](const ScriptedFrame& frame) -> std::optional<ScriptedAnswer> {
    if (frame.request[0] == 0x14) device.SetBusy("COM1", true);
    const std::uint8_t ready = 0x00, fast57600 = 0x01;
    return ScriptedAnswer{Reply(0x92, {frame.request[0] == 0x14 ? fast57600 : ready}), 5};
  };
  EXPECT_EQ(starter.ConnectStarter(), ConnectResult::kNoAnswer);
  EXPECT_EQ(link.RateIndex(), 1);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(session.ExitCode, shell::kExitPortFailed);
}

TEST_F(StarterConnection, AStarterListeningAt57600IsFoundOnTheSecondConnect) {
  link.SetFastRsEnabled(true);
  peer.respond = [](const ScriptedFrame& frame) -> std::optional<ScriptedAnswer> {
    if (frame.bitRate != 57600) return std::nullopt;
    return ScriptedAnswer{Reply(0x92, {0x00}), 5};
  };
  EXPECT_EQ(starter.ConnectStarter(), ConnectResult::kNoAnswer);
  EXPECT_EQ(link.RateIndex(), 1);
  EXPECT_EQ(starter.ConnectStarter(), ConnectResult::kConnected);
  EXPECT_EQ(link.RateIndex(), 1);
  EXPECT_EQ(CountRequests(0x14), 0u);
  EXPECT_EQ(op.statusBarPort.back(), " COM1 57600 bps");
}

TEST_F(StarterConnection, IdentificationFillsTheStarterFacts) {
  AnswerAll(Reply(0x92, {0x05, 0x03, 0x61}));
  ASSERT_EQ(starter.IdentifyPanel(), kAnswerData);
  EXPECT_EQ(starter.State().FlashKind, 5);
  EXPECT_EQ(starter.State().PanelType, 3);
  EXPECT_EQ(starter.State().StarterVersion, 0x61);
  // The exchange succeeds whatever the answer code; the caller judges it. Another answer
  // leaves the facts alone.
  AnswerAll(Reply(0x94, {0x01, 0x01, 0x01}));
  EXPECT_EQ(starter.IdentifyPanel(), 0x94);
  EXPECT_EQ(starter.State().FlashKind, 5);
  AnswerAll(std::nullopt);
  EXPECT_EQ(starter.IdentifyPanel(), std::nullopt);
}

TEST_F(StarterConnection, TokenCheckCountsFailuresAndWrongTokensApart) {
  const std::array<std::uint8_t, 4> token{0x21, 0x43, 0x65, 0x87};
  const Bytes held = Reply(0x92, {0x21, 0x43, 0x65, 0x87});
  const Bytes other = Reply(0x92, {0x21, 0x43, 0x65, 0x88});
  const Bytes error = Reply(0x93, {0x21, 0x43, 0x65, 0x87});
  struct Case {
    const char* what;
    std::vector<std::optional<Bytes>> exchanges;  // nullopt: an exchange without reply
    bool result;
    std::size_t frames;
  };
  const std::vector<Case> cases{
      {"held at once", {held}, true, 1},
      {"another token four times", {other, other, other, other, held}, false, 4},
      {"error answers four times", {error, error, error, error, held}, false, 4},
      {"silence and errors are one kind", {std::nullopt, error, std::nullopt, error}, false, 10},
      {"three of each kind, then held",
       {other, error, other, std::nullopt, other, error, held},
       true,
       10},
  };
  starter.State().StarterVersion = 0x52;
  starter.State().LinkToken = token;
  for (const Case& c : cases) {
    ClearRecords();
    AnswerExchanges(c.exchanges, 4);
    EXPECT_EQ(starter.CheckLinkToken(), c.result) << c.what;
    EXPECT_EQ(peer.frames.size(), c.frames) << c.what;
    EXPECT_EQ(CountRequests(0x1F), c.frames) << c.what;
  }
}

TEST_F(StarterConnection, OldStartersHoldNoTokenAndStopEndsTheCheck) {
  starter.State().StarterVersion = 0x51;
  AnswerAll(Reply(0x92, {0, 0, 0, 1}));
  EXPECT_TRUE(starter.CheckLinkToken());
  EXPECT_TRUE(peer.frames.empty());

  starter.State().StarterVersion = 0x52;
  peer.respond = [this](const ScriptedFrame&) -> std::optional<ScriptedAnswer> {
    session.StopRequested = true;
    return ScriptedAnswer{Reply(0x92, {0, 0, 0, 1}), 5};
  };
  EXPECT_FALSE(starter.CheckLinkToken());
  // One exchange: Stop ended its wait, and its other attempts cost one frame each.
  EXPECT_EQ(peer.frames.size(), 4u);
}

TEST_F(StarterConnection, RestartAgainstASilentPanelTriesEveryRateThreeTimes) {
  AnswerAll(std::nullopt);
  EXPECT_FALSE(starter.RestartPanel());
  std::vector<std::uint32_t> rates;
  for (const auto& frame : peer.frames) {
    EXPECT_EQ(frame.request, kConnectRequest);
    rates.push_back(frame.bitRate);
  }
  std::vector<std::uint32_t> expected;
  for (int turn = 0; turn < 3; ++turn) {
    for (std::uint32_t rate : kLinkRates) expected.insert(expected.end(), {rate, rate});
  }
  EXPECT_EQ(rates, expected);
  EXPECT_EQ(CountRequests(0x67), 0u);
}

TEST_F(StarterConnection, RestartIsAskedForUntilAcknowledgedAtMostThreeTimes) {
  struct Case {
    const char* what;
    Bytes restartReply;
    std::size_t restartFrames;
  };
  for (const Case& c :
       {Case{"acknowledged", Reply(0x91), 1}, Case{"refused every time", Reply(0x93), 3}}) {
    link.SetRateIndex(0);
    (void)link.SetLinkRate();
    ClearRecords();
    const Bytes restartReply = c.restartReply;
    peer.respond = [restartReply](const ScriptedFrame& frame) -> std::optional<ScriptedAnswer> {
      if (frame.request[0] == 0x67) return ScriptedAnswer{restartReply, 5};
      return ScriptedAnswer{Reply(0x92, {0x00}), 5};
    };
    EXPECT_TRUE(starter.RestartPanel()) << c.what;
    EXPECT_EQ(CountRequests(0x0D), 1u) << c.what;
    EXPECT_EQ(CountRequests(0x67), c.restartFrames) << c.what;
    EXPECT_EQ(peer.frames.back().request, kRestartRequest) << c.what;
  }
}

TEST_F(StarterConnection, StopEndsTheRestartConnectsEarly) {
  int frames = 0;
  peer.respond = [&](const ScriptedFrame&) -> std::optional<ScriptedAnswer> {
    if (++frames == 3) session.StopRequested = true;
    return std::nullopt;
  };
  EXPECT_FALSE(starter.RestartPanel());
  EXPECT_EQ(peer.frames.size(), 4u);  // two connects of two frames each
}

TEST_F(StarterConnection, KeypadTextForms) {
  struct Case {
    const char* what;
    std::string line1, line2;
    bool title;
    Bytes request;
  };
  const std::string sixteen = "Program 1.24 SK ";
  const std::vector<Case> cases{
      {"both lines, title", "KORVEX 1.24", " ", true,
       Concat({{0x21, 0x22, 0x73, 0xFF}, Text("KORVEX 1.24     "), Text("                ")})},
      {"both lines, no title", "a", "Express mode", false,
       Concat({{0x21, 0x22, 0x74, 0xFF}, Text("a               "), Text("Express mode    ")})},
      {"line 2 only", "", "Erasing", true, Concat({{0x21, 0x11, 0x7D}, Text("Erasing         ")})},
      {"line 1 only", "Programming 45%", "", false,
       Concat({{0x21, 0x11, 0x7C}, Text("Programming 45% ")})},
      {"neither", "", "", false, {0x21, 0x02, 0x72, 0x66}},
      {"a long line sends its first 16 characters", sixteen + "and more", "", true,
       Concat({{0x21, 0x11, 0x7C}, Text(sixteen)})},
  };
  for (const Case& c : cases) {
    ClearRecords();
    // The reply is not examined and nothing is retried.
    AnswerAll(Reply(0x93));
    starter.ShowKeypadText(c.line1, c.line2, c.title);
    ASSERT_EQ(peer.frames.size(), 1u) << c.what;
    EXPECT_EQ(peer.frames[0].request, c.request) << c.what;
  }
}

TEST_F(StarterConnection, StarterUpdateNeedsItsAcknowledgement) {
  struct Case {
    std::optional<Bytes> reply;
    bool result;
  };
  for (const Case& c : {Case{Reply(0x91), true}, Case{Reply(0x92, {0x00}), false},
                        Case{Reply(0x93), false}, Case{std::nullopt, false}}) {
    AnswerAll(c.reply);
    EXPECT_EQ(starter.RunStarterUpdate(), c.result);
  }
}

}  // namespace
}  // namespace korvex::link
