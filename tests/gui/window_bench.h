// The main window as the program builds it, on an application wired to the in-process panel
// simulator on the virtual clock: a firmware file in a temporary folder and a panel that
// holds an older program, reached on the port "COM1". The window is the application's only
// operator, so every box, dialog, key and picture goes through the real Qt code.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gui/form_flash.h"
#include "gui_test_support.h"
#include "link/in_process_device.h"
#include "shell/command_line.h"
#include "shell/service_mode.h"
#include "shell/virtual_clock.h"
#include "sim/panel_preset.h"
#include "sim/sim_line_peer.h"
#include "support/firmware_files.h"
#include "update/application.h"

namespace korvex::gui::testing {

class WindowBench {
 public:
  static constexpr const char* kPort = "COM1";

  explicit WindowBench(std::vector<link::PortInfo> ports = {{kPort, "simulated panel"}},
                       std::vector<std::pair<std::string, std::string>> presetKeys = {
                           {"program_version", "109"}}) {
    GuiApp();
    filePath = dir.Write("program.qfw", korvex::testing::MakeValidQfw(3));
    sim::PanelPreset preset;
    std::string error;
    for (const auto& [key, value] : presetKeys) {
      EXPECT_TRUE(sim::ApplyPresetSetting(preset, key, value, &error)) << key << ": " << error;
    }
    panel = sim::BuildPanel(preset, &error);
    EXPECT_NE(panel, nullptr) << error;
    peer = std::make_unique<sim::SimLinePeer>(*panel);
    device = std::make_unique<link::InProcessDevice>(*peer, clock, std::move(ports));
    window = std::make_unique<TFormFlash>();
    app = std::make_unique<update::Application>(*window, clock, *device, 7);
    // No service test mode unless a test asks for it; nothing touches the machine's paths.
    app->Session().Service = shell::ServiceMode(
        shell::ServicePaths{(dir.Path() / "test.cfg").string(), (dir.Path() / "logs").string()});
    window->SetApplication(app.get());
  }

  ~WindowBench() {
    window->SetApplication(nullptr);
    window->hide();
  }

  // Switches the service test mode on (Enter and Esc then set their flags).
  void EnableServiceMode() {
    const std::string marker =
        dir.Write("test.cfg", {'J', 'o', 'l', 't', ' ', '9', '3', '\r', '\n'});
    app->Session().Service =
        shell::ServiceMode(shell::ServicePaths{marker, (dir.Path() / "logs").string()});
  }

  // Shows the window and starts as with the firmware file on the command line.
  update::StartResult StartWithFile() {
    window->ShowCentred();
    return app->Start(shell::PlanStart(std::vector<std::string>{filePath}));
  }

  bool PanelProgramEqualsImage() const {
    const auto flash = panel->Flash();
    const auto& image = app->Image().MainImage;
    return std::equal(image.begin(), image.begin() + 0x60000, flash.begin());
  }

  korvex::testing::TempDir dir;
  std::string filePath;
  shell::VirtualClock clock;
  std::unique_ptr<sim::PanelModel> panel;
  std::unique_ptr<sim::SimLinePeer> peer;
  std::unique_ptr<link::InProcessDevice> device;
  std::unique_ptr<TFormFlash> window;
  std::unique_ptr<update::Application> app;
};

}  // namespace korvex::gui::testing
