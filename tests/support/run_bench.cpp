#include "support/run_bench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "firmware/identity.h"
#include "shell/command_line.h"
#include "shell/service_mode.h"
#include "sim/panel_preset.h"

namespace korvex::testing {

std::vector<std::uint8_t> FileWith(int panelType, const std::string& version, std::uint8_t language,
                                   std::uint32_t seed, const std::string& signature) {
  firmware::IdentityFields fields = FieldsForPanelType(panelType);
  fields.version = version;
  fields.languageCode = language;
  fields.signature = signature;
  return MakeQfw(fields, firmware::PanelTypeInfoFor(panelType)->requiredKind, seed);
}

RunBench::RunBench(BenchSetup setup) : clock(setup.clockStartMs), seed_(setup.seed) {
  filePath = dir.Write("program.qfw", setup.file);
  sim::PanelPreset preset;
  std::string error;
  auto apply = [&](const std::string& key, const std::string& value) {
    EXPECT_TRUE(sim::ApplyPresetSetting(preset, key, value, &error)) << key << ": " << error;
  };
  if (setup.panelHoldsFile) {
    apply("program", "qfw:" + filePath);
  } else if (!setup.panelFile.empty()) {
    apply("program", "qfw:" + dir.Write("panel.qfw", setup.panelFile));
  }
  for (const auto& [key, value] : setup.keys) apply(key, value);
  panel = sim::BuildPanel(preset, &error);
  EXPECT_NE(panel, nullptr) << error;
  peer = std::make_unique<sim::SimLinePeer>(*panel);
  device = std::make_unique<link::InProcessDevice>(
      *peer, clock, std::vector<link::PortInfo>{{kPort, "simulated panel"}});
  op.onChoosePort = [](shell::PortDialogState&, const shell::PortRescan&) {
    return std::optional<shell::PortChoice>(shell::PortChoice{kPort, true});
  };
  app = std::make_unique<update::Application>(op, clock, *device, setup.seed);
}

update::StartResult RunBench::StartWithFile() {
  return app->Start(shell::PlanStart(std::vector<std::string>{filePath}));
}

update::StartResult RunBench::StartUnattended(const std::vector<std::string>& extra) {
  std::vector<std::string> args{filePath, "1"};
  args.insert(args.end(), extra.begin(), extra.end());
  shell::StartPlan plan = shell::PlanStart(args, false);
  EXPECT_EQ(plan.mode, shell::StartMode::kUnattendedRun);
  plan.portName = kPort;
  return app->Start(plan);
}

void RunBench::EnableServiceMode() {
  const std::string marker = dir.Write("test.cfg", {'J', 'o', 'l', 't', ' ', '9', '3', '\r', '\n'});
  const std::filesystem::path logs = dir.Path() / "logs";
  std::filesystem::create_directories(logs);
  app->Session().Service =
      shell::ServiceMode(shell::ServicePaths{marker, logs.string()}, wallClock);
}

std::vector<std::string> RunBench::LogLines() {
  std::vector<std::string> lines;
  std::ifstream in(dir.Path() / "logs" / shell::ServiceLogFileName(wallClock.Now()));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool RunBench::PanelProgramEqualsImage() {
  const auto flash = panel->Flash();
  const auto& image = Image();
  return std::equal(image.begin(), image.begin() + 0x60000, flash.begin());
}

int RunBench::Heard(std::uint8_t command) const {
  return static_cast<int>(HeardRequests(command).size());
}

std::vector<sim::ExchangeRecord> RunBench::HeardRequests(std::uint8_t command) const {
  std::vector<sim::ExchangeRecord> out;
  for (const sim::ExchangeRecord& record : panel->Exchanges()) {
    if (!record.request.empty() && record.request[0] == command) out.push_back(record);
  }
  return out;
}

std::vector<std::string> RunBench::KeypadLine2() const {
  std::vector<std::string> out;
  for (const sim::KeypadText& text : panel->KeypadHistory()) out.push_back(text.line2.value_or(""));
  return out;
}

}  // namespace korvex::testing
