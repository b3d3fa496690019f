#include "support/scripted_line_peer.h"

#include <algorithm>

namespace korvex::testing {

void ScriptedLinePeer::Send(const Bytes& bytes, std::uint64_t atMs, std::uint64_t spacingMs) {
  std::uint64_t at = atMs;
  for (std::uint8_t b : bytes) {
    // Keep arrival order: a byte never overtakes one sent before it.
    if (!pending_.empty()) at = std::max(at, pending_.back().first);
    pending_.emplace_back(at, b);
    at += spacingMs;
  }
}

void ScriptedLinePeer::Receive(std::span<const std::uint8_t> bytes, std::uint32_t bitRate,
                               std::uint64_t nowMs) {
  writeSizes.push_back(bytes.size());
  for (std::uint8_t b : bytes) {
    if (parser_.Feed(b) != link::RequestParser::Result::kFrame) continue;
    frames.push_back({parser_.Request(), bitRate, nowMs});
    std::optional<Answer> answer;
    if (respond) {
      answer = respond(frames.back());
    } else if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    if (answer) Send(answer->bytes, nowMs + answer->delayMs, answer->spacingMs);
  }
}

std::vector<std::uint8_t> ScriptedLinePeer::Collect(std::uint64_t nowMs) {
  std::vector<std::uint8_t> arrived;
  while (!pending_.empty() && pending_.front().first <= nowMs) {
    arrived.push_back(pending_.front().second);
    pending_.pop_front();
  }
  return arrived;
}

std::optional<std::uint64_t> ScriptedLinePeer::NextArrivalMs() const {
  if (pending_.empty()) return std::nullopt;
  return pending_.front().first;
}

void ScriptedLinePeer::SetModemLines(bool dtr, bool rts, std::uint64_t) {
  modemLines.emplace_back(dtr, rts);
}

bool ScriptedLinePeer::Cts(std::uint64_t) const {
  return cts;
}

}  // namespace korvex::testing
