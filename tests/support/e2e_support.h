// What the end-to-end tests share: the committed demo files, looking for text in output and
// in files, and korvex-cli runs against a korvex-panel that keeps its log and its memory
// dumps in a temporary folder.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/firmware_files.h"

#ifndef _WIN32
#include "support/child_process.h"
#include "support/panel_process.h"
#endif

namespace korvex::testing {

// The committed demo programs of a type 2 panel: version 1.24 and the older 1.23.
inline const std::string kDemoNewFile =
    std::string(KORVEX_SOURCE_DIR) + "/config/demo/demo_type2_v124.qfw";
inline const std::string kDemoOldFile =
    std::string(KORVEX_SOURCE_DIR) + "/config/demo/demo_type2_v123.qfw";

bool Contains(const std::string& text, const std::string& part);
// The whole file as it is (empty when it cannot be read).
std::string ReadText(const std::filesystem::path& path);

#ifndef _WIN32

// A korvex-panel served on a pseudo-terminal, logging to panel.log and dumping its memory
// into dump/ of its own temporary folder when it ends, and korvex-cli runs against it.
class CliPanelRun {
 public:
  // `runLimit`: a korvex-cli run that takes longer is killed (and fails its test).
  CliPanelRun(std::string cliPath, std::string panelPath, std::chrono::milliseconds runLimit);

  // Starts the panel with `options` and its log and dump folder. False (with the panel's
  // output in Panel().Output()) when it does not start.
  bool StartPanel(const std::vector<std::string>& options);
  // Runs korvex-cli with `args` after its path and the environment plus `env`.
  ProcessResult Cli(const std::vector<std::string>& args, const Environment& env = {}) const;
  // Ends the panel, which then writes its dumps.
  ProcessResult StopPanel() { return panel_.Stop(); }

  const TempDir& Dir() const { return dir_; }
  PanelProcess& Panel() { return panel_; }
  const std::string& PortPath() const { return panel_.PortPath(); }
  std::filesystem::path LogPath() const { return dir_.Path() / "panel.log"; }
  std::string LogText() const { return ReadText(LogPath()); }
  // A file the panel dumped when it ended (flash.bin, violations.txt, ...).
  std::filesystem::path DumpPath(const std::string& name) const {
    return dir_.Path() / "dump" / name;
  }

 private:
  std::string cliPath_;
  std::chrono::milliseconds runLimit_;
  TempDir dir_;
  PanelProcess panel_;
};

#endif  // _WIN32

}  // namespace korvex::testing
