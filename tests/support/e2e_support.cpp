#include "support/e2e_support.h"

#include <fstream>
#include <iterator>

namespace korvex::testing {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

#ifndef _WIN32

CliPanelRun::CliPanelRun(std::string cliPath, std::string panelPath,
                         std::chrono::milliseconds runLimit)
    : cliPath_(std::move(cliPath)), runLimit_(runLimit), panel_(std::move(panelPath)) {}

bool CliPanelRun::StartPanel(const std::vector<std::string>& options) {
  std::vector<std::string> all{"--log", LogPath().string(), "--dump-dir",
                               (dir_.Path() / "dump").string()};
  all.insert(all.end(), options.begin(), options.end());
  return panel_.Start(all);
}

ProcessResult CliPanelRun::Cli(const std::vector<std::string>& args, const Environment& env) const {
  std::vector<std::string> argv{cliPath_};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, env, runLimit_);
}

#endif  // _WIN32

}  // namespace korvex::testing
