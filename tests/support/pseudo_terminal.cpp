#ifndef _WIN32

#include "support/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "link/frame.h"

namespace korvex::testing {

PseudoTerminal::PseudoTerminal() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
    if (const char* name = ptsname(master_)) path_ = name;
  }
}

PseudoTerminal::~PseudoTerminal() {
  CloseMaster();
}

void PseudoTerminal::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

bool PseudoTerminal::Write(const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = write(master_, bytes.data() + done, bytes.size() - done);
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

PseudoTerminal::Bytes PseudoTerminal::Read(std::size_t count) {
  Bytes out;
  while (out.size() < count) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0) break;
    std::uint8_t buffer[4096];
    const ssize_t got = read(master_, buffer, std::min(sizeof(buffer), count - out.size()));
    if (got <= 0) break;
    out.insert(out.end(), buffer, buffer + got);
  }
  return out;
}

termios PseudoTerminal::Settings() const {
  termios tio{};
  tcgetattr(master_, &tio);
  return tio;
}

PanelThread::PanelThread(int master, std::function<Bytes(const Bytes&)> reply)
    : master_(master), reply_(std::move(reply)), thread_([this] { Run(); }) {}

PanelThread::~PanelThread() {
  stop_ = true;
  thread_.join();
}

void PanelThread::Run() {
  link::RequestParser parser;
  while (!stop_) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    std::uint8_t buffer[1024];
    const ssize_t got = read(master_, buffer, sizeof(buffer));
    if (got <= 0) continue;
    for (ssize_t i = 0; i < got; ++i) {
      if (parser.Feed(buffer[i]) != link::RequestParser::Result::kFrame) continue;
      ++frames_;
      const Bytes answer = reply_(parser.Request());
      std::size_t done = 0;
      while (done < answer.size()) {
        const ssize_t put = write(master_, answer.data() + done, answer.size() - done);
        if (put <= 0) return;
        done += static_cast<std::size_t>(put);
      }
      lastSent_ = Clock::now().time_since_epoch().count();
    }
  }
}

}  // namespace korvex::testing

#endif  // _WIN32
