#include "link/frame.h"

#include <cassert>

namespace korvex::link {

namespace {

void PushStuffed(std::vector<std::uint8_t>& out, std::uint8_t b) {
  out.push_back(b);
  if (b == 0xFF) out.push_back(0x00);
}

}  // namespace

std::vector<std::uint8_t> EncodeRequestFrame(std::span<const std::uint8_t> request) {
  assert(request.size() >= kMinRequestLength && request.size() <= kMaxRequestLength);
  const std::size_t n = request.size();
  std::vector<std::uint8_t> out;
  out.reserve(2 * n + 8);
  out.push_back(0xFF);
  out.push_back(0xFF);
  out.push_back(static_cast<std::uint8_t>((n - 3) % 256));
  FrameChecks checks;
  auto send = [&](std::uint8_t b) {
    PushStuffed(out, b);
    checks.Add(b);
  };
  for (std::size_t i = 0; i < 3; ++i) send(request[i]);
  for (std::size_t i = n; i > 3; --i) send(request[i - 1]);  // body, last byte first
  PushStuffed(out, checks.sum);
  PushStuffed(out, checks.xr);
  out.push_back(0xFF);
  return out;
}

std::vector<std::uint8_t> EncodeReplyFrame(std::uint8_t answer,
                                           std::span<const std::uint8_t> data) {
  assert(data.size() <= kMaxReplyData);
  std::vector<std::uint8_t> out;
  out.reserve(data.size() + 4);
  out.push_back(static_cast<std::uint8_t>(data.size() % 256));
  out.push_back(answer);
  FrameChecks checks;
  checks.Add(answer);
  for (std::uint8_t b : data) {
    out.push_back(b);
    checks.Add(b);
  }
  out.push_back(checks.sum);
  out.push_back(checks.xr);
  return out;
}

void ReplyReceiver::Feed(std::uint8_t b) {
  switch (state_) {
    case State::kCount:
      reply_[0] = b;
      state_ = State::kAnswer;
      break;
    case State::kAnswer:
      reply_[1] = b;
      remaining_ = reply_[0] == 0 ? kMaxReplyData : reply_[0];
      next_ = 2;
      state_ = State::kData;
      break;
    case State::kData:
      reply_[next_++] = b;
      if (--remaining_ == 0) state_ = State::kSum;
      break;
    case State::kSum:
      receivedSum_ = b;
      state_ = State::kXor;
      break;
    case State::kXor:
      receivedXor_ = b;
      state_ = State::kComplete;
      break;
    case State::kComplete:
      break;  // bytes after a complete reply are not part of it
  }
}

bool ReplyReceiver::ChecksMatch() const {
  if (!Complete()) return false;
  FrameChecks checks;
  checks.Add(reply_[1]);
  for (std::size_t i = 2; i < next_; ++i) checks.Add(reply_[i]);
  return checks.sum == receivedSum_ && checks.xr == receivedXor_;
}

void RequestParser::Reset() {
  state_ = State::kIdle;
  stuffed_.clear();
  received_ = 0;
  expected_ = 0;
}

RequestParser::Result RequestParser::Reject() {
  Reset();
  return Result::kRejected;
}

void RequestParser::Store(std::uint8_t b) {
  stuffed_.push_back(b);
  ++received_;
  state_ = received_ == expected_ ? State::kEndMark : State::kStuffed;
}

RequestParser::Result RequestParser::Feed(std::uint8_t b) {
  switch (state_) {
    case State::kIdle:
      if (b == 0xFF) state_ = State::kSecondMark;
      return Result::kNeedMore;
    case State::kSecondMark:
      state_ = b == 0xFF ? State::kLength : State::kIdle;
      return Result::kNeedMore;
    case State::kLength:
      expected_ = 3 + (b == 0 ? 256u : b) + 2;
      received_ = 0;
      stuffed_.clear();
      state_ = State::kStuffed;
      return Result::kNeedMore;
    case State::kStuffed:
      if (b == 0xFF) {
        stuffed_.push_back(b);
        ++received_;
        state_ = State::kStuffZero;
      } else {
        Store(b);
      }
      return Result::kNeedMore;
    case State::kStuffZero:
      if (b != 0x00) return Reject();
      state_ = received_ == expected_ ? State::kEndMark : State::kStuffed;
      return Result::kNeedMore;
    case State::kEndMark: {
      if (b != 0xFF) return Reject();
      const std::size_t n = expected_ - 2;  // request length Req1..Reqn
      FrameChecks checks;
      for (std::size_t i = 0; i < n; ++i) checks.Add(stuffed_[i]);
      if (checks.sum != stuffed_[n] || checks.xr != stuffed_[n + 1]) return Reject();
      request_.assign(stuffed_.begin(), stuffed_.begin() + 3);
      for (std::size_t i = n; i > 3; --i) request_.push_back(stuffed_[i - 1]);
      Reset();
      return Result::kFrame;
    }
  }
  return Result::kNeedMore;
}

}  // namespace korvex::link
