// The serial line on Windows: the COM device opened exclusively with the driver's queues,
// time-outs and device-control block set for raw 8-bit transfers without flow control.
// Ports are listed from HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, each described by the friendly
// name SetupAPI gives its device ("USB Serial Port (COM7)") or else by its driver's device.
#pragma once

#ifdef _WIN32

#include <cstdint>

#include "link/serial_device.h"

namespace korvex::link {

inline constexpr std::uint32_t kDriverQueueBytes = 1024;

class Win32SerialDevice : public SerialDevice {
 public:
  Win32SerialDevice() = default;
  ~Win32SerialDevice() override;
  Win32SerialDevice(const Win32SerialDevice&) = delete;
  Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

  OpenResult Open(const std::string& name, std::uint32_t bitRate, char parity) override;
  void Close() override;
  bool IsOpen() const override;
  std::size_t QueuedInput() override;
  bool ReadByte(std::uint8_t& b) override;
  bool Write(std::span<const std::uint8_t> bytes) override;
  bool WaitForInput(std::uint32_t timeoutMs) override;
  void SetDtr(bool on) override;
  void SetRts(bool on) override;
  bool Cts() override;
  std::vector<PortInfo> ListPorts() override;

 private:
  void* handle_ = nullptr;  // HANDLE; nullptr when closed
  // A byte taken by WaitForInput's timed read, handed out by the next ReadByte.
  bool hasPending_ = false;
  std::uint8_t pending_ = 0;
};

}  // namespace korvex::link

#endif  // _WIN32
