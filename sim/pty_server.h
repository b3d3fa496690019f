// Serves a simulated panel on a pseudo-terminal, so programs that open serial ports by name
// can talk to it. The PC's bit rate is read from the terminal settings whenever bytes
// arrive; bytes at a rate the panel does not listen on are garbage to it. The PC may close
// and reopen the port at any time (a rate change reopens it): what the panel sends while
// the port is closed is lost, as on a real line. Modem lines do not exist on a
// pseudo-terminal: the PC reads CTS as off.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/panel_model.h"

namespace korvex::sim {

// The bit rate of a termios speed constant (B9600 -> 9600); 0 for one this code does not know.
std::uint32_t RateOfSpeed(unsigned speed);

class PtyServer {
 public:
  using LogSink = std::function<void(std::uint64_t atUs, const std::string& line)>;

  explicit PtyServer(PanelModel& panel);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Creates the pseudo-terminal; PortPath() names its device afterwards.
  bool Open(std::string* error);
  const std::string& PortPath() const { return portPath_; }
  // Places a symbolic link to the port (replacing an older link there); removed again when
  // the server is destroyed.
  bool PlaceLink(const std::string& path, std::string* error);

  // Serves until Stop(), until a watched descriptor's handler returns false, or until
  // runForMs have passed.
  void Run(std::optional<std::uint64_t> runForMs = std::nullopt);
  // Safe from any thread: ends Run, or makes the panel enter its starter / be powered again.
  void Stop();
  void RequestEnterStarter();
  void RequestPowerCycle();
  // Watches another descriptor in Run (a signal descriptor, for one).
  void Watch(int fd, std::function<bool()> onReadable);

  void SetLogSink(LogSink sink) { log_ = std::move(sink); }
  // Microseconds since the server was made: the panel's clock.
  std::uint64_t NowUs() const;
  // The rate the PC's side of the terminal is set to, 0 when it is not 8 data bits without
  // parity (then every byte is garbage to the panel).
  std::uint32_t PcRate() const;
  bool PcPresent() const { return present_; }

 private:
  void Log(const std::string& line);
  void ReadInput();
  void SendDue();
  void MarkAbsent();
  void FlushSlaveInput();
  bool HandleWake();
  // One turn of Run: how long to wait, what to wait on, and what to do with what is ready.
  int WaitTimeoutMs(std::uint64_t now, std::uint64_t deadline) const;
  std::vector<pollfd> WatchedDescriptors(bool pollMaster) const;
  void HandleReady(const std::vector<pollfd>& fds, bool polledMaster);
  // While the PC has the port closed: whether it opened it again.
  void ProbeForPc();

  PanelModel& panel_;
  std::chrono::steady_clock::time_point start_;
  int master_ = -1;
  int wake_[2] = {-1, -1};
  std::string portPath_;
  std::string linkPath_;
  bool present_ = true;
  bool stop_ = false;
  std::vector<std::pair<int, std::function<bool()>>> watched_;
  std::uint64_t droppedReplyBytes_ = 0;
  LogSink log_;
};

}  // namespace korvex::sim
