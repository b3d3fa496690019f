#include "sim/sim_line_peer.h"

namespace korvex::sim {

namespace {

constexpr std::uint64_t kUsPerMs = 1000;

}  // namespace

void SimLinePeer::Receive(std::span<const std::uint8_t> bytes, std::uint32_t bitRate,
                          std::uint64_t nowMs) {
  pcRate_ = bitRate;
  panel_.Hear(bytes, bitRate, nowMs * kUsPerMs);
}

std::vector<std::uint8_t> SimLinePeer::Collect(std::uint64_t nowMs) {
  std::vector<std::uint8_t> bytes;
  for (const OutByte& b : panel_.TakeOutput(nowMs * kUsPerMs)) {
    if (pcRate_ == 0 || b.bitRate == pcRate_) bytes.push_back(b.value);
  }
  return bytes;
}

std::optional<std::uint64_t> SimLinePeer::NextArrivalMs() const {
  const auto us = panel_.NextOutputUs();
  if (!us) return std::nullopt;
  return (*us + kUsPerMs - 1) / kUsPerMs;  // the byte is there at the end of its millisecond
}

void SimLinePeer::SetModemLines(bool dtr, bool rts, std::uint64_t nowMs) {
  panel_.SetModemLines(dtr, rts, nowMs * kUsPerMs);
}

bool SimLinePeer::Cts(std::uint64_t nowMs) const {
  return panel_.Cts(nowMs * kUsPerMs);
}

}  // namespace korvex::sim
