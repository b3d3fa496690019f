#include "link/frame.h"

#include <gtest/gtest.h>

#include <numeric>

namespace korvex::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(RequestFrame, MatchesTheDocumentedWireBytes) {
  EXPECT_EQ(EncodeRequestFrame(Bytes{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}),
            (Bytes{0xFF, 0xFF, 0x04, 0x0D, 0xFF, 0x00, 0xEE, 0xAA, 0xBB, 0xCC, 0xDD, 0x9B, 0x64,
                   0xFF}));
  EXPECT_EQ(EncodeRequestFrame(Bytes{0x62, 0x34, 0x12, 0x07, 0x01}),
            (Bytes{0xFF, 0xFF, 0x02, 0x62, 0x34, 0x12, 0x01, 0x07, 0x43, 0x3A, 0xFF}));
}

TEST(RequestFrame, StuffsCheckBytesButNeverTheEndMark) {
  // Find a request whose sum byte is 0xFF: 0x93 + 0x6C = 0xFF.
  const Bytes request{0x6C, 0x00, 0x00, 0x00};
  const Bytes wire = EncodeRequestFrame(request);
  ASSERT_EQ(wire.size(), 3u + 4u + 2u + 1u + 1u);
  EXPECT_EQ(wire[7], 0xFF);
  EXPECT_EQ(wire[8], 0x00);
  EXPECT_EQ(wire.back(), 0xFF);
  EXPECT_NE(wire[wire.size() - 2], 0xFF);
}

TEST(RequestFrame, LongestFrameIsAllStuffedAndLengthWraps) {
  const Bytes request(kMaxRequestLength, 0xFF);
  const Bytes wire = EncodeRequestFrame(request);
  EXPECT_EQ(wire[2], 0x00);  // a 256-byte body is announced as 0
  EXPECT_LE(wire.size(), 526u);
}

ReplyReceiver::Buffer FeedAll(const Bytes& bytes, bool* ok) {
  ReplyReceiver::Buffer reply{};
  ReplyReceiver receiver(reply);
  for (auto b : bytes) receiver.Feed(b);
  *ok = receiver.ChecksMatch();
  return reply;
}

TEST(ReplyReceiver, AcceptsDocumentedRepliesAndRejectsAnySingleChange) {
  for (const Bytes& good : {Bytes{0x01, 0x92, 0x00, 0x25, 0xEA}, Bytes{0x01, 0x91, 0x00, 0x24, 0xE9}}) {
    bool ok = false;
    const auto reply = FeedAll(good, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(reply[1], good[1]);
    for (std::size_t i = 1; i < good.size(); ++i) {
      Bytes bad = good;
      bad[i] ^= 0x10;
      FeedAll(bad, &ok);
      EXPECT_FALSE(ok) << "changed byte " << i;
    }
  }
}

TEST(ReplyReceiver, CountZeroNeedsAllOf256DataBytes) {
  Bytes data(256);
  std::iota(data.begin(), data.end(), 0);
  Bytes wire = EncodeReplyFrame(0x92, data);
  ASSERT_EQ(wire[0], 0x00);
  bool ok = false;
  FeedAll(Bytes(wire.begin(), wire.end() - 1), &ok);
  EXPECT_FALSE(ok);
  const auto reply = FeedAll(wire, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(reply[2 + 255], 255);
}

TEST(RequestParser, RecoversEveryEncodedRequestAtEverySplit) {
  const std::vector<Bytes> requests{
      {0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}, {0x62, 0x34, 0x12, 0x07, 0x01},
      Bytes(kMaxRequestLength, 0xFF), {0x6C, 0x00, 0x00, 0x00}};
  for (const Bytes& request : requests) {
    Bytes stream{0x12, 0xFF, 0x00};  // noise before the frame is skipped
    const Bytes wire = EncodeRequestFrame(request);
    stream.insert(stream.end(), wire.begin(), wire.end());
    RequestParser parser;
    int frames = 0;
    for (auto b : stream) {
      if (parser.Feed(b) == RequestParser::Result::kFrame) {
        ++frames;
        EXPECT_EQ(parser.Request(), request);
      }
    }
    EXPECT_EQ(frames, 1);
  }
}

TEST(RequestParser, RejectsBrokenChecksAndStuffing) {
  Bytes wire = EncodeRequestFrame(Bytes{0x62, 0x34, 0x12, 0x07, 0x01});
  wire[4] ^= 1;
  RequestParser parser;
  RequestParser::Result last{};
  for (auto b : wire) last = parser.Feed(b);
  EXPECT_EQ(last, RequestParser::Result::kRejected);

  Bytes unstuffed = EncodeRequestFrame(Bytes{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA});
  unstuffed[5] = 0x01;  // the 0x00 after a stuffed 0xFF
  bool rejected = false;
  for (auto b : unstuffed) rejected |= parser.Feed(b) == RequestParser::Result::kRejected;
  EXPECT_TRUE(rejected);
}

}  // namespace
}  // namespace korvex::link
