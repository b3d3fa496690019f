#ifndef _WIN32

#include "link/posix_serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace korvex::link {

namespace {

using SteadyClock = std::chrono::steady_clock;

std::optional<speed_t> SpeedFor(std::uint32_t bitRate) {
  switch (bitRate) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    default:
      return std::nullopt;
  }
}

int RemainingMs(SteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Lets the rest of a wait pass without a file to watch (a line that hung up).
void SleepUntil(SteadyClock::time_point deadline) {
  for (int left = RemainingMs(deadline); left > 0; left = RemainingMs(deadline)) {
    poll(nullptr, 0, left);
  }
}

void CloseQuietly(int fd) {
  while (close(fd) < 0 && errno == EINTR) {
  }
}

}  // namespace

OpenResult DescribeOpenFailure(int err, const std::string& path) {
  switch (err) {
    case EACCES:
    case EPERM:
      return {OpenError::kPermissionDenied,
              "No permission to open " + path + ". " + kSerialPermissionAdvice};
    case EBUSY:
    case EWOULDBLOCK:
      return {OpenError::kBusy, path + " is in use by another program."};
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return {OpenError::kMissing, path + " does not exist."};
    case ENOTTY:
      return {OpenError::kNotSerial, path + " is not a serial port."};
    default:
      return {OpenError::kOther, "Cannot open " + path + ": " + std::strerror(err)};
  }
}

PosixSerialDevice::PosixSerialDevice(PortListSources sources) : sources_(std::move(sources)) {}

PosixSerialDevice::~PosixSerialDevice() {
  Close();
}

PortListSources PosixSerialDevice::DefaultSources() {
  PortListSources sources;
  sources.env = ProcessEnvironment();
  sources.mayOpen = [](const std::filesystem::path& device) {
    return access(device.c_str(), R_OK | W_OK) == 0;
  };
  return sources;
}

OpenResult PosixSerialDevice::Open(const std::string& name, std::uint32_t bitRate, char parity) {
  Close();
  const std::string path = ResolvePortName(name, sources_.env);
  const auto speed = SpeedFor(bitRate);
  if (!speed) {
    return {OpenError::kBadSettings, path + ": unsupported bit rate " + std::to_string(bitRate)};
  }

  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return DescribeOpenFailure(errno, path);

  // Exclusive use. The advisory lock also holds against processes running as root, which
  // the terminal's exclusive mode lets through.
  if (flock(fd, LOCK_EX | LOCK_NB) < 0) {
    const int err = errno;
    CloseQuietly(fd);
    return DescribeOpenFailure(err == EWOULDBLOCK ? EBUSY : err, path);
  }
  termios tio{};
  if (tcgetattr(fd, &tio) < 0) {
    const int err = errno;
    CloseQuietly(fd);
    return DescribeOpenFailure(err == EINVAL ? ENOTTY : err, path);
  }
  ioctl(fd, TIOCEXCL);

  // Raw 8 bits, one stop bit, receiver on, modem status ignored, no flow control of any
  // kind, reads return at once with what is queued.
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
  tio.c_cflag |= CS8 | CREAD | CLOCAL;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  if (parity == 'E' || parity == 'e') {
    tio.c_cflag |= PARENB;
  } else if (parity == 'O' || parity == 'o') {
    tio.c_cflag |= PARENB | PARODD;
  }
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, *speed);
  cfsetospeed(&tio, *speed);
  if (tcsetattr(fd, TCSANOW, &tio) < 0) {
    const int err = errno;
    ioctl(fd, TIOCNXCL);
    CloseQuietly(fd);
    return {OpenError::kBadSettings, "Cannot set up " + path + ": " + std::strerror(err)};
  }

  fd_ = fd;
  rxHead_ = rxTail_ = 0;
  SetDtr(false);
  SetRts(false);
  return OpenResult::Success();
}

void PosixSerialDevice::Close() {
  if (fd_ < 0) return;
  // A pseudo-terminal keeps its exclusive mode while the other side stays open; clear it
  // so the next opening (a new bit rate) is not refused.
  ioctl(fd_, TIOCNXCL);
  CloseQuietly(fd_);
  fd_ = -1;
  rxHead_ = rxTail_ = 0;
}

std::size_t PosixSerialDevice::KernelQueued() const {
  int count = 0;
  if (ioctl(fd_, FIONREAD, &count) < 0 || count < 0) return 0;
  return static_cast<std::size_t>(count);
}

std::size_t PosixSerialDevice::QueuedInput() {
  if (fd_ < 0) return 0;
  return (rxTail_ - rxHead_) + KernelQueued();
}

bool PosixSerialDevice::FillBuffer() {
  rxHead_ = rxTail_ = 0;
  for (;;) {
    const ssize_t got = read(fd_, rx_.data(), rx_.size());
    if (got > 0) {
      rxTail_ = static_cast<std::size_t>(got);
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    return false;  // nothing queued (EAGAIN), end of line or an error
  }
}

bool PosixSerialDevice::ReadByte(std::uint8_t& b) {
  if (fd_ < 0) return false;
  if (rxHead_ == rxTail_ && !FillBuffer()) return false;
  b = rx_[rxHead_++];
  return true;
}

bool PosixSerialDevice::Write(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0) return false;
  std::size_t done = 0;
  auto stallDeadline = SteadyClock::now() + std::chrono::milliseconds(kWriteStallTimeoutMs);
  while (done < bytes.size()) {
    const ssize_t put = write(fd_, bytes.data() + done, bytes.size() - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
      stallDeadline = SteadyClock::now() + std::chrono::milliseconds(kWriteStallTimeoutMs);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    // The output queue is full: wait until the driver takes more.
    const int left = RemainingMs(stallDeadline);
    if (left == 0) return false;
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, left) < 0 && errno != EINTR) return false;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
  }
  return true;
}

bool PosixSerialDevice::WaitForInput(std::uint32_t timeoutMs) {
  if (fd_ < 0) return false;
  if (rxHead_ != rxTail_) return true;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, RemainingMs(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      SleepUntil(deadline);
      return false;
    }
    if (ready == 0) return false;
    if (KernelQueued() > 0) return true;
    // Readable without data: the other side hung up. Let the time pass, so a caller that
    // waits in a loop does not spin.
    SleepUntil(deadline);
    return false;
  }
}

void PosixSerialDevice::SetModemLine(int line, bool on) {
  if (fd_ < 0) return;
  ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line);  // fails on pseudo-terminals: no such line
}

void PosixSerialDevice::SetDtr(bool on) {
  SetModemLine(TIOCM_DTR, on);
}
void PosixSerialDevice::SetRts(bool on) {
  SetModemLine(TIOCM_RTS, on);
}

bool PosixSerialDevice::Cts() {
  if (fd_ < 0) return false;
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) < 0) return false;
  return (lines & TIOCM_CTS) != 0;
}

std::vector<PortInfo> PosixSerialDevice::ListPorts() {
  return ListPosixPorts(sources_);
}

}  // namespace korvex::link

#endif  // _WIN32
