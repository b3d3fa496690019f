#include "cli/cli_command.h"

#include <cstddef>

#include "shell/command_line.h"
#include "shell/session.h"

namespace korvex::cli {

namespace {

struct CommandForm {
  const char* word;
  CliCommandKind kind;
  std::size_t operands;
  const char* usage;
};

constexpr CommandForm kForms[] = {
    {"test", CliCommandKind::kTest, 2, "test FILE PORT"},
    {"restart", CliCommandKind::kRestart, 1, "restart PORT"},
    {"check", CliCommandKind::kCheck, 1, "check FILE"},
    {"ports", CliCommandKind::kPorts, 0, "ports"},
};

}  // namespace

CliCommand ParseCliCommand(std::span<const std::string> allArgs) {
  CliCommand command;
  shell::OptionSplit split = shell::TakeRunOptions(allArgs);
  if (!split.error.empty()) {
    command.kind = CliCommandKind::kUsage;
    command.error = split.error;
    return command;
  }
  command.options = split.options;
  const std::span<const std::string> args = split.params;
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    command.kind = CliCommandKind::kHelp;
    return command;
  }
  for (const CommandForm& form : kForms) {
    if (args.empty() || args[0] != form.word) continue;
    command.operands.assign(args.begin() + 1, args.end());
    if (command.operands.size() == form.operands) {
      command.kind = form.kind;
    } else {
      command.kind = CliCommandKind::kUsage;
      command.error = std::string("usage: korvex-cli ") + form.usage;
    }
    return command;
  }
  command.kind = CliCommandKind::kRun;
  command.operands.assign(args.begin(), args.end());
  // The terminal also takes the port by its name; the window's command line knows only the
  // number, so the name becomes the number before those rules apply.
  if (command.operands.size() >= 2) {
    if (const auto number = shell::ComPortNumberOfName(command.operands[1])) {
      command.operands[1] = std::to_string(*number);
    }
  }
  return command;
}

namespace {

// The help text before and after the list of run options, which their table gives.
constexpr const char* kHelpForms = R"(Usage:
  korvex-cli FILE PORT [hasla komunikacji] [FSK=0x...]
                         program a panel: one Program run that asks nothing
  korvex-cli FILE        check the firmware file only
  korvex-cli test FILE PORT
                         compare the panel with the file (a Test run); nothing is written
  korvex-cli restart PORT
                         restart the panel only
  korvex-cli check FILE  check a firmware file
  korvex-cli ports       list the machine's serial ports with their descriptions
  korvex-cli --help      show this text

FILE  a SOLANTA firmware file (*.qfw). A file named like a command ("test", "check",
      "restart", "ports") is given with its folder, for example ./test.
%PORT%
The Program run checks the file, connects to the panel's starter (stepping through 9600,
57600 and 115200 bit/s), compares the programs, erases, writes and verifies the FLASH when
the panel's program differs, updates the ST program when needed and restarts the panel.
Options after FILE PORT:
  hasla komunikacji   both words, exactly so: reset the panel's communication codes at the
                      end of the run
  FSK=0xONLY          only the ST program is compared and updated; the FLASH is not written
  FSK=0xSKIP          the ST program is neither compared nor updated
  FSK=0xHHLL          the ST program receives the bytes HH and LL (hexadecimal digits, each
                      byte at most 3F) instead of the ones read from the panel
  FSK=0x....only      any of the three forms followed by "only": that form, and only the ST
                      program is handled
  An FSK option with other characters in place of HHLL, or a byte above 3F, ends the program
  at once without a run (exit code 0). Another last parameter in the place of the FSK option
  has no effect. A PORT that is not a valid port, or 6 or more parameters, make no run
  (exit code 0).

Run options, anywhere on the line; they are taken out before the forms above are read, and
an unknown option makes no run (exit code 0):
)";

constexpr const char* kHelpExitCodes = R"(
Output: the status lines as they complete; on a terminal the line in progress is drawn with
a progress bar. Messages are printed as "ERROR: ...", "WARNING: ...", "INFO: ..." lines and
questions as "QUESTION: ... -> Yes" with the answer that lets the operation go on (No to
"Cancel operation ?"). %STOP%

Exit codes:
  0  nothing was run (no parameters, a port that is not valid, an FSK option out of range,
     a wrong command, a firmware file refused only for its version), or: check accepted
     the file, restart restarted the panel, ports and --help finished
  1  the firmware file is missing or is not a valid firmware file (check: the file is not
     accepted, also when its version is outside the range this tool accepts)
  2  the port cannot be opened or set to the bit rate (test, restart: also a PORT that is
     not %PORTKINDS%)
  3  no connection with the panel's starter, or a starter request failed (connect,
     identify, erase, program, verify); restart: the starter did not answer or it was stopped
  4  the panel's starter is too old (below 6.1), the ST program update failed, or the
     starter update failed
  5  success: the run (Program or Test) ended normally and nothing was written to the panel
  6  success: the Program run ended normally and the panel was written (FLASH, ST program or
     starter)
A run that fails or is stopped keeps the code of its failure; success is 5 or 6 only.
)";

// What the help says of ports and of stopping differs by platform: COM ports and the console
// on Windows, device paths and signals elsewhere.
#ifdef _WIN32
constexpr const char* kPortHelp =
    R"(PORT  a COM port: its number 1..255 (decimal; hexadecimal after "$", "x" or "0x") or its
      name, COM7, com7 or \\.\COM12. "korvex-cli ports" lists the machine's COM ports
      with the names of their devices.
)";
constexpr const char* kStopHelp =
    R"(Ctrl+C, Ctrl+Break or closing the console window stops the
operation the way the Stop button does; a second Ctrl+C ends the program at once with exit
code 130.)";
#else
constexpr const char* kPortHelp =
    R"(PORT  a COM port number 1..255 (decimal; hexadecimal after "$", "x" or "0x"), a COM port
      name (COM7, com7, \\.\COM12: the same as its number), or a device path beginning with
      "/". COM n is the device named by the environment variable KORVEX_COM<n> when it is
      set, else /dev/ttyS<n-1>.
)";
constexpr const char* kStopHelp =
    R"(Ctrl+C or SIGTERM stops the operation the way the Stop button
does; a second one ends the program at once.)";
#endif

std::string Replaced(std::string text, std::string_view mark, std::string_view by) {
  const std::size_t at = text.find(mark);
  if (at != std::string::npos) text.replace(at, mark.size(), by);
  return text;
}

}  // namespace

std::string PortKindsText() {
#ifdef _WIN32
  return "a COM port number 1..255 or a COM port name such as COM7";
#else
  return "a port number 1..255, a COM port name or a device path";
#endif
}

std::string HelpText() {
  std::string text = Replaced(kHelpForms, "%PORT%", kPortHelp);
  text += shell::RunOptionsHelp();
  text += Replaced(Replaced(kHelpExitCodes, "%STOP%", kStopHelp), "%PORTKINDS%", PortKindsText());
  return text;
}

std::string ExitCodeMeaning(int code) {
  switch (code) {
    case shell::kExitNone:
      return "nothing was run";
    case shell::kExitBadFile:
      return "the firmware file is missing or not valid";
    case shell::kExitPortFailed:
      return "the port cannot be opened";
    case shell::kExitNoConnection:
      return "no connection with the panel, or a starter request failed";
    case shell::kExitUpdateFailed:
      return "starter too old, or the ST program or starter update failed";
    case shell::kExitNothingWritten:
      return "success, nothing was written to the panel";
    case shell::kExitWritten:
      return "success, the panel was written";
    default:
      return "unknown";
  }
}

}  // namespace korvex::cli
