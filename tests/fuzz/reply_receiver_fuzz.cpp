// libFuzzer harness for the PC side's reply receiver: the input is whatever arrives on the
// line. The receiver must never write outside its buffer, must complete after exactly
// Dcnt (0 meaning 256) + 4 bytes, and a reply it accepts must be exactly the frame the
// encoder makes from its answer code and data. Any crash, sanitizer report or abort is a
// finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "link/frame.h"

namespace {

using korvex::link::EncodeReplyFrame;
using korvex::link::ReplyReceiver;

// Feeds bytes until the receiver completes; the number of bytes taken.
std::size_t FeedUntilComplete(ReplyReceiver& receiver, std::span<const std::uint8_t> input) {
  std::size_t taken = 0;
  while (taken < input.size() && !receiver.Complete()) receiver.Feed(input[taken++]);
  return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> input(data, size);
  // The receiver is reused from reply to reply, as the link does across attempts.
  while (!input.empty()) {
    ReplyReceiver::Buffer buffer{};
    ReplyReceiver receiver(buffer);
    const std::size_t taken = FeedUntilComplete(receiver, input);
    if (!receiver.Complete()) {
      if (receiver.ChecksMatch()) std::abort();  // an incomplete reply is never accepted
      break;
    }
    const std::size_t count = input[0] == 0 ? 256 : input[0];
    if (taken != count + 4) std::abort();
    if (receiver.ChecksMatch()) {
      const std::vector<std::uint8_t> again =
          EncodeReplyFrame(buffer[1], std::span<const std::uint8_t>(buffer.data() + 2, count));
      if (!std::equal(again.begin(), again.end(), input.begin(), input.begin() + taken)) {
        std::abort();
      }
    }
    input = input.subspan(taken);
  }
  return 0;
}
