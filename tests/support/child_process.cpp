#include "support/child_process.h"

#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;
#include <cstdlib>
#include <thread>

namespace korvex::testing {

namespace {

using SteadyClock = std::chrono::steady_clock;

std::chrono::milliseconds Remaining(SteadyClock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - SteadyClock::now());
  return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

// The current environment with `env` laid over it, as NAME=value texts.
std::vector<std::string> MergedEnvironment(const Environment& env) {
  std::vector<std::string> merged;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& [n, v] : env) replaced = replaced || n == name;
    if (!replaced) merged.push_back(entry);
  }
  for (const auto& [name, value] : env) merged.push_back(name + "=" + value);
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& t : texts) pointers.push_back(t.data());
  pointers.push_back(nullptr);
  return pointers;
}

// In the child between fork and exec: only async-signal-safe calls (everything it needs
// was prepared before the fork).
[[noreturn]] void ExecChild(char* const* argv, char* const* envp, int outWrite) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int s : {SIGINT, SIGTERM, SIGPIPE, SIGHUP}) signal(s, SIG_DFL);
  const int devNull = open("/dev/null", O_RDONLY);
  if (devNull >= 0) dup2(devNull, STDIN_FILENO);
  dup2(outWrite, STDOUT_FILENO);
  dup2(outWrite, STDERR_FILENO);
  execve(argv[0], argv, envp);
  _exit(127);
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    ProcessResult ignored;
    Reap(ignored, true);
  }
  if (out_ >= 0) close(out_);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const Environment& env) {
  if (argv.empty() || pid_ > 0) return false;
  std::vector<std::string> argTexts = argv;
  std::vector<std::string> envTexts = MergedEnvironment(env);
  const std::vector<char*> args = Pointers(argTexts);
  const std::vector<char*> envp = Pointers(envTexts);
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return false;
  }
  if (pid == 0) ExecChild(args.data(), envp.data(), pipeFds[1]);
  close(pipeFds[1]);
  pid_ = pid;
  out_ = pipeFds[0];
  output_.clear();
  lineStart_ = 0;
  return true;
}

bool ChildProcess::ReadSome(std::chrono::milliseconds timeout) {
  if (out_ < 0) return false;
  pollfd p{out_, POLLIN, 0};
  const int ready = poll(&p, 1, static_cast<int>(timeout.count()));
  if (ready <= 0) return ready == 0 || errno == EINTR;
  char buffer[4096];
  const ssize_t n = read(out_, buffer, sizeof buffer);
  if (n > 0) {
    output_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  close(out_);  // end of output
  out_ = -1;
  return false;
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const auto end = SteadyClock::now() + timeout;
  while (output_.find(text) == std::string::npos) {
    if (Remaining(end).count() == 0 || !ReadSome(Remaining(end))) {
      return output_.find(text) != std::string::npos;
    }
  }
  return true;
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
  const auto end = SteadyClock::now() + timeout;
  for (;;) {
    const std::size_t eol = output_.find('\n', lineStart_);
    if (eol != std::string::npos) {
      std::string line = output_.substr(lineStart_, eol - lineStart_);
      lineStart_ = eol + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (Remaining(end).count() == 0 || !ReadSome(Remaining(end))) return std::nullopt;
  }
}

bool ChildProcess::Signal(int signal) {
  return pid_ > 0 && kill(pid_, signal) == 0;
}

void ChildProcess::Reap(ProcessResult& result, bool block) {
  int status = 0;
  const pid_t done = waitpid(pid_, &status, block ? 0 : WNOHANG);
  if (done != pid_) return;
  pid_ = -1;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

ProcessResult ChildProcess::Wait(std::chrono::milliseconds timeout) {
  ProcessResult result;
  const auto end = SteadyClock::now() + timeout;
  // Read until the output ends (the program and anything it started closed it) or time is up.
  while (out_ >= 0 && Remaining(end).count() > 0) ReadSome(Remaining(end));
  while (pid_ > 0 && Remaining(end).count() > 0) {
    Reap(result, false);
    if (pid_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (pid_ > 0) {
    result.timedOut = true;
    kill(pid_, SIGKILL);
    Reap(result, true);
  }
  while (out_ >= 0 && ReadSome(std::chrono::milliseconds(0))) {
  }
  result.output = output_;
  return result;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const Environment& env,
                         std::chrono::milliseconds timeout) {
  ChildProcess child;
  if (!child.Start(argv, env)) return {};
  return child.Wait(timeout);
}

}  // namespace korvex::testing

#endif  // _WIN32
