// One serial line as the program needs it: open a named port exclusively at a bit rate and
// parity (8 data bits, one stop bit, no flow control), count and read queued input one byte
// at a time without waiting, write a buffer whole, drive DTR and RTS, read CTS, close; and
// list the machine's ports. Backends: POSIX termios, Win32, and an in-process line to a
// simulated panel. TKVRS builds the program's port semantics on top of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvex::link {

// Why a port could not be opened; the message says it to a person (cause and fix).
enum class OpenError {
  kNone,
  kPermissionDenied,
  kBusy,
  kMissing,
  kNotSerial,
  kBadSettings,
  kOther
};

// The fix for a port this user may not open, in the port-open error and under the port list:
// on Debian and its kin the serial devices belong to the dialout group.
inline constexpr const char* kSerialPermissionAdvice =
    "Add your user to the dialout group (sudo usermod -a -G dialout $USER), then log in again.";

struct OpenResult {
  OpenError error = OpenError::kNone;
  std::string message;

  bool Ok() const { return error == OpenError::kNone; }
  static OpenResult Success() { return {}; }
};

// A port of the machine: its name as listed and opened, and a description where one is known
// (for example the USB adapter's identity).
struct PortInfo {
  std::string name;
  std::string description;
  // False when this user lacks the permission to open the port.
  bool mayOpen = true;
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Opens `name` for this program alone at `bitRate` with parity 'E'/'e' even, 'O'/'o' odd,
  // anything else none; DTR and RTS are switched off. Closes a port this device had open.
  virtual OpenResult Open(const std::string& name, std::uint32_t bitRate, char parity) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // Bytes received and not yet read (line errors are cleared on the way).
  virtual std::size_t QueuedInput() = 0;
  // Takes one received byte if one is queued; never waits for the line.
  virtual bool ReadByte(std::uint8_t& b) = 0;
  // Hands all of `bytes` to the line in order, never a part of them; false on a failure.
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
  // Waits at most timeoutMs for input to be queued and returns whether some is. Returns at
  // once when input is already queued. Requires an open port.
  virtual bool WaitForInput(std::uint32_t timeoutMs) = 0;

  // Modem lines. Where a line does not exist (pseudo-terminals) setting it does nothing and
  // CTS reads as off.
  virtual void SetDtr(bool on) = 0;
  virtual void SetRts(bool on) = 0;
  virtual bool Cts() = 0;

  // The serial ports of the machine, in no particular order.
  virtual std::vector<PortInfo> ListPorts() = 0;
};

}  // namespace korvex::link
