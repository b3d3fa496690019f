// A pseudo-terminal pair for tests and benchmarks: the program opens the slave path like a
// serial port, the test plays the panel on the master side (directly or with a thread that
// answers request frames).
#pragma once

#ifndef _WIN32

#include <termios.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace korvex::testing {

class PseudoTerminal {
 public:
  using Bytes = std::vector<std::uint8_t>;

  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool Ok() const { return !path_.empty(); }
  // The slave's path, e.g. /dev/pts/4.
  const std::string& Path() const { return path_; }
  int Master() const { return master_; }
  void CloseMaster();

  // Writes all bytes on the master side; false on failure.
  bool Write(const Bytes& bytes);
  // Reads what the program wrote until `count` bytes came or a second passed without any.
  Bytes Read(std::size_t count);
  // The slave's terminal settings as the program left them.
  termios Settings() const;

 private:
  int master_ = -1;
  std::string path_;
};

// Answers every request frame that arrives on a master side at once, from its own thread.
class PanelThread {
 public:
  using Bytes = std::vector<std::uint8_t>;
  using Clock = std::chrono::steady_clock;

  // `reply` maps a request (Req1..Reqn) to the bytes to send back (none when empty).
  PanelThread(int master, std::function<Bytes(const Bytes&)> reply);
  ~PanelThread();
  PanelThread(const PanelThread&) = delete;
  PanelThread& operator=(const PanelThread&) = delete;

  int Frames() const { return frames_; }
  // When the last reply was completely handed to the line.
  Clock::time_point LastReplySent() const { return Clock::time_point(Clock::duration(lastSent_)); }

 private:
  void Run();

  int master_;
  std::function<Bytes(const Bytes&)> reply_;
  std::atomic<bool> stop_{false};
  std::atomic<int> frames_{0};
  std::atomic<Clock::rep> lastSent_{0};
  std::thread thread_;
};

}  // namespace korvex::testing

#endif  // _WIN32
