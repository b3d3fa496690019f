// A whole KORVEX application wired to the in-process panel simulator on the virtual clock,
// for tests of programming runs: a firmware file in a temporary folder, a simulated panel
// built from preset keys, the recording operator, and helpers to start runs and to look at
// what the panel heard.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "link/in_process_device.h"
#include "shell/virtual_clock.h"
#include "shell/wall_clock.h"
#include "sim/panel_model.h"
#include "sim/sim_line_peer.h"
#include "support/firmware_files.h"
#include "support/status_recorder.h"
#include "update/application.h"

namespace korvex::testing {

using PresetKeys = std::vector<std::pair<std::string, std::string>>;

struct BenchSetup {
  std::vector<std::uint8_t> file;       // the firmware file the PC opens
  std::vector<std::uint8_t> panelFile;  // a firmware file whose program the panel holds
  bool panelHoldsFile = false;          // the panel holds `file`'s program (and ST program)
  PresetKeys keys;                      // further simulator preset keys, applied in order
  std::uint32_t seed = 7;               // the application's random seed
  std::uint64_t clockStartMs = 0;       // the virtual clock's first reading

  BenchSetup& HoldingFile() {
    panelHoldsFile = true;
    return *this;
  }
  BenchSetup& HoldingProgramOf(std::vector<std::uint8_t> otherFile) {
    panelFile = std::move(otherFile);
    return *this;
  }
  BenchSetup& StartClockAt(std::uint64_t ms) {
    clockStartMs = ms;
    return *this;
  }
  BenchSetup& Key(std::string key, std::string value) {
    keys.emplace_back(std::move(key), std::move(value));
    return *this;
  }
};

// The PC opens `file`; the panel is built from the preset keys.
inline BenchSetup Bench(std::vector<std::uint8_t> file, PresetKeys keys = {}) {
  BenchSetup setup;
  setup.file = std::move(file);
  setup.keys = std::move(keys);
  return setup;
}

class RunBench {
 public:
  // The port the machine lists; it leads to the simulated panel.
  static constexpr const char* kPort = "COM1";

  explicit RunBench(BenchSetup setup);
  RunBench(const RunBench&) = delete;
  RunBench& operator=(const RunBench&) = delete;

  // Starts the application as with the file on the command line (checked at once).
  update::StartResult StartWithFile();
  // Starts one unattended run: file, port 1, then `extra` parameters.
  update::StartResult StartUnattended(const std::vector<std::string>& extra = {});
  // Interactive runs after StartWithFile; the port dialog chooses COM1 with Fast RS.
  void Program() { app->ProgramClick(); }
  void Test() { app->TestClick(); }

  // A new process of the program on the same machine and panel (FlashWritten starts false).
  void NewProcess() {
    app.reset();
    app = std::make_unique<update::Application>(op, clock, *device, seed_ + 1);
  }

  // What the operator does at the panel before another run: start the starter from the
  // service menu (a restarted panel runs its program and does not answer).
  void EnterStarter() { panel->EnterStarter(clock.NowMs() * 1000); }

  // The service test mode on, with its log in the temporary folder on a fixed date.
  void EnableServiceMode();
  // The lines of the month's log (empty when there is no log file).
  std::vector<std::string> LogLines();

  shell::Session& Session() { return app->Session(); }
  std::int32_t ExitCode() const { return app->ExitCode(); }
  // The image as the PC holds it (program area and above).
  const std::vector<std::uint8_t>& Image() { return app->Image().MainImage; }
  // True when the panel's program area equals the image's.
  bool PanelProgramEqualsImage();

  // Requests the panel heard whose first byte is `command`.
  int Heard(std::uint8_t command) const;
  std::vector<sim::ExchangeRecord> HeardRequests(std::uint8_t command) const;
  // The keypad texts of the panel in order, line 2 only (empty where a request left it).
  std::vector<std::string> KeypadLine2() const;

  TempDir dir;
  shell::VirtualClock clock;
  std::string filePath;
  shell::FixedWallClock wallClock{{2025, 3, 12, 14, 5, 9}};
  std::unique_ptr<sim::PanelModel> panel;
  std::unique_ptr<sim::SimLinePeer> peer;
  std::unique_ptr<link::InProcessDevice> device;
  RecordingOperator op{&clock};
  std::unique_ptr<update::Application> app;

 private:
  std::uint32_t seed_;
};

// A valid firmware file for a panel type with other identity fields.
std::vector<std::uint8_t> FileWith(int panelType, const std::string& version = "124",
                                   std::uint8_t language = 1, std::uint32_t seed = 1,
                                   const std::string& signature = "SOL");

}  // namespace korvex::testing
