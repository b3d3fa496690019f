#include "link/st_command.h"

#include <gtest/gtest.h>

#include "starter_line_fixture.h"

namespace korvex::link {
namespace {

TEST(StCommandBudget, WaitSecondsPlusHalfASecond) {
  struct Case {
    std::uint8_t wait;
    std::uint16_t budget;
  };
  for (const Case& c : {Case{0, 500}, Case{2, 2500}, Case{60, 60500}, Case{65, 65500},
                        Case{66, 65535}, Case{255, 65535}}) {
    EXPECT_EQ(StBudgetMs(c.wait), c.budget) << int{c.wait};
  }
}

TEST(StWrongAnswerText, ShowsTheExpectationAndAtMostTenReceivedValues) {
  struct Case {
    Bytes received;  // LinkReply from position 0
    std::string rsbuf;
  };
  const std::vector<Case> cases{
      {{0x03, 0x92, 0x41, 0x01, 0x02}, "RSbuf = 0x03 0x92 0x41 0x01 0x02"},
      {{0x01, 0x93, 0x00}, "RSbuf = 0x01 0x93 0x00"},
      {{0x08, 0x92, 1, 2, 3, 4, 5, 6, 7, 8},
       "RSbuf = 0x08 0x92 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08"},
      {{0x0C, 0x92, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
       "RSbuf = 0x0C 0x92 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 ..."},
      {{0x09, 0xAB, 0xCD, 2, 3, 4, 5, 6, 7, 0xEF, 0xFE},
       "RSbuf = 0x09 0xAB 0xCD 0x02 0x03 0x04 0x05 0x06 0x07 0xEF ..."},
  };
  for (const Case& c : cases) {
    ReplyReceiver::Buffer reply{};
    std::copy(c.received.begin(), c.received.end(), reply.begin());
    EXPECT_EQ(StWrongAnswerText(0x3A, 0x40, 0x03, reply),
              "cmd = 0x3A\nExpected Answer = 0x40\nExpected Dcnt = 0x03\n" + c.rsbuf +
                  "\n\nCancel operation ?");
  }
}

using StCommandOnLine = StarterOnScriptedLine;

TEST_F(StCommandOnLine, AnAcceptedAnswerIsTheReply) {
  const Bytes command{0x3A, 0xFF, 0x10};
  AnswerAll(Reply(0x92, {0x40, 0x05, 0x06}));
  std::vector<std::uint8_t> reply{9, 9};
  EXPECT_TRUE(starter.StCommand(command, 5, 0x40, reply, false, 3));
  EXPECT_EQ(reply, (Bytes{0x40, 0x05, 0x06}));
  ASSERT_EQ(peer.frames.size(), 1u);
  EXPECT_EQ(peer.frames[0].request, (Bytes{0x90, 0x05, 0x03, 0x03, 0x3A, 0xFF, 0x10}));
  EXPECT_TRUE(op.boxes.empty());

  // A count of 0 stands for 256 data bytes.
  Bytes data(256, 0x33);
  data[0] = 0x41;
  AnswerAll(Reply(0x92, data));
  EXPECT_TRUE(starter.StCommand(command, 1, 0x41, reply, false, 0));
  EXPECT_EQ(reply, data);
}

TEST_F(StCommandOnLine, WrongAnswersAskTheOperatorAndPauseBeforeTheNextTry) {
  const Bytes command{0x3A};
  // Expected count and answer code, but another first data byte.
  AnswerAll(Reply(0x92, {0x41, 0x01, 0x02}));
  op.defaultAnswer = false;  // No: go on
  std::vector<std::uint8_t> reply{1};
  EXPECT_FALSE(starter.StCommand(command, 2, 0x40, reply, false, 3));
  EXPECT_TRUE(reply.empty());
  ASSERT_EQ(peer.frames.size(), 4u);
  ASSERT_EQ(op.boxes.size(), 4u);
  for (const auto& box : op.boxes) {
    EXPECT_EQ(box.text,
              "cmd = 0x3A\nExpected Answer = 0x40\nExpected Dcnt = 0x03\n"
              "RSbuf = 0x03 0x92 0x41 0x01 0x02\n\nCancel operation ?");
    EXPECT_EQ(box.kind, shell::MessageKind::kConfirmation);
    EXPECT_FALSE(box.okOnly);
  }
  // Each reply arrives 5 ms after its request; then the 500 ms pause.
  for (std::size_t i = 1; i < peer.frames.size(); ++i) {
    EXPECT_EQ(peer.frames[i].atMs - peer.frames[i - 1].atMs, 505u);
  }
  EXPECT_FALSE(session.StopRequested);
}

TEST_F(StCommandOnLine, YesCancelsTheOperation) {
  AnswerAll(Reply(0x93));
  op.answers = {true};
  std::vector<std::uint8_t> reply;
  EXPECT_FALSE(starter.StCommand(Bytes{0x3A}, 2, 0x40, reply, false, 1));
  EXPECT_TRUE(session.StopRequested);
  EXPECT_EQ(peer.frames.size(), 1u);
  EXPECT_EQ(op.boxes.size(), 1u);
}

TEST_F(StCommandOnLine, FailuresOfEachKindAreCountedApart) {
  const Bytes good = Reply(0x92, {0x40});
  const Bytes wrong = Reply(0x92, {0x41});
  struct Case {
    const char* what;
    std::vector<std::optional<Bytes>> exchanges;
    bool result;
    std::size_t frames, boxes;
  };
  const std::vector<Case> cases{
      {"silent", {}, false, 16, 0},
      {"three of each kind, then good",
       {wrong, std::nullopt, wrong, std::nullopt, wrong, std::nullopt, good},
       true,
       16,
       3},
      {"wrong count", {Reply(0x92, {0x40, 0x00}), good}, true, 2, 1},
  };
  op.defaultAnswer = false;
  for (const Case& c : cases) {
    ClearRecords();
    op.boxes.clear();
    AnswerExchanges(c.exchanges, kStAttempts);
    std::vector<std::uint8_t> reply;
    EXPECT_EQ(starter.StCommand(Bytes{0x3A}, 0, 0x40, reply, false, 1), c.result) << c.what;
    EXPECT_EQ(peer.frames.size(), c.frames) << c.what;
    EXPECT_EQ(op.boxes.size(), c.boxes) << c.what;
    EXPECT_EQ(reply.empty(), !c.result) << c.what;
  }
}

TEST_F(StCommandOnLine, TheWaitSetsTheBudgetOfEachAttempt) {
  AnswerAll(std::nullopt);
  std::vector<std::uint8_t> reply;
  const std::uint64_t start = clock.NowMs();
  EXPECT_FALSE(starter.StCommand(Bytes{0x3A, 0x01}, 60, 0x40, reply, false, 1));
  ASSERT_EQ(peer.frames.size(), 16u);
  EXPECT_EQ(peer.frames[1].atMs - peer.frames[0].atMs, 60500u);
  // Four exchanges of four attempts, each followed by the pause.
  EXPECT_EQ(Since(start), 4u * (4 * 60500 + 500));
}

TEST_F(StCommandOnLine, ACommandTooLongForOneRequestIsNotSent) {
  std::vector<std::uint8_t> reply{1};
  EXPECT_FALSE(starter.StCommand(Bytes(256, 0x01), 1, 0x40, reply, false, 1));
  EXPECT_TRUE(reply.empty());
  EXPECT_TRUE(peer.frames.empty());
  // 255 bytes fill the request exactly.
  AnswerAll(Reply(0x92, {0x40}));
  EXPECT_TRUE(starter.StCommand(Bytes(255, 0x01), 1, 0x40, reply, false, 1));
  ASSERT_EQ(peer.frames.size(), 1u);
  EXPECT_EQ(peer.frames[0].request.size(), 259u);
  EXPECT_EQ(peer.frames[0].request[3], 255);
}

}  // namespace
}  // namespace korvex::link
