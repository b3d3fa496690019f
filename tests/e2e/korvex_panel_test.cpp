// korvex-panel as the tests and the demonstration run it: started with options, found by its
// printed path, its ready file or its link, spoken to through the product's own serial layer,
// told what to do with signals, and taken apart through its log and dumps.
#include <gtest/gtest.h>

#ifdef KORVEX_PANEL_PATH

#include <signal.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "firmware/block_check.h"
#include "link/link.h"
#include "link/posix_serial_device.h"
#include "link/starter.h"
#include "shell/real_clock.h"
#include "shell/session.h"
#include "support/e2e_support.h"
#include "support/scripted_operator.h"
#include "update/session_link_host.h"

namespace korvex::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class PanelProgram : public ::testing::Test {
 protected:
  PanelProgram() : dir_(temp_.Path()) {}

  TempDir temp_;  // this test's own folder, removed at the end
  fs::path dir_;
};

// The product's link on the machine's serial layer, opened on a port path.
class PcLink {
 public:
  explicit PcLink(const std::string& port)
      : session(op, clock, 5), host(session), link(host, device), starter(link) {
    link.KVRS().SetSelectedPort(port);
    link.SetFastRsEnabled(true);
    opened = link.EnsurePortChosen(op);
  }

  bool Connect() {
    for (int i = 0; i < 9; ++i) {
      if (starter.ConnectStarter() == link::ConnectResult::kConnected) return true;
    }
    return false;
  }

  ScriptedOperator op;
  shell::RealClock clock;
  shell::Session session;
  link::PosixSerialDevice device;
  update::SessionLinkHost host;
  link::Link link;
  link::Starter starter;
  bool opened = false;
};

TEST(PanelProgramOptions, HelpExplainsEveryOption) {
  const ProcessResult help = RunProcess({KORVEX_PANEL_PATH, "--help"}, {}, 10s);
  EXPECT_EQ(help.exitCode, 0);
  for (const char* option : {"--preset",     "--set",        "--fault",
                             "--panel-type", "--flash-kind", "--starter-version",
                             "--program",    "--st-kind",    "--seed",
                             "--keys",       "--pace",       "--chip-times",
                             "--realistic",  "--link",       "--ready-file",
                             "--log",        "--dump-dir",   "--exit-after-ms",
                             "--help",       "SIGUSR1",      "SIGUSR2",
                             "CTS"}) {
    EXPECT_TRUE(Contains(help.output, option)) << option;
  }
  const ProcessResult keys = RunProcess({KORVEX_PANEL_PATH, "--keys"}, {}, 10s);
  EXPECT_EQ(keys.exitCode, 0);
  EXPECT_TRUE(Contains(keys.output, "fault.power_loss_at"));
}

TEST(PanelProgramOptions, BadCommandLinesAndPresetsAreRefused) {
  EXPECT_EQ(RunProcess({KORVEX_PANEL_PATH, "--no-such-option"}, {}, 10s).exitCode, 2);
  EXPECT_EQ(RunProcess({KORVEX_PANEL_PATH, "--set", "panel_type"}, {}, 10s).exitCode, 2);
  EXPECT_EQ(RunProcess({KORVEX_PANEL_PATH, "--fault", "silent_rates=300"}, {}, 10s).exitCode, 2);
  const ProcessResult missing =
      RunProcess({KORVEX_PANEL_PATH, "--program", "raw:/nonexistent/image.bin"}, {}, 10s);
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(Contains(missing.output, "/nonexistent/image.bin"));
}

TEST_F(PanelProgram, ServesTheProductsSerialLayerAndDumpsAtTheEnd) {
  const fs::path ready = dir_ / "ready";
  const fs::path link = dir_ / "panel-port";
  PanelProcess panel(KORVEX_PANEL_PATH);
  ASSERT_TRUE(
      panel.Start({"--ready-file", ready.string(), "--link", link.string(), "--log",
                   (dir_ / "log").string(), "--dump-dir", (dir_ / "dump").string(), "--panel-type",
                   "6", "--program", "blank", "--set", "starter_version=0x61"}))
      << panel.Output();
  EXPECT_EQ(ReadText(ready), panel.PortPath() + "\n");
  EXPECT_EQ(fs::read_symlink(link).string(), panel.PortPath());

  Bytes page(256);
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i * 3);
  {
    PcLink pc(link.string());
    ASSERT_TRUE(pc.opened);
    ASSERT_TRUE(pc.Connect());
    EXPECT_EQ(pc.link.RateIndex(), 2);  // negotiated 115200, port reopened
    ASSERT_TRUE(pc.starter.IdentifyPanel());
    pc.starter.StoreIdentification();
    EXPECT_EQ(pc.starter.State().PanelType, 6);
    pc.starter.State().LinkToken = {7, 7, 7, 7};
    pc.starter.SetLinkToken();
    ASSERT_TRUE(pc.starter.CheckLinkToken());
    ASSERT_EQ(pc.starter.EraseFlashSector(3), link::WriteStatus::kDone);
    // Above the bank's low 8 KB, so the page itself goes on the line (full form).
    ASSERT_EQ(
        pc.starter.ProgramFlashPage(0x32100, std::span<const std::uint8_t, 256>(page.data(), 256)),
        link::WriteStatus::kDone);
    firmware::BlockCheckValues values;
    ASSERT_TRUE(pc.starter.ReadBlockCheck(0x32000, values));
    Bytes block(512, 0xFF);
    std::copy(page.begin(), page.end(), block.begin() + 256);
    EXPECT_EQ(values, firmware::BlockCheck(block));
    pc.starter.WriteSettingsByte(2, 0x8001, 0x99);
    EXPECT_FALSE(pc.starter.State().SettingsWriteFailed);
    pc.starter.ShowKeypadText("", "Programming  50%", false);
    EXPECT_FALSE(pc.device.Cts());  // no modem lines on a pseudo-terminal
  }

  const ProcessResult end = panel.Stop();
  EXPECT_EQ(end.exitCode, 0) << end.output;
  EXPECT_FALSE(fs::is_symlink(link));
  const std::string flash = ReadText(dir_ / "dump" / "flash.bin");
  ASSERT_EQ(flash.size(), 0x80000u);
  EXPECT_TRUE(std::equal(page.begin(), page.end(), flash.begin() + 0x32100,
                         [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
  EXPECT_EQ(static_cast<std::uint8_t>(ReadText(dir_ / "dump" / "settings2.bin")[0x8001]), 0x99);
  EXPECT_TRUE(Contains(ReadText(dir_ / "dump" / "keypad.txt"), "line2=\"Programming  50%\""));
  EXPECT_EQ(ReadText(dir_ / "dump" / "violations.txt"), "");
  const std::string log = ReadText(dir_ / "log");
  for (const char* line : {"connect -> 0x92", "fast rate -> 0x92", "@115200 identify",
                           "erase sector 3 (0x26) -> 0x91", "program page 0x32100 (0x25) -> 0x92",
                           "block check 0x32000 x512", "the PC closed the port"}) {
    EXPECT_TRUE(Contains(log, line)) << line << "\n" << log;
  }
  EXPECT_TRUE(Contains(ReadText(dir_ / "dump" / "state.cfg"), "panel_type = 6"));
}

TEST_F(PanelProgram, SignalsBringTheStarterBackAfterARestart) {
  PanelProcess panel(KORVEX_PANEL_PATH);
  ASSERT_TRUE(panel.Start({"--log", (dir_ / "log").string()})) << panel.Output();
  PcLink pc(panel.PortPath());
  ASSERT_TRUE(pc.opened);
  ASSERT_TRUE(pc.Connect());
  ASSERT_TRUE(pc.starter.RestartPanel());
  std::this_thread::sleep_for(300ms);
  pc.link.SetFastRsEnabled(false);
  EXPECT_EQ(pc.starter.ConnectStarter(), link::ConnectResult::kNoAnswer);  // the program runs
  ASSERT_TRUE(panel.Process().Signal(SIGUSR1));
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(pc.Connect());  // the starter listens again, at 9600
  EXPECT_EQ(pc.link.RateIndex(), 0);
  ASSERT_TRUE(panel.Process().Signal(SIGUSR2));  // off and on: a new connection is needed
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(pc.Connect());
  const ProcessResult end = panel.Stop();
  EXPECT_EQ(end.exitCode, 0) << end.output;
  EXPECT_TRUE(Contains(ReadText(dir_ / "log"), "service menu: restart into the starter"));
}

TEST_F(PanelProgram, EndsByItselfAndPacesWhenAsked) {
  PanelProcess panel(KORVEX_PANEL_PATH);
  ASSERT_TRUE(panel.Start(
      {"--exit-after-ms", "1500", "--realistic", "--dump-dir", (dir_ / "dump").string()}))
      << panel.Output();
  PcLink pc(panel.PortPath());
  ASSERT_TRUE(pc.opened);
  pc.link.SetFastRsEnabled(false);
  ASSERT_TRUE(pc.Connect());
  // Paced at 9600 bps, a page read takes a quarter of a second on the line.
  std::array<std::uint8_t, 256> page{};
  ASSERT_TRUE(pc.starter.ReadFlashPage(0x71F00, page));
  EXPECT_EQ(page[0xF9], 1);  // the starter's language, 0x71FF9
  const ProcessResult end = panel.Process().Wait(10s);
  EXPECT_EQ(end.exitCode, 0) << end.output;
  EXPECT_FALSE(end.timedOut);
  EXPECT_TRUE(fs::exists(dir_ / "dump" / "state.cfg"));
}

}  // namespace
}  // namespace korvex::testing

#endif  // KORVEX_PANEL_PATH
