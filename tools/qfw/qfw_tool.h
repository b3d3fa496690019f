// The commands of the korvex-qfw file tool, apart from the process around them, so that
// they can be run and checked in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvex::qfw {

// Exit codes of the tool.
inline constexpr int kExitOk = 0;       // accepted / done
inline constexpr int kExitRefused = 1;  // the file is not accepted, or the input is inconsistent
inline constexpr int kExitUsage = 2;    // wrong command line, or a file cannot be read or written

// Runs one command; args are the command-line arguments after the program name.
int RunQfwTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The text of --help.
std::string HelpText();

}  // namespace korvex::qfw
