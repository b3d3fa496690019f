// The program's one serial port component: the list of the machine's ports with the chosen
// one (`SelectedPort`), probing which ports can be opened, and the open line with its
// 1024-byte transmit buffer, non-blocking single-byte reads and the modem lines. It sits on a
// SerialDevice; the port dialog draws its list and the link layer sends and receives through
// it. Everything runs on the one user-interface thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/serial_device.h"
#include "shell/clock.h"
#include "shell/message_pump.h"

namespace korvex::link {

inline constexpr std::size_t kTxBufferSize = 1024;
inline constexpr int kMaxPortCount = 255;
// Probing opens each port at this rate without parity.
inline constexpr std::uint32_t kProbeBitRate = 115200;
inline constexpr char kNoParity = 'N';
// The short pause between probes: three turns of this sleep, each after a message turn.
inline constexpr std::uint32_t kScanPauseMs = 8;
inline constexpr int kScanPauseTurns = 3;

inline constexpr const char* kNoPortText = "&none";
inline constexpr const char* kNoPortTextPlain = "non&e";  // without port accelerators
inline constexpr const char* kAcceleratorPool = "1234567890";

// The port list's order: true when name a is placed after name b. A leading "COM" (capital
// letters only) is set aside; when both rests are whole numbers they are compared as numbers,
// otherwise the whole names are compared byte by byte. This is not a total order for mixed
// names, so SortPortNames' exchange procedure decides the outcome.
bool PortNameGreater(const std::string& a, const std::string& b);
void SortPortNames(std::vector<std::string>& names);

// The label of list entry `name` when accelerators are used: the first digit of `pool` that
// occurs in the name gets an "&" before its first occurrence and is taken out of the pool.
std::string AcceleratedPortText(const std::string& name, std::string& pool);

struct PortButton {
  std::string text;  // label with its accelerator mark
  bool enabled = true;
  bool checked = false;
};

class TKVRS {
 public:
  TKVRS(SerialDevice& device, shell::Clock& clock, shell::MessagePump& messages);

  // --- The port list -----------------------------------------------------------------
  // Lists and sorts the machine's ports (at most 255), closes the line, rebuilds the entries
  // (entry 0 is the no-port entry) and checks entry 0, so SelectedPort becomes empty.
  void KVinit(bool accelerators);
  // True when the machine lists exactly this port name.
  bool PortExists(const std::string& name);
  // Enables the entries of the ports that can be opened (each is opened and closed again);
  // with doNotScan every entry is enabled and no port is touched.
  void CheckAvail(bool doNotScan);
  void KVdisable();
  // The operator checked entry `index` (0 = no port): SelectedPort follows, then the click
  // callback runs.
  void PortButtonClick(std::size_t index);
  void SetClickCallback(std::function<void()> callback) { click_ = std::move(callback); }
  // Checks the no-port entry and empties SelectedPort (a forgotten choice).
  void SelectNoPort() { PortButtonClick(0); }

  int PortCount() const { return static_cast<int>(portNames_.size()); }
  // Entry i of the sorted names, 1..PortCount.
  const std::string& PortNames(int i) const {
    return portNames_.at(static_cast<std::size_t>(i - 1));
  }
  // What the machine says about port entry i, 1..PortCount (may be empty).
  const std::string& PortDescription(int i) const {
    return portDescriptions_.at(static_cast<std::size_t>(i - 1));
  }
  const std::vector<PortButton>& PortButtons() const { return buttons_; }

  // The chosen port, empty when none. The automatic mode sets it directly.
  const std::string& SelectedPort() const { return selectedPort_; }
  void SetSelectedPort(std::string name) { selectedPort_ = std::move(name); }

  // --- The line ----------------------------------------------------------------------
  // Drops queued output, then makes sure SelectedPort is open at rate and parity: an open
  // port with the same settings is kept and its received bytes are discarded; otherwise the
  // port is (re)opened and DTR, then RTS, switched on. False without a port or when it
  // cannot be opened (LastOpenResult says why).
  [[nodiscard]] bool RSinitbps(std::uint32_t rate, char parity);
  // Takes one received byte if one is waiting; never waits. False (b unchanged) otherwise.
  bool RSread(std::uint8_t& b);
  // Queues and flushes; false when a write failed.
  [[nodiscard]] bool RSwrite(std::span<const std::uint8_t> bytes);
  // Writes the transmit buffer in one piece and empties it. False when the port refused the
  // write (the bytes are dropped either way) or no port is open while bytes wait.
  [[nodiscard]] bool RSflush();
  // Queues bytes for sending, flushing first whenever the buffer is full. Nothing without an
  // open port (false then), and false when a flush on the way failed.
  [[nodiscard]] bool RSadd(std::span<const std::uint8_t> bytes);
  [[nodiscard]] bool RSadd(std::uint8_t b) { return RSadd(std::span<const std::uint8_t>(&b, 1)); }
  // Discards input for ms milliseconds; returns the milliseconds that passed (mod 65536).
  std::uint16_t RSclear(std::uint16_t ms);
  bool RSgetCTS();
  void RSsetDTR();
  void RSclrDTR();
  void RSsetRTS();
  void RSclrRTS();
  // Closes the port if open; TxBuffer is left as it is.
  void RSdone();

  // Opens and sets up any named port without making it the open port of RSinitbps.
  bool OpenPort(const std::string& name, std::uint32_t rate, char parity);
  // The short pause between probes; lets the front end handle its messages.
  void ScanPause();

  // The one wait for input: returns when a byte is queued or ms have passed. Without an open
  // port the time simply passes.
  bool WaitForInput(std::uint32_t ms);

  bool IsOpen() const { return device_.IsOpen(); }
  const std::string& OpenPortName() const { return openPortName_; }
  std::uint32_t OpenRate() const { return openRate_; }
  char OpenParity() const { return openParity_; }
  std::size_t TxCount() const { return txCount_; }
  // The outcome of the last attempt to open a port.
  const OpenResult& LastOpenResult() const { return lastOpen_; }
  // The latency timer of the USB adapter behind the open port, where one is known.
  std::optional<AdapterLatency> AdapterLatencyOfPort() const { return device_.Latency(); }

 private:
  SerialDevice& device_;
  shell::Clock& clock_;
  shell::MessagePump& messages_;

  std::vector<std::string> portNames_;
  std::vector<std::string> portDescriptions_;
  std::vector<PortButton> buttons_;
  std::function<void()> click_;
  std::string selectedPort_;

  std::array<std::uint8_t, kTxBufferSize> txBuffer_{};
  std::size_t txCount_ = 0;
  std::string openPortName_;
  std::uint32_t openRate_ = 0;
  char openParity_ = '\0';
  OpenResult lastOpen_;
};

}  // namespace korvex::link
