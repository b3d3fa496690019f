// A whole unattended Program run over a pseudo-terminal against korvex-panel, with the
// panel pacing its bytes at the real bit rate and taking its FLASH chip's times. For the
// erase, programming and verification phases together it reports the wall time against
// the time those phases cannot go below: the line time of every byte they exchanged (10 bit
// times each at the rate in use) plus the panel's simulated working time (its turnaround
// and the chip's erase, program and read times). The ratio is the PC side's overhead.
//
// Run it by hand (it takes about a minute); it is never part of the tests:
//   build/<dir>/bench/full_run_bench
#include <benchmark/benchmark.h>

#ifdef KORVEX_PANEL_PATH

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "link/system_serial_device.h"
#include "shell/command_line.h"
#include "shell/operator.h"
#include "shell/real_clock.h"
#include "sim/flash_chip.h"
#include "support/firmware_files.h"
#include "support/panel_process.h"
#include "update/application.h"

namespace {

using namespace korvex;
using SteadyClock = std::chrono::steady_clock;

const std::string kNewFile = std::string(KORVEX_SOURCE_DIR) + "/config/demo/demo_type2_v124.qfw";
const std::string kOldFile = std::string(KORVEX_SOURCE_DIR) + "/config/demo/demo_type2_v123.qfw";
constexpr std::uint8_t kFlashKind = 5;

// The starter's own times as the simulator takes them (sim/README.md, "Times"): every reply
// is preceded by a turnaround, and reading or checking FLASH costs this much per byte.
constexpr double kTurnaroundUs = 300;
constexpr double kReadByteUs = 2;
constexpr double kBitsPerByte = 10;

// The machine's serial line, counting the bytes and their line time while asked to.
class CountingDevice : public link::SerialDevice {
 public:
  explicit CountingDevice(std::unique_ptr<link::SerialDevice> inner) : inner_(std::move(inner)) {}

  void SetCounting(bool on) { counting_ = on; }
  std::uint64_t sent = 0;
  std::uint64_t received = 0;
  double lineSeconds = 0;

  link::OpenResult Open(const std::string& name, std::uint32_t bitRate, char parity) override {
    rate_ = bitRate;
    return inner_->Open(name, bitRate, parity);
  }
  void Close() override { inner_->Close(); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  std::size_t QueuedInput() override { return inner_->QueuedInput(); }
  bool ReadByte(std::uint8_t& b) override {
    const bool got = inner_->ReadByte(b);
    if (got && counting_) {
      ++received;
      lineSeconds += kBitsPerByte / rate_;
    }
    return got;
  }
  bool Write(std::span<const std::uint8_t> bytes) override {
    if (counting_) {
      sent += bytes.size();
      lineSeconds += kBitsPerByte * static_cast<double>(bytes.size()) / rate_;
    }
    return inner_->Write(bytes);
  }
  bool WaitForInput(std::uint32_t timeoutMs) override { return inner_->WaitForInput(timeoutMs); }
  void SetDtr(bool on) override { inner_->SetDtr(on); }
  void SetRts(bool on) override { inner_->SetRts(on); }
  bool Cts() override { return inner_->Cts(); }
  std::vector<link::PortInfo> ListPorts() override { return inner_->ListPorts(); }

 private:
  std::unique_ptr<link::SerialDevice> inner_;
  bool counting_ = false;
  double rate_ = 9600;
};

// Watches the status panel for the measured phases: from the moment the erase line is
// written to the moment the verification line gets its verdict.
class PhaseClockOperator : public shell::Operator {
 public:
  explicit PhaseClockOperator(CountingDevice& device) : device_(device) {}

  std::optional<SteadyClock::time_point> start;
  std::optional<SteadyClock::time_point> end;
  std::vector<std::string> lines;

  void StatusPanelChanged(const display::TKVStatus& panel) override {
    if (panel.CurrentLine() == 0) return;
    const std::string text = panel.LineAt(panel.CurrentLine()).text;
    if (panel.LineSerial() != serial_) {
      serial_ = panel.LineSerial();
      lines.push_back(text);
      if (!start && text.rfind("FLASH erasing", 0) == 0) {
        start = SteadyClock::now();
        device_.SetCounting(true);
      }
    }
    if (start && !end && text.rfind("Verification", 0) == 0 && !panel.StatusText().empty() &&
        panel.StatusText().back() != '%') {
      end = SteadyClock::now();
      device_.SetCounting(false);
    }
    lines.back() = text;
  }
  void SetApplicationTitle(const std::string&) override {}
  bool ShowMessageBox(const std::string& text, shell::MessageKind, bool okOnly) override {
    std::fprintf(stderr, "box: %s\n", text.c_str());
    return !okOnly;
  }
  void ProcessMessages() override {}
  std::optional<std::string> ChooseFirmwareFile(const std::string&) override {
    return std::nullopt;
  }
  void ShowDescription(const std::string&) override {}
  void SetStatusBarFile(const std::string&) override {}
  void SetStatusBarPort(const std::string&) override {}
  void ShowWaitDialog(bool) override {}

 private:
  CountingDevice& device_;
  std::uint64_t serial_ = 0;
};

struct PanelWork {
  double seconds = 0;
  int requests = 0;
  int erases = 0;
  int pages = 0;
  int blockChecks = 0;
};

// The panel's working time for the requests of the measured phases, from its log: every
// request from the first sector erase up to (not including) the restart.
PanelWork WorkFromLog(const std::string& log) {
  const sim::FlashKindInfo chip = *sim::FlashKindInfoFor(kFlashKind);
  PanelWork work;
  bool inPhases = false;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.find("] #") == std::string::npos) continue;
    if (!inPhases && line.find("erase sector") != std::string::npos) inPhases = true;
    if (!inPhases) continue;
    if (line.find(" restart") != std::string::npos) break;
    ++work.requests;
    double us = line.find("-> no reply") == std::string::npos ? kTurnaroundUs : 0;
    if (line.find("erase sector") != std::string::npos) {
      us += chip.sectorEraseUs;
      ++work.erases;
    } else if (line.find("program page") != std::string::npos ||
               line.find("short program") != std::string::npos) {
      us += chip.pageProgramUs;
      ++work.pages;
    } else if (const std::size_t at = line.find("block check"); at != std::string::npos) {
      const std::size_t x = line.find(" x", at);
      if (x != std::string::npos) us += kReadByteUs * std::stod(line.substr(x + 2));
      ++work.blockChecks;
    } else if (const std::size_t r = line.find("read FLASH"); r != std::string::npos) {
      const std::size_t x = line.find(" x", r);
      us += kReadByteUs * (x != std::string::npos ? std::stod(line.substr(x + 2)) : 256);
    }
    work.seconds += us / 1e6;
  }
  return work;
}

void BM_FullProgramRunOverPseudoTerminal(benchmark::State& state) {
  for (auto _ : state) {
    testing::TempDir dir;
    const std::string log = (dir.Path() / "panel.log").string();
    testing::PanelProcess panel(KORVEX_PANEL_PATH);
    if (!panel.Start({"--realistic", "--panel-type", "2", "--flash-kind",
                      std::to_string(kFlashKind), "--program", "qfw:" + kOldFile, "--log", log})) {
      state.SkipWithError("korvex-panel did not start");
      return;
    }
    CountingDevice device(link::MakeSystemSerialDevice());
    PhaseClockOperator op(device);
    shell::RealClock clock;
    update::Application app(op, clock, device, 1234);
    app.Start(shell::PlanStart(std::vector<std::string>{kNewFile, panel.PortPath()}));
    panel.Stop();
    if (app.ExitCode() != 6 || !op.start || !op.end) {
      for (const std::string& l : op.lines) std::fprintf(stderr, "%s\n", l.c_str());
      state.SkipWithError("the run did not write the panel");
      return;
    }
    std::ifstream logIn(log);
    const PanelWork work = WorkFromLog(std::string(std::istreambuf_iterator<char>(logIn), {}));
    const double wall = std::chrono::duration<double>(*op.end - *op.start).count();
    const double floor = device.lineSeconds + work.seconds;
    state.SetIterationTime(wall);
    state.counters["wall_s"] = wall;
    state.counters["line_s"] = device.lineSeconds;
    state.counters["panel_s"] = work.seconds;
    state.counters["ratio"] = wall / floor;
    state.counters["bytes_sent"] = static_cast<double>(device.sent);
    state.counters["bytes_received"] = static_cast<double>(device.received);
    state.counters["requests"] = work.requests;
    std::printf(
        "erase+program+verify: wall %.3f s; line time %.3f s (%llu bytes sent, %llu received, "
        "10 bits each at 115200 bit/s) + panel time %.3f s (%d requests: %d sector erases, %d "
        "page programs, %d block checks) = %.3f s; ratio %.4f\n",
        wall, device.lineSeconds, static_cast<unsigned long long>(device.sent),
        static_cast<unsigned long long>(device.received), work.seconds, work.requests, work.erases,
        work.pages, work.blockChecks, floor, wall / floor);
  }
}

BENCHMARK(BM_FullProgramRunOverPseudoTerminal)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

#endif  // KORVEX_PANEL_PATH

BENCHMARK_MAIN();
