// The program's command-line arguments as UTF-8 texts. On Windows they are read from the
// wide (UTF-16) command line, because the narrow argv of main() holds them in the ANSI code
// page, where a name like "Zażółć.qfw" is already lost.
#pragma once

#include <string>
#include <vector>

namespace korvex::shell {

// The arguments after the program's name.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace korvex::shell
