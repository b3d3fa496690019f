#include "link/link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "link/in_process_device.h"
#include "shell/virtual_clock.h"
#include "support/scripted_line_peer.h"
#include "support/scripted_operator.h"
#include "update/session_link_host.h"

namespace korvex::link {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Answer = testing::ScriptedLinePeer::Answer;

const Bytes kConnect{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA};
const Bytes kGoodReply{0x01, 0x92, 0x00, 0x25, 0xEA};
const Bytes kBadReply{0x01, 0x92, 0x00, 0x00, 0x00};  // complete, wrong check bytes

class LinkOnVirtualLine : public ::testing::Test {
 protected:
  explicit LinkOnVirtualLine(std::uint64_t startMs = 5000)
      : clock(startMs),
        session(op, clock, 7),
        device(peer, clock, {{"COM1", ""}, {"COM3", ""}}),
        host(session),
        link(host, device) {}

  void Request(const Bytes& bytes) {
    request = RequestWriter{};
    request.Put(bytes);
  }
  // Chooses COM1 and opens it at the current rate.
  void Connect() {
    link.KVRS().SetSelectedPort("COM1");
    ASSERT_TRUE(link.EnsurePortChosen(op));
    peer.writeSizes.clear();
  }
  std::uint64_t Since(std::uint64_t start) const { return clock.NowMs() - start; }

  testing::ScriptedOperator op;
  shell::VirtualClock clock;
  shell::Session session;
  testing::ScriptedLinePeer peer;
  InProcessDevice device;
  update::SessionLinkHost host;
  Link link;
  RequestWriter request;
};

TEST_F(LinkOnVirtualLine, ExchangeSendsOneFrameAndTakesTheReplyWhenItArrives) {
  Connect();
  Request(kConnect);
  peer.answers.push_back(Answer{kGoodReply, 5});
  const std::uint64_t start = clock.NowMs();
  const std::optional<ReplyView> reply = link.Transact(request, 2, 700);
  ASSERT_TRUE(reply);
  ASSERT_EQ(peer.frames.size(), 1u);
  EXPECT_EQ(peer.frames[0].request, kConnect);
  EXPECT_EQ(peer.frames[0].bitRate, 9600u);
  EXPECT_EQ(peer.writeSizes, (std::vector<std::size_t>{14}));  // the whole frame in one write
  EXPECT_EQ(Since(start), 5u);
  EXPECT_EQ(reply->Count(), 0x01);
  EXPECT_EQ(reply->Answer(), 0x92);
  EXPECT_EQ(reply->Data(0), 0x00);
}

TEST_F(LinkOnVirtualLine, EverySplitOfAReplyGivesTheSameResult) {
  Connect();
  Bytes data(256);
  std::iota(data.begin(), data.end(), 0);
  const std::vector<Bytes> replies{
      kGoodReply, {0x03, 0x92, 0x02, 0x03, 0x61, 0x8B, 0x8A}, EncodeReplyFrame(0x92, data)};
  Request({0x62, 0x00, 0x20, 0x01, 0x00});
  for (const Bytes& reply : replies) {
    for (std::size_t split = 0; split <= reply.size(); ++split) {
      for (bool corrupt : {false, true}) {
        Bytes wire = reply;
        if (corrupt) wire[1 + split % (wire.size() - 1)] ^= 0x40;
        peer.respond = [&](const testing::ScriptedLinePeer::ReceivedFrame& frame) {
          peer.Send(Bytes(wire.begin(), wire.begin() + split), frame.atMs + 3);
          return Answer{Bytes(wire.begin() + split, wire.end()), 40};
        };
        const std::optional<ReplyView> got = link.Transact(request, 1, 1000);
        EXPECT_EQ(got.has_value(), !corrupt) << "split " << split;
        if (got) {
          EXPECT_TRUE(std::equal(reply.begin(), reply.end() - 2, got->Positions().begin()));
        }
      }
    }
  }
  // Byte by byte, 7 ms apart.
  peer.respond = [&](const testing::ScriptedLinePeer::ReceivedFrame&) {
    return Answer{replies[1], 2, 7};
  };
  EXPECT_TRUE(link.Transact(request, 1, 1000));
}

TEST_F(LinkOnVirtualLine, SilentPeerCostsEveryAttemptItsWholeBudget) {
  Connect();
  Request(kConnect);
  struct Case {
    std::uint16_t attempts, budget;
    std::uint64_t time;
  };
  // The first turn always runs; time accrues in idle turns of 10 ms.
  for (const Case& c : {Case{2, 700, 1400}, Case{4, 1000, 4000}, Case{1, 0, 10}, Case{1, 15, 20},
                        Case{0, 100, 100}}) {
    peer.frames.clear();
    const std::uint64_t start = clock.NowMs();
    EXPECT_FALSE(link.Transact(request, c.attempts, c.budget));
    EXPECT_EQ(peer.frames.size(), std::max<std::size_t>(c.attempts, 1)) << c.attempts;
    EXPECT_EQ(Since(start), c.time) << c.attempts << " x " << c.budget;
  }
}

TEST_F(LinkOnVirtualLine, StaleInputIsDiscardedOnlyBeforeTheThirdAttempt) {
  struct Case {
    const char* what;
    std::vector<std::optional<Bytes>> replies;  // per frame
    Bytes strayBefore;
    std::uint16_t attempts;
    bool result;
    std::size_t frames;
    std::size_t rateReapplied;  // status-bar rewrites during the exchange
  };
  const Bytes leftovers = [] {
    Bytes b = kBadReply;
    b.insert(b.end(), {0x77, 0x77});
    return b;
  }();
  const std::vector<Case> cases{
      {"good at once", {kGoodReply}, {}, 4, true, 1, 0},
      // Leftovers of the first reply spoil the second attempt; the third starts clean.
      {"leftovers before attempt 2", {leftovers, kGoodReply, kGoodReply}, {}, 4, true, 3, 1},
      // Leftovers of the second reply are discarded before the third attempt.
      {"leftovers before attempt 3", {kBadReply, leftovers, kGoodReply}, {}, 4, true, 3, 1},
      // A stray byte is taken as the count; the next attempt starts at the next byte.
      {"stray byte", {kGoodReply, kGoodReply}, {0x55}, 2, true, 2, 0},
      {"two attempts never reapply the rate", {std::nullopt, std::nullopt}, {}, 2, false, 2, 0},
      {"half a reply",
       {Bytes{0x01, 0x92, 0x00}, Bytes{0x01, 0x92}, std::nullopt, std::nullopt},
       {},
       4,
       false,
       4,
       2},
  };
  for (const Case& c : cases) {
    Connect();
    Request(kConnect);
    peer.frames.clear();
    peer.answers.clear();
    for (const auto& reply : c.replies) {
      peer.answers.push_back(reply ? std::optional<Answer>(Answer{*reply, 4}) : std::nullopt);
    }
    if (!c.strayBefore.empty()) peer.Send(c.strayBefore, clock.NowMs());
    const std::size_t statusWrites = op.statusBarPort.size();
    EXPECT_EQ(link.Transact(request, c.attempts, 700).has_value(), c.result) << c.what;
    EXPECT_EQ(peer.frames.size(), c.frames) << c.what;
    EXPECT_EQ(op.statusBarPort.size() - statusWrites, c.rateReapplied) << c.what;
    link.KVRS().RSdone();
  }
}

TEST_F(LinkOnVirtualLine, StopEndsTheWaitAfterItsTurnAndLeftAttemptsCostOneTurnEach) {
  Connect();
  Request(kConnect);
  int calls = 0;
  op.onProcessMessages = [&] {
    if (++calls == 3) session.StopRequested = true;
  };
  const std::uint64_t start = clock.NowMs();
  EXPECT_FALSE(link.Transact(request, 4, 1000));
  EXPECT_EQ(peer.frames.size(), 4u);
  // Three idle turns of the first attempt, then one for each of the other three.
  EXPECT_EQ(Since(start), 6 * kReceiveIdleWaitMs);
}

TEST_F(LinkOnVirtualLine, ABusyFrontEndCountsAtMost55MsPerTurn) {
  Connect();
  Request(kConnect);
  op.onProcessMessages = [&] { clock.Advance(1000); };  // a window being dragged
  const int before = op.processMessagesCalls;
  EXPECT_FALSE(link.Transact(request, 1, 700));
  EXPECT_EQ(op.processMessagesCalls - before, 13);  // ceil(700 / 55)
}

TEST_F(LinkOnVirtualLine, BudgetZeroTakesAtMostOneWaitingByte) {
  Connect();
  peer.Send(kGoodReply, clock.NowMs());
  EXPECT_FALSE(link.ReceiveReply(0, false));
  EXPECT_EQ(device.QueuedInput(), kGoodReply.size() - 1);
}

TEST_F(LinkOnVirtualLine, ProgressShowsElapsedAgainstTheBudget) {
  Connect();
  session.Info1.KVinit(40, 4);
  session.Info1.KVadd("Connecting");
  EXPECT_FALSE(link.ReceiveReply(200, true));
  ASSERT_TRUE(session.Info1.ShadedFromPercent().has_value());
}

TEST_F(LinkOnVirtualLine, RequestLengthOutsideTheFrameLimitsSendsNothing) {
  Connect();
  EXPECT_FALSE(link.Transact({0x61, 0x61, 0x61}, 4, 100));
  RequestWriter tooLong;
  tooLong.Put(Bytes(260, 0x61));
  EXPECT_FALSE(tooLong.Valid());
  EXPECT_FALSE(link.Transact(tooLong, 4, 100));
  EXPECT_EQ(tooLong.Size(), kMaxRequestLength);
  EXPECT_TRUE(peer.writeSizes.empty());
}

TEST_F(LinkOnVirtualLine, RatesCycleAndShowOnTheStatusBar) {
  Connect();
  EXPECT_EQ(op.statusBarPort.back(), " COM1 9600 bps");
  const std::vector<std::pair<std::uint32_t, std::string>> expected{
      {57600, " COM1 57600 bps"}, {115200, " COM1 115200 bps"}, {9600, " COM1 9600 bps"}};
  for (const auto& [rate, text] : expected) {
    ASSERT_TRUE(link.StepLinkRate());
    EXPECT_EQ(device.BitRate(), rate);
    EXPECT_EQ(op.statusBarPort.back(), text);
  }
  EXPECT_EQ(link.RateIndex(), 0);
  EXPECT_EQ(session.ExitCode, shell::kExitNone);
}

TEST_F(LinkOnVirtualLine, APortThatCannotBeOpenedSetsExitCode2AndStillShowsTheText) {
  link.KVRS().SetSelectedPort("COM3");
  device.SetBusy("COM3", true);
  link.SetRateIndex(1);
  EXPECT_FALSE(link.SetLinkRate());
  EXPECT_EQ(session.ExitCode, shell::kExitPortFailed);
  EXPECT_EQ(op.statusBarPort.back(), " COM3 57600 bps");
}

TEST_F(LinkOnVirtualLine, APortThatCannotBeReopenedEndsTheExchangeBeforeItsThirdAttempt) {
  link.KVRS().SetSelectedPort("COM3");
  device.SetBusy("COM3", true);
  Request(kConnect);
  const std::uint64_t start = clock.NowMs();
  EXPECT_FALSE(link.Transact(request, 4, 100));
  // Two attempts wait out their budgets on the closed line; the failed reopen ends it.
  EXPECT_EQ(Since(start), 200u);
  EXPECT_TRUE(peer.frames.empty());
  EXPECT_EQ(session.ExitCode, shell::kExitPortFailed);
}

TEST_F(LinkOnVirtualLine, ChosenPortIsOpenedWithoutTheDialogAtTheCurrentRate) {
  link.KVRS().SetSelectedPort("COM3");
  link.SetRateIndex(1);
  link.SetFastRsEnabled(false);
  ASSERT_TRUE(link.EnsurePortChosen(op));
  EXPECT_TRUE(op.portDialogs.empty());
  EXPECT_EQ(device.OpenName(), "COM3");
  EXPECT_EQ(device.BitRate(), 57600u);
  EXPECT_EQ(link.RateIndex(), 1);
  EXPECT_FALSE(link.FastRsEnabled());
}

TEST_F(LinkOnVirtualLine, TheDialogChoosesThePortAndFastRsAndRestartsTheRate) {
  link.SetRateIndex(2);
  op.portChoices.push_back(shell::PortChoice{"COM3", true});
  ASSERT_TRUE(link.EnsurePortChosen(op));
  ASSERT_EQ(op.portDialogs.size(), 1u);
  const auto& shown = op.portDialogs[0];
  ASSERT_EQ(shown.entries.size(), 3u);
  EXPECT_EQ(shown.entries[0].text, "&none");
  EXPECT_EQ(shown.entries[2].name, "COM3");
  EXPECT_EQ(link.KVRS().SelectedPort(), "COM3");
  EXPECT_TRUE(link.FastRsEnabled());
  EXPECT_EQ(link.RateIndex(), 0);
  EXPECT_EQ(device.BitRate(), 9600u);
  EXPECT_EQ(op.statusBarPort.back(), " COM3 9600 bps");

  // The box keeps the operator's choice for the next showing.
  link.KVRS().RSdone();
  link.KVRS().SelectNoPort();
  op.portChoices.push_back(shell::PortChoice{"COM1", false});
  ASSERT_TRUE(link.EnsurePortChosen(op));
  EXPECT_FALSE(link.FastRsEnabled());
  op.portChoices.push_back(std::nullopt);
  link.KVRS().RSdone();
  link.KVRS().SelectNoPort();
  EXPECT_FALSE(link.EnsurePortChosen(op));
  EXPECT_FALSE(op.portDialogs.back().fastRs);
}

TEST_F(LinkOnVirtualLine, CancellingTheDialogOpensNothing) {
  link.SetRateIndex(2);
  EXPECT_FALSE(link.EnsurePortChosen(op));
  EXPECT_EQ(op.portDialogs.size(), 1u);
  EXPECT_EQ(link.KVRS().SelectedPort(), "");
  EXPECT_TRUE(link.KVRS().PortButtons()[0].checked);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(link.RateIndex(), 2);
  EXPECT_EQ(session.ExitCode, shell::kExitNone);
  EXPECT_TRUE(op.statusBarPort.empty());
}

TEST_F(LinkOnVirtualLine, APortInUseSaysWhyWithoutShowingAnything) {
  link.KVRS().SetSelectedPort("COM1");
  device.SetBusy("COM1", true);
  EXPECT_FALSE(link.EnsurePortChosen(op));
  EXPECT_EQ(session.ExitCode, shell::kExitPortFailed);
  EXPECT_TRUE(op.boxes.empty());
  EXPECT_NE(link.KVRS().LastOpenResult().message.find("in use"), std::string::npos);
}

TEST_F(LinkOnVirtualLine, PumpWaitLetsTheTimePassInCappedTurns) {
  std::uint64_t start = clock.NowMs();
  link.PumpWait(100);
  EXPECT_EQ(Since(start), 100u);

  op.onProcessMessages = [&] { clock.Advance(1000); };
  int before = op.processMessagesCalls;
  link.PumpWait(500);
  EXPECT_EQ(op.processMessagesCalls - before, 10);  // ceil(500 / 55)

  int calls = 0;
  op.onProcessMessages = [&] {
    if (++calls == 5) session.StopRequested = true;
  };
  start = clock.NowMs();
  link.PumpWait(1000);
  EXPECT_EQ(calls, 5);
  EXPECT_EQ(Since(start), 5 * kPumpTurnMs);
}

// The tick counter's low 16 bits (and the full 32 bits) wrap during the exchange.
class LinkAcrossTickWrap : public LinkOnVirtualLine,
                           public ::testing::WithParamInterface<std::uint64_t> {
 protected:
  LinkAcrossTickWrap() : LinkOnVirtualLine(GetParam()) {}
};

TEST_P(LinkAcrossTickWrap, BudgetsAndRepliesAreTimedExactly) {
  Connect();
  Request(kConnect);
  std::uint64_t start = clock.NowMs();
  EXPECT_FALSE(link.Transact(request, 1, 700));
  EXPECT_EQ(Since(start), 700u);

  peer.answers.push_back(Answer{kGoodReply, 40, 3});
  start = clock.NowMs();
  EXPECT_TRUE(link.Transact(request, 1, 700));
  EXPECT_EQ(Since(start), 40u + 4 * 3);

  start = clock.NowMs();
  link.PumpWait(300);
  EXPECT_EQ(Since(start), 300u);
}

INSTANTIATE_TEST_SUITE_P(Wraps, LinkAcrossTickWrap,
                         ::testing::Values(65536 - 350, 3 * 65536 - 20, (1ull << 32) - 350));

}  // namespace
}  // namespace korvex::link
