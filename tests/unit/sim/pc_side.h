// The PC's side of a line to a simulated panel, for the simulator's own tests: frames a
// request with the shared encoder, lets the panel hear it, and reads the reply back with
// the shared receiver, moving the panel's clock on as a real exchange would.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "link/frame.h"
#include "sim/panel_model.h"

namespace korvex::sim::testing {

struct Reply {
  std::vector<std::uint8_t> raw;  // every byte that arrived, in order
  bool valid = false;             // complete with matching check bytes
  std::uint8_t count = 0;
  std::uint8_t answer = 0;
  std::vector<std::uint8_t> data;
};

class PcSide {
 public:
  explicit PcSide(PanelModel& panel, std::uint32_t rate = 9600) : panel_(panel), rate_(rate) {}

  void SetRate(std::uint32_t rate) { rate_ = rate; }
  std::uint32_t Rate() const { return rate_; }
  std::uint64_t NowUs() const { return nowUs_; }
  void Wait(std::uint64_t ms) {
    nowUs_ += ms * 1000;
    panel_.Advance(nowUs_);
  }

  // Sends raw bytes and collects what the panel sends back within waitMs, taking each byte
  // at the time it arrives (as a real port would), so the panel's clock never runs ahead.
  std::vector<std::uint8_t> SendRaw(const std::vector<std::uint8_t>& bytes, std::uint64_t waitMs) {
    panel_.Hear(bytes, rate_, nowUs_);
    const std::uint64_t until = nowUs_ + waitMs * 1000;
    std::vector<std::uint8_t> got;
    std::uint64_t last = 0;
    bool any = false;
    for (auto next = panel_.NextOutputUs(); next && *next <= until; next = panel_.NextOutputUs()) {
      for (const OutByte& b : panel_.TakeOutput(*next)) {
        // A byte sent at another rate is garbage on this side of the line.
        if (b.bitRate == rate_) got.push_back(b.value);
        last = b.atUs;
        any = true;
      }
    }
    // The exchange ends with the reply's last byte, or when the wait is over.
    nowUs_ = any ? last + 1 : until;
    panel_.Advance(nowUs_);
    return got;
  }

  // One exchange: the request Req1..Reqn, and the reply as the PC's receiver takes it.
  Reply Exchange(const std::vector<std::uint8_t>& request, std::uint64_t waitMs = 3000) {
    Reply reply;
    reply.raw = SendRaw(link::EncodeRequestFrame(request), waitMs);
    link::ReplyReceiver::Buffer buffer{};
    link::ReplyReceiver receiver(buffer);
    for (std::uint8_t b : reply.raw) receiver.Feed(b);
    reply.valid = receiver.ChecksMatch();
    if (reply.raw.size() >= 2) {
      reply.count = buffer[0];
      reply.answer = buffer[1];
      const std::size_t n = buffer[0] == 0 ? 256 : buffer[0];
      if (reply.valid)
        reply.data.assign(buffer.begin() + 2, buffer.begin() + 2 + static_cast<std::ptrdiff_t>(n));
    }
    return reply;
  }

  Reply Connect() { return Exchange({0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}); }
  Reply CheckToken() { return Exchange({0x1F, 0x1F, 0x1F, 0x1F}); }

 private:
  PanelModel& panel_;
  std::uint32_t rate_;
  std::uint64_t nowUs_ = 0;
};

}  // namespace korvex::sim::testing
