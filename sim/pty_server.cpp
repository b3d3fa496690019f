#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace korvex::sim {

namespace {

constexpr int kIdlePollMs = 50;    // the loop wakes at least this often
constexpr int kAbsentPollMs = 20;  // how often a closed port is looked at again
constexpr std::size_t kReadChunk = 4096;
constexpr char kWakeStop = 'q';
constexpr char kWakeStarter = 's';
constexpr char kWakePower = 'p';

}  // namespace

std::uint32_t RateOfSpeed(unsigned speed) {
  switch (speed) {
    case B1200:
      return 1200;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    case B230400:
      return 230400;
    default:
      return 0;
  }
}

PtyServer::PtyServer(PanelModel& panel) : panel_(panel), start_(std::chrono::steady_clock::now()) {}

PtyServer::~PtyServer() {
  if (!linkPath_.empty()) {
    char target[512] = {};
    const ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n > 0 && portPath_ == std::string(target, static_cast<std::size_t>(n)))
      unlink(linkPath_.c_str());
  }
  if (master_ >= 0) close(master_);
  for (int fd : wake_) {
    if (fd >= 0) close(fd);
  }
}

std::uint64_t PtyServer::NowUs() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now() - start_)
                                        .count());
}

void PtyServer::Log(const std::string& line) {
  if (log_) log_(NowUs(), line);
}

bool PtyServer::Open(std::string* error) {
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    return false;
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) return fail("posix_openpt");
  if (grantpt(master_) != 0) return fail("grantpt");
  if (unlockpt(master_) != 0) return fail("unlockpt");
  const char* name = ptsname(master_);
  if (name == nullptr) return fail("ptsname");
  portPath_ = name;
  const int flags = fcntl(master_, F_GETFL);
  if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
  if (pipe(wake_) != 0) return fail("pipe");
  for (int fd : wake_) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  // Until a program configures the port it is a raw 8N1 line at 9600, like the panel's.
  const int slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slave >= 0) {
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
      cfmakeraw(&t);
      cfsetispeed(&t, B9600);
      cfsetospeed(&t, B9600);
      tcsetattr(slave, TCSANOW, &t);
    }
    close(slave);
  }
  pollfd probe{master_, POLLIN, 0};
  present_ = poll(&probe, 1, 0) >= 0 && !(probe.revents & POLLHUP);
  return true;
}

bool PtyServer::PlaceLink(const std::string& path, std::string* error) {
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      if (error) *error = path + " exists and is not a symbolic link";
      return false;
    }
    unlink(path.c_str());
  }
  if (symlink(portPath_.c_str(), path.c_str()) != 0) {
    if (error) *error = "cannot link " + path + ": " + std::strerror(errno);
    return false;
  }
  linkPath_ = path;
  return true;
}

void PtyServer::Stop() {
  [[maybe_unused]] auto n = write(wake_[1], &kWakeStop, 1);
}
void PtyServer::RequestEnterStarter() {
  [[maybe_unused]] auto n = write(wake_[1], &kWakeStarter, 1);
}
void PtyServer::RequestPowerCycle() {
  [[maybe_unused]] auto n = write(wake_[1], &kWakePower, 1);
}

void PtyServer::Watch(int fd, std::function<bool()> onReadable) {
  watched_.emplace_back(fd, std::move(onReadable));
}

std::uint32_t PtyServer::PcRate() const {
  termios t{};
  // On the master side the terminal settings are those the PC made on its side.
  if (tcgetattr(master_, &t) != 0) return 0;
  if ((t.c_cflag & CSIZE) != CS8 || (t.c_cflag & PARENB) != 0) return 0;
  return RateOfSpeed(static_cast<unsigned>(cfgetospeed(&t)));
}

bool PtyServer::HandleWake() {
  char codes[64];
  const ssize_t n = read(wake_[0], codes, sizeof codes);
  for (ssize_t i = 0; i < n; ++i) {
    switch (codes[i]) {
      case kWakeStop:
        return false;
      case kWakeStarter:
        panel_.EnterStarter(NowUs());
        break;
      case kWakePower:
        panel_.PowerCycle(NowUs());
        break;
      default:
        break;
    }
  }
  return true;
}

void PtyServer::FlushSlaveInput() {
  // Bytes the PC did not read before closing would wait for its next open; a real port
  // starts empty, so they go.
  const int slave = open(portPath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (slave < 0) return;
  tcflush(slave, TCIFLUSH);
  close(slave);
}

void PtyServer::MarkAbsent() {
  if (!present_) return;
  present_ = false;
  panel_.DiscardOutput();
  FlushSlaveInput();
  Log("the PC closed the port");
}

void PtyServer::ReadInput() {
  std::array<std::uint8_t, kReadChunk> buffer{};
  for (;;) {
    const ssize_t n = read(master_, buffer.data(), buffer.size());
    if (n > 0) {
      panel_.Hear(std::span(buffer).first(static_cast<std::size_t>(n)), PcRate(), NowUs());
      continue;
    }
    if (n < 0 && errno == EIO) MarkAbsent();
    return;
  }
}

void PtyServer::SendDue() {
  const std::vector<OutByte> due = panel_.TakeOutput(NowUs());
  if (due.empty()) return;
  const std::uint32_t pcRate = PcRate();
  std::vector<std::uint8_t> bytes;
  std::uint64_t garbage = 0;
  for (const OutByte& b : due) {
    if (present_ && b.bitRate == pcRate) {
      bytes.push_back(b.value);
    } else {
      ++garbage;
    }
  }
  if (garbage != 0) {
    droppedReplyBytes_ += garbage;
    Log(std::to_string(garbage) +
        " reply byte(s) lost: the PC's port is closed or at another rate");
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EAGAIN) {
      pollfd out{master_, POLLOUT, 0};
      if (poll(&out, 1, kAbsentPollMs) > 0) continue;
    }
    Log(std::to_string(bytes.size() - done) + " reply byte(s) could not be written");
    return;
  }
}

int PtyServer::WaitTimeoutMs(std::uint64_t now, std::uint64_t deadline) const {
  std::uint64_t waitUs = static_cast<std::uint64_t>(present_ ? kIdlePollMs : kAbsentPollMs) * 1000;
  if (const auto next = panel_.NextOutputUs())
    waitUs = std::min(waitUs, *next > now ? *next - now : 0);
  waitUs = std::min(waitUs, deadline - now);
  return static_cast<int>((waitUs + 999) / 1000);
}

std::vector<pollfd> PtyServer::WatchedDescriptors(bool pollMaster) const {
  std::vector<pollfd> fds;
  fds.push_back({wake_[0], POLLIN, 0});
  if (pollMaster) fds.push_back({master_, POLLIN, 0});
  for (const auto& [fd, handler] : watched_) fds.push_back({fd, POLLIN, 0});
  return fds;
}

void PtyServer::ProbeForPc() {
  pollfd probe{master_, POLLIN, 0};
  if (poll(&probe, 1, 0) >= 0 && !(probe.revents & POLLHUP)) {
    present_ = true;
    Log("the PC opened the port");
    if (probe.revents & POLLIN) ReadInput();
  }
}

void PtyServer::HandleReady(const std::vector<pollfd>& fds, bool polledMaster) {
  std::size_t i = 0;
  if (fds[i++].revents & POLLIN) {
    if (!HandleWake()) stop_ = true;
  }
  if (polledMaster) {
    const short revents = fds[i++].revents;
    if (revents & POLLIN) ReadInput();
    if (revents & (POLLHUP | POLLERR)) MarkAbsent();
  } else {
    ProbeForPc();
  }
  for (const auto& [fd, handler] : watched_) {
    if ((fds[i++].revents & POLLIN) && !handler()) stop_ = true;
  }
}

void PtyServer::Run(std::optional<std::uint64_t> runForMs) {
  const std::uint64_t deadline = runForMs ? NowUs() + *runForMs * 1000 : UINT64_MAX;
  stop_ = false;
  while (!stop_) {
    const std::uint64_t now = NowUs();
    if (now >= deadline) break;
    SendDue();
    // A closed port reports a hang-up at once and on every poll; it is looked at again
    // after the wait instead.
    const bool polledMaster = present_;
    std::vector<pollfd> fds = WatchedDescriptors(polledMaster);
    const int ready = poll(fds.data(), fds.size(), WaitTimeoutMs(now, deadline));
    if (ready < 0 && errno != EINTR) break;
    HandleReady(fds, polledMaster);
  }
  SendDue();
}

}  // namespace korvex::sim
