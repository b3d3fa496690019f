#include "shell/run_options.h"

#include <charconv>

namespace korvex::shell {

namespace {

// One run option: its name (with the dashes), the placeholder of its value for the help text
// (empty: the value is a fixed word given after "="), the help text, and how its value is
// stored. `apply` returns an empty text when the value is taken, else what is wrong with it.
struct OptionSpec {
  std::string_view name;
  std::string_view placeholder;
  std::string_view help;
  std::string (*apply)(std::string_view value, RunOptions& options);
};

std::string ApplyVerify(std::string_view value, RunOptions& options) {
  if (value == "readback") {
    options.verify = VerifyMode::kReadBack;
  } else if (value == "blockcheck") {
    options.verify = VerifyMode::kBlockChecks;
  } else {
    return "--verify takes \"readback\" or \"blockcheck\"";
  }
  return {};
}

std::string ApplyReport(std::string_view value, RunOptions& options) {
  if (value.empty()) return "--report needs a file name";
  options.reportFile = std::string(value);
  return {};
}

std::string ApplyTimeout(std::string_view value, RunOptions& options) {
  std::uint32_t seconds = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
  if (error != std::errc() || end != value.data() + value.size() || seconds == 0) {
    return "--timeout takes a whole number of seconds, at least 1";
  }
  options.timeoutSeconds = seconds;
  return {};
}

std::string ApplyBackup(std::string_view value, RunOptions& options) {
  if (value.empty()) return "--backup needs a folder";
  options.backupDir = std::string(value);
  return {};
}

constexpr OptionSpec kOptionSpecs[] = {
    {"--verify", "", "--verify=readback   compare the program area byte for byte (read back)",
     ApplyVerify},
    {"--report", "FILE", "--report FILE       write a JSON report of the run to FILE", ApplyReport},
    {"--timeout", "SECONDS", "--timeout SECONDS   stop the run when it lasts longer", ApplyTimeout},
    {"--backup", "DIR", "--backup DIR        read the panel's memories into DIR before writing",
     ApplyBackup},
};

bool IsRunOption(std::string_view arg) {
  return arg.size() > 2 && arg.substr(0, 2) == "--" && arg != "--help";
}

const OptionSpec* FindSpec(std::string_view name) {
  for (const OptionSpec& spec : kOptionSpecs) {
    if (spec.name == name) return &spec;
  }
  return nullptr;
}

}  // namespace

OptionSplit TakeRunOptions(std::span<const std::string> args) {
  OptionSplit split;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!IsRunOption(arg)) {
      split.params.push_back(args[i]);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const OptionSpec* spec = FindSpec(name);
    if (spec == nullptr) {
      split.error = "unknown option " + std::string(name);
      return split;
    }
    std::string_view value;
    if (equals != std::string_view::npos) {
      value = arg.substr(equals + 1);
    } else if (!spec->placeholder.empty() && i + 1 < args.size()) {
      value = args[++i];
    } else {
      split.error = std::string(name) + " needs a value";
      return split;
    }
    if (std::string problem = spec->apply(value, split.options); !problem.empty()) {
      split.error = std::move(problem);
      return split;
    }
  }
  return split;
}

std::string RunOptionsHelp() {
  std::string text;
  for (const OptionSpec& spec : kOptionSpecs) {
    text += "  ";
    text += spec.help;
    text += '\n';
  }
  return text;
}

}  // namespace korvex::shell
