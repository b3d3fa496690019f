#ifdef _WIN32

#include <io.h>

#include "cli/terminal.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace korvex::cli {

TerminalTraits PrepareTerminal(std::FILE* out) {
  TerminalTraits traits;
  const int fd = _fileno(out);
  if (fd < 0) return traits;
  HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  DWORD mode = 0;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) return traits;
  traits.isTerminal = true;
  // Texts are UTF-8 inside the program (file names included).
  SetConsoleOutputCP(CP_UTF8);
  traits.takesEscapes = (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
                        SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(console, &info)) {
    traits.width = info.srWindow.Right - info.srWindow.Left + 1;
  }
  return traits;
}

}  // namespace korvex::cli

#endif  // _WIN32
