#ifndef _WIN32

#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/terminal.h"

namespace korvex::cli {

TerminalTraits PrepareTerminal(std::FILE* out) {
  TerminalTraits traits;
  const int fd = fileno(out);
  if (fd < 0 || isatty(fd) == 0) return traits;
  traits.isTerminal = true;
  traits.takesEscapes = true;
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) == 0) traits.width = size.ws_col;
  return traits;
}

}  // namespace korvex::cli

#endif  // !_WIN32
