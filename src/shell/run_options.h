// Options beyond the unattended command line's forms (read-back verification, reports, time
// limits, back-ups). They begin with "--", may stand anywhere among the parameters, and are
// taken out before the command-line forms are read, so those forms keep their meaning
// exactly: "korvex-cli FILE 7 --report r.json --timeout 20" is the two-parameter Program run.
// Pure logic without I/O, shared by every front end.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::shell {

// How the comparison and the verification decide that the panel holds the file's program.
enum class VerifyMode {
  kBlockChecks,  // the panel's block checks over every 512 bytes (fast; the default)
  kReadBack,     // the program area read back and compared byte for byte
};

struct RunOptions {
  VerifyMode verify = VerifyMode::kBlockChecks;  // --verify=readback | --verify=blockcheck
  std::string reportFile;                        // --report FILE (empty: no report)
  std::optional<std::uint32_t> timeoutSeconds;   // --timeout SECONDS
  std::string backupDir;                         // --backup DIR (empty: no back-up)
};

struct OptionSplit {
  std::vector<std::string> params;  // every other parameter, in its order
  RunOptions options;
  std::string error;  // not empty: an unknown option or a bad value, said for the user
};

// Takes the "--" options out of `args` (the parameters after the program name). An option's
// value follows it as the next parameter or after "=" ("--report r.json", "--report=r.json").
// "--help" is no run option and stays among the parameters; so does a lone "--".
OptionSplit TakeRunOptions(std::span<const std::string> args);

// One line per option for the front ends' help texts.
std::string RunOptionsHelp();

}  // namespace korvex::shell
