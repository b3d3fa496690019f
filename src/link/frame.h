// The wire format of one starter exchange, free of I/O so both the PC side and the
// panel simulator use the same code.
//
// Request (PC to panel): FF FF L, then stuffed: Req1 Req2 Req3, the body last byte first,
// S and X, then an unstuffed FF end mark. Every stuffed 0xFF is followed by an extra 0x00.
// Reply (panel to PC): Dcnt A data... S X, no marks and no stuffing; Dcnt 0 means 256.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace korvex::link {

inline constexpr std::size_t kMinRequestLength = 4;    // command, two parameters, one body byte
inline constexpr std::size_t kMaxRequestLength = 259;  // the body holds at most 256 bytes
inline constexpr std::size_t kMaxReplyData = 256;
inline constexpr std::uint8_t kSumSeed = 0x93;
inline constexpr std::uint8_t kXorSeed = 0x78;

// The two check bytes over a run of bytes: S = 0x93 + sum, X = 0x78 xor all.
struct FrameChecks {
  std::uint8_t sum = kSumSeed;
  std::uint8_t xr = kXorSeed;
  void Add(std::uint8_t b) {
    sum = static_cast<std::uint8_t>(sum + b);
    xr = static_cast<std::uint8_t>(xr ^ b);
  }
};

// Frames request bytes Req1..Reqn (n = request.size(), 4..259) as they go on the wire.
std::vector<std::uint8_t> EncodeRequestFrame(std::span<const std::uint8_t> request);

// Frames a reply: answer code and 0..256 data bytes (256 is sent as Dcnt 0).
std::vector<std::uint8_t> EncodeReplyFrame(std::uint8_t answer, std::span<const std::uint8_t> data);

// PC side: takes reply bytes one at a time into a buffer laid out like `LinkReply`
// (position 0 Dcnt, 1 answer code, 2.. data). The first byte fed is taken as Dcnt.
class ReplyReceiver {
 public:
  using Buffer = std::array<std::uint8_t, 2 + kMaxReplyData>;

  explicit ReplyReceiver(Buffer& reply) : reply_(reply) {}

  void Feed(std::uint8_t b);
  bool Complete() const { return state_ == State::kComplete; }
  // True when complete and both received check bytes match the answer code and data.
  bool ChecksMatch() const;

 private:
  enum class State { kCount, kAnswer, kData, kSum, kXor, kComplete };
  Buffer& reply_;
  State state_ = State::kCount;
  std::size_t remaining_ = 0;
  std::size_t next_ = 2;
  std::uint8_t receivedSum_ = 0;
  std::uint8_t receivedXor_ = 0;
};

// Panel side: finds request frames in a byte stream. Bytes that do not form a frame are
// skipped; a frame with wrong check bytes or broken stuffing is reported as rejected.
class RequestParser {
 public:
  enum class Result { kNeedMore, kFrame, kRejected };

  Result Feed(std::uint8_t b);
  // The request of the last kFrame result, positions 1..n as Req1..Reqn (body un-reversed).
  const std::vector<std::uint8_t>& Request() const { return request_; }
  void Reset();

 private:
  enum class State { kIdle, kSecondMark, kLength, kStuffed, kStuffZero, kEndMark };
  Result Reject();
  void Store(std::uint8_t b);

  State state_ = State::kIdle;
  std::size_t expected_ = 0;  // stuffed bytes of the frame: 3 + body + S + X
  std::size_t received_ = 0;
  std::vector<std::uint8_t> stuffed_;  // unstuffed content in wire order
  std::vector<std::uint8_t> request_;
};

}  // namespace korvex::link
