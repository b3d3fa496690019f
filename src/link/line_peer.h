// The far end of an in-process serial line (the panel simulator in tests). It hears what the
// PC writes at the line's current bit rate and hands back reply bytes at the virtual time they
// become available, so a whole run can be played on a virtual clock.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace korvex::link {

class LinePeer {
 public:
  virtual ~LinePeer() = default;

  // The PC wrote `bytes` at `bitRate` (9600, 57600 or 115200) at virtual time nowMs.
  virtual void Receive(std::span<const std::uint8_t> bytes, std::uint32_t bitRate,
                       std::uint64_t nowMs) = 0;
  // Reply bytes that have arrived by nowMs, removed from the peer's output queue.
  virtual std::vector<std::uint8_t> Collect(std::uint64_t nowMs) = 0;
  // The virtual time at which the next pending reply byte arrives, if any is pending.
  virtual std::optional<std::uint64_t> NextArrivalMs() const = 0;
  // Modem lines: DTR and RTS driven by the PC, CTS read by it.
  virtual void SetModemLines(bool dtr, bool rts, std::uint64_t nowMs) = 0;
  virtual bool Cts(std::uint64_t nowMs) const = 0;
};

}  // namespace korvex::link
