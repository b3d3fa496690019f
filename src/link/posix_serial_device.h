// The serial line on POSIX systems through termios. Works on real UARTs, USB adapters and
// pseudo-terminals (socat, ser2net, the panel simulator); on the latter the modem-line calls
// fail, which reads as CTS off and is not an error.
#pragma once

#ifndef _WIN32

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/port_names.h"
#include "link/serial_device.h"

namespace korvex::link {

// How long a write may make no progress (output queue full) before it is given up.
inline constexpr int kWriteStallTimeoutMs = 2000;

class PosixSerialDevice : public SerialDevice {
 public:
  // Ports are listed from `sources`; port names "COM<n>" resolve through its environment.
  explicit PosixSerialDevice(PortListSources sources = DefaultSources());
  ~PosixSerialDevice() override;
  PosixSerialDevice(const PosixSerialDevice&) = delete;
  PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

  // The real machine: /sys/class/tty, /dev/serial/by-id and the process environment.
  static PortListSources DefaultSources();

  OpenResult Open(const std::string& name, std::uint32_t bitRate, char parity) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  std::size_t QueuedInput() override;
  bool ReadByte(std::uint8_t& b) override;
  bool Write(std::span<const std::uint8_t> bytes) override;
  bool WaitForInput(std::uint32_t timeoutMs) override;
  void SetDtr(bool on) override;
  void SetRts(bool on) override;
  bool Cts() override;
  std::vector<PortInfo> ListPorts() override;
  std::optional<AdapterLatency> Latency() const override { return latency_; }

 private:
  std::size_t KernelQueued() const;
  bool FillBuffer();
  void SetModemLine(int line, bool on);

  PortListSources sources_;
  int fd_ = -1;
  // Bytes already taken from the driver but not yet handed out by ReadByte.
  std::array<std::uint8_t, 512> rx_{};
  std::size_t rxHead_ = 0;
  std::size_t rxTail_ = 0;
  // The USB adapter's latency timer, read when the port was opened.
  std::optional<AdapterLatency> latency_;
};

// The message and kind for an open() failure with errno `err` on `path`.
OpenResult DescribeOpenFailure(int err, const std::string& path);

}  // namespace korvex::link

#endif  // _WIN32
