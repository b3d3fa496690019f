// A serial line to a simulated panel in the same process, on the virtual clock. What the PC
// writes reaches the peer at once with the current bit rate; what the peer sends becomes
// input at the virtual time the peer says; waiting for input moves the clock on to the
// peer's next arrival or to the end of the wait, whichever comes first.
#pragma once

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "link/line_peer.h"
#include "link/serial_device.h"
#include "shell/virtual_clock.h"

namespace korvex::link {

class InProcessDevice : public SerialDevice {
 public:
  // `ports` are the names this machine lists; every one of them leads to `peer`.
  InProcessDevice(LinePeer& peer, shell::VirtualClock& clock,
                  std::vector<PortInfo> ports = {{"COM1", "in-process panel"}});

  // Makes a port look held by another program: opening it fails as busy.
  void SetBusy(const std::string& name, bool busy);

  OpenResult Open(const std::string& name, std::uint32_t bitRate, char parity) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  std::size_t QueuedInput() override;
  bool ReadByte(std::uint8_t& b) override;
  bool Write(std::span<const std::uint8_t> bytes) override;
  bool WaitForInput(std::uint32_t timeoutMs) override;
  void SetDtr(bool on) override;
  void SetRts(bool on) override;
  bool Cts() override;
  std::vector<PortInfo> ListPorts() override { return ports_; }
  std::optional<AdapterLatency> Latency() const override { return latency; }

  // What Latency() reports, so that tests can play a slow USB adapter.
  std::optional<AdapterLatency> latency;

  // The settings of the open port (0 and '\0' when closed).
  std::uint32_t BitRate() const { return bitRate_; }
  char Parity() const { return parity_; }
  const std::string& OpenName() const { return openName_; }

 private:
  void Collect();

  LinePeer& peer_;
  shell::VirtualClock& clock_;
  std::vector<PortInfo> ports_;
  std::set<std::string> busy_;
  bool open_ = false;
  std::string openName_;
  std::uint32_t bitRate_ = 0;
  char parity_ = '\0';
  bool dtr_ = false;
  bool rts_ = false;
  std::deque<std::uint8_t> rx_;
};

}  // namespace korvex::link
