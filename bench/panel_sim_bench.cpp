// How fast the panel simulator plays a programming run's traffic in process: a whole
// erase, program and verify of the 384 KB program area (six erases, the pages that are not
// erased, 768 block checks), and single requests. Reported against the virtual line time the
// same traffic needs, so the cost of simulating stays visible next to what it simulates.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "link/frame.h"
#include "sim/panel_preset.h"

namespace {

using korvex::sim::PanelModel;
using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<PanelModel> Panel(const char* program) {
  korvex::sim::PanelPreset preset;
  std::string error;
  korvex::sim::ApplyPresetSetting(preset, "program", program, &error);
  return korvex::sim::BuildPanel(preset, &error);
}

// One exchange on the panel's clock; returns the time the reply was complete.
std::uint64_t Exchange(PanelModel& panel, const Bytes& request, std::uint64_t now) {
  panel.Hear(korvex::link::EncodeRequestFrame(request), 115200, now);
  std::uint64_t last = now;
  while (const auto next = panel.NextOutputUs()) {
    for (const auto& b : panel.TakeOutput(*next)) last = b.atUs;
  }
  return last + 1;
}

void BM_ProgramAndVerifyWholeArea(benchmark::State& state) {
  const auto source = Panel("sample");
  const Bytes image(source->Flash().begin(), source->Flash().begin() + 0x60000);
  double lineSeconds = 0;
  double requests = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto panel = Panel("blank");
    state.ResumeTiming();
    std::uint64_t now = 0;
    panel->Hear(korvex::link::EncodeRequestFrame(Bytes{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}),
                9600, now);
    now = 100'000;
    panel->Hear(korvex::link::EncodeRequestFrame(Bytes{0x14, 0x55, 0xAA, 0x41}), 9600, now);
    now = 200'000;
    while (panel->NextOutputUs()) panel->TakeOutput(*panel->NextOutputUs());
    now = Exchange(*panel, {0x1F, 0x1F, 0x1F, 0x1F}, now);
    for (std::uint8_t sector = 0; sector < 6; ++sector) {
      now = Exchange(*panel, {0x1F, 0x1F, 0x1F, 0x1F}, now);
      now = Exchange(*panel, {0x26, sector, 0x66, 0x66}, now);
    }
    int sinceCheck = 0;
    for (std::uint32_t page = 0; page < 0x60000; page += 256) {
      const auto first = image.begin() + page;
      if (std::all_of(first, first + 256, [](std::uint8_t b) { return b == 0xFF; })) continue;
      if (++sinceCheck == 20) {
        now = Exchange(*panel, {0x1F, 0x1F, 0x1F, 0x1F}, now);
        sinceCheck = 0;
      }
      Bytes request = {0x25, static_cast<std::uint8_t>(page >> 8),
                       static_cast<std::uint8_t>(page >> 16)};
      request.insert(request.end(), first, first + 256);
      now = Exchange(*panel, request, now);
    }
    for (std::uint32_t block = 0; block < 0x60000; block += 512) {
      now = Exchange(*panel,
                     {0x64, 0x00, static_cast<std::uint8_t>(block >> 8),
                      static_cast<std::uint8_t>(block >> 16), 0x00, 0x02, 0x00},
                     now);
    }
    lineSeconds = static_cast<double>(now) / 1e6;
    requests = panel->RequestCount();
    benchmark::DoNotOptimize(panel->Violations().size());
  }
  state.counters["simulated_s"] = lineSeconds;
  state.counters["requests"] = requests;
}
BENCHMARK(BM_ProgramAndVerifyWholeArea)->Unit(benchmark::kMillisecond);

void BM_BlockCheckRequest(benchmark::State& state) {
  auto panel = Panel("sample");
  std::uint64_t now = 0;
  panel->Hear(korvex::link::EncodeRequestFrame(Bytes{0x0D, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA}),
              9600, now);
  while (panel->NextOutputUs()) now = panel->TakeOutput(*panel->NextOutputUs()).back().atUs + 1;
  for (auto _ : state) {
    panel->Hear(korvex::link::EncodeRequestFrame(Bytes{0x64, 0x00, 0x20, 0x01, 0x00, 0x02, 0x00}),
                9600, now);
    while (const auto next = panel->NextOutputUs()) now = panel->TakeOutput(*next).back().atUs + 1;
  }
}
BENCHMARK(BM_BlockCheckRequest);

}  // namespace

BENCHMARK_MAIN();
