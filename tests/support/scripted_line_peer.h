// The far end of an in-process line for link tests: it decodes the request frames the PC
// writes and answers each from a script (bytes, when they arrive, how they are spaced), and
// records frames, bit rates, modem-line changes and times.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "link/frame.h"
#include "link/line_peer.h"

namespace korvex::testing {

class ScriptedLinePeer : public link::LinePeer {
 public:
  using Bytes = std::vector<std::uint8_t>;

  // What the peer sends after a frame: the first byte arrives delayMs after the frame was
  // received, each further byte spacingMs after the one before.
  struct Answer {
    Bytes bytes;
    std::uint64_t delayMs = 1;
    std::uint64_t spacingMs = 0;
  };
  struct ReceivedFrame {
    Bytes request;
    std::uint32_t bitRate;
    std::uint64_t atMs;
  };

  // Answers to the frames in order; a frame without a scripted answer gets none.
  std::deque<std::optional<Answer>> answers;
  // When set, answers every frame instead of `answers`.
  std::function<std::optional<Answer>(const ReceivedFrame&)> respond;
  bool cts = false;

  std::vector<ReceivedFrame> frames;
  std::vector<std::size_t> writeSizes;            // bytes per write of the PC
  std::vector<std::pair<bool, bool>> modemLines;  // (DTR, RTS) after every change

  // Sends bytes that arrive at atMs whatever was asked (noise, stray bytes).
  void Send(const Bytes& bytes, std::uint64_t atMs, std::uint64_t spacingMs = 0);

  void Receive(std::span<const std::uint8_t> bytes, std::uint32_t bitRate,
               std::uint64_t nowMs) override;
  std::vector<std::uint8_t> Collect(std::uint64_t nowMs) override;
  std::optional<std::uint64_t> NextArrivalMs() const override;
  void SetModemLines(bool dtr, bool rts, std::uint64_t nowMs) override;
  bool Cts(std::uint64_t nowMs) const override;

 private:
  link::RequestParser parser_;
  std::deque<std::pair<std::uint64_t, std::uint8_t>> pending_;  // in arrival order
};

}  // namespace korvex::testing
