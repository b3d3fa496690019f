// The command line of korvex-cli: the unattended programming form of the window program
// (FILE PORT [hasla komunikacji] [FSK=0x...]) and the terminal's own commands. Pure logic.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "shell/run_options.h"

namespace korvex::cli {

enum class CliCommandKind {
  kHelp,     // --help, -h
  kRun,      // the window program's command line: operands as given (file, port, options)
  kTest,     // test FILE PORT
  kRestart,  // restart PORT
  kCheck,    // check FILE
  kPorts,    // ports
  kUsage,    // a command with the wrong number of operands; `error` says what is wrong
};

struct CliCommand {
  CliCommandKind kind = CliCommandKind::kRun;
  std::vector<std::string> operands;  // after the command word (kRun: every parameter)
  std::string error;
  shell::RunOptions options;  // the "--" options, taken out wherever they stood
};

// Decides the command once the "--" run options are taken out (an unknown or bad option is a
// usage error). A first parameter that is a command word selects that command; a
// firmware file of such a name is given with its folder ("./test").
CliCommand ParseCliCommand(std::span<const std::string> args);

// What a PORT operand may be on this platform, for messages ("a COM port number ...").
std::string PortKindsText();

// The --help text: every form, the port names, the options and every exit code.
std::string HelpText();

// One line saying what an exit code means.
std::string ExitCodeMeaning(int code);

}  // namespace korvex::cli
