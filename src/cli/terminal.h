// What the terminal behind an output stream can do, found out (and on Windows prepared) by
// the platform's own calls.
#pragma once

#include <cstdio>

namespace korvex::cli {

struct TerminalTraits {
  bool isTerminal = false;    // a terminal or console, not a file or pipe
  bool takesEscapes = false;  // it interprets ANSI escape sequences (cursor, colour)
  int width = 0;              // its columns; 0 when unknown
};

// On Windows this switches the console to UTF-8 output and, where the console supports it,
// to virtual-terminal processing; a console without it gets plain lines.
TerminalTraits PrepareTerminal(std::FILE* out);

}  // namespace korvex::cli
