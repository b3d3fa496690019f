#include "link/in_process_device.h"

#include <algorithm>

namespace korvex::link {

InProcessDevice::InProcessDevice(LinePeer& peer, shell::VirtualClock& clock,
                                 std::vector<PortInfo> ports)
    : peer_(peer), clock_(clock), ports_(std::move(ports)) {}

void InProcessDevice::SetBusy(const std::string& name, bool busy) {
  if (busy) {
    busy_.insert(name);
  } else {
    busy_.erase(name);
  }
}

OpenResult InProcessDevice::Open(const std::string& name, std::uint32_t bitRate, char parity) {
  Close();
  const bool listed = std::any_of(ports_.begin(), ports_.end(),
                                  [&](const PortInfo& port) { return port.name == name; });
  if (!listed) return {OpenError::kMissing, name + " does not exist."};
  if (busy_.count(name) != 0) return {OpenError::kBusy, name + " is in use by another program."};
  open_ = true;
  openName_ = name;
  bitRate_ = bitRate;
  parity_ = parity;
  // What the panel sent while nobody listened is gone.
  peer_.Collect(clock_.NowMs());
  rx_.clear();
  SetDtr(false);
  SetRts(false);
  return OpenResult::Success();
}

void InProcessDevice::Close() {
  if (!open_) return;
  // Closing the port drops the modem lines, as a real driver does.
  SetDtr(false);
  SetRts(false);
  open_ = false;
  openName_.clear();
  bitRate_ = 0;
  parity_ = '\0';
  rx_.clear();
}

void InProcessDevice::Collect() {
  const std::vector<std::uint8_t> arrived = peer_.Collect(clock_.NowMs());
  rx_.insert(rx_.end(), arrived.begin(), arrived.end());
}

std::size_t InProcessDevice::QueuedInput() {
  if (!open_) return 0;
  Collect();
  return rx_.size();
}

bool InProcessDevice::ReadByte(std::uint8_t& b) {
  if (!open_) return false;
  if (rx_.empty()) Collect();
  if (rx_.empty()) return false;
  b = rx_.front();
  rx_.pop_front();
  return true;
}

bool InProcessDevice::Write(std::span<const std::uint8_t> bytes) {
  if (!open_) return false;
  peer_.Receive(bytes, bitRate_, clock_.NowMs());
  return true;
}

bool InProcessDevice::WaitForInput(std::uint32_t timeoutMs) {
  if (!open_) return false;
  const std::uint64_t deadline = clock_.NowMs() + timeoutMs;
  for (;;) {
    Collect();
    if (!rx_.empty()) return true;
    const std::uint64_t now = clock_.NowMs();
    if (now >= deadline) return false;
    const auto next = peer_.NextArrivalMs();
    // Move on to the next arrival (at least one millisecond, so a peer that keeps
    // announcing the present cannot stall the clock), or to the end of the wait.
    const std::uint64_t target = next ? std::clamp(*next, now + 1, deadline) : deadline;
    clock_.Advance(target - now);
  }
}

void InProcessDevice::SetDtr(bool on) {
  if (!open_) return;
  dtr_ = on;
  peer_.SetModemLines(dtr_, rts_, clock_.NowMs());
}

void InProcessDevice::SetRts(bool on) {
  if (!open_) return;
  rts_ = on;
  peer_.SetModemLines(dtr_, rts_, clock_.NowMs());
}

bool InProcessDevice::Cts() {
  return open_ && peer_.Cts(clock_.NowMs());
}

}  // namespace korvex::link
