// One interactive Program run of the whole application against the in-process panel
// simulator on the virtual clock: how much processor time the run's own logic, the link
// layer and the simulated panel need for a run that takes the panel tens of seconds.
// Reports the wall time per run, the run's virtual duration and the requests it made.
//
// Run it by hand; it is never part of the tests:
//   build/<dir>/bench/programming_run_bench
#include <benchmark/benchmark.h>

#include <memory>

#include "support/run_bench.h"

namespace {

using korvex::testing::Bench;
using korvex::testing::FileWith;
using korvex::testing::RunBench;

struct RunShape {
  const char* flashKind = "5";
  const char* panelVersion = "109";
  bool unattended = true;
  bool readBack = false;
  const char* corruptProbability = nullptr;  // per reply byte; nullptr: a clean line
};

void RunOnce(benchmark::State& state, const RunShape& shape) {
  const auto file = FileWith(3);
  double virtualMs = 0;
  double requests = 0;
  double written = 0;
  for (auto _ : state) {
    state.PauseTiming();
    korvex::testing::PresetKeys keys{{"program_version", shape.panelVersion},
                                     {"flash_kind", shape.flashKind}};
    if (shape.corruptProbability) {
      keys.emplace_back("fault.corrupt_probability", shape.corruptProbability);
      keys.emplace_back("fault.drop_probability", "0.005");
      keys.emplace_back("fault.seed", std::to_string(state.iterations() + 1));
    }
    auto bench = std::make_unique<RunBench>(Bench(file, keys));
    if (shape.readBack) {
      bench->Session().Options.verify = korvex::shell::VerifyMode::kReadBack;
    }
    state.ResumeTiming();
    if (shape.unattended) {
      bench->StartUnattended();
    } else {
      bench->StartWithFile();
      bench->Program();
    }
    state.PauseTiming();
    if (!shape.corruptProbability && bench->ExitCode() != 6) {
      state.SkipWithError("the run did not write the panel");
    }
    if (bench->ExitCode() == 6) ++written;
    virtualMs = static_cast<double>(bench->clock.NowMs());
    requests = static_cast<double>(bench->panel->RequestCount());
    bench.reset();
    state.ResumeTiming();
  }
  state.counters["virtual_ms"] = virtualMs;
  state.counters["requests"] = requests;
  // On a noisy line: the share of runs that wrote the panel and succeeded.
  state.counters["written"] = benchmark::Counter(written, benchmark::Counter::kAvgIterations);
}

void BM_InteractiveProgramRun(benchmark::State& state) {
  RunOnce(state, {.unattended = false});
}
void BM_UnattendedProgramRun(benchmark::State& state) {
  RunOnce(state, {});
}
// Kinds 1 and 4 add the starter check's 256 page reads and the upper area check.
void BM_MirroringChipProgramRun(benchmark::State& state) {
  RunOnce(state, {.flashKind = "1", .unattended = false});
}
// An update without settings conversions (1.23 to 1.24).
void BM_UnattendedUpdateWithoutConversion(benchmark::State& state) {
  RunOnce(state, {.panelVersion = "123"});
}
// --verify=readback: the comparison and the verification read the program area back.
void BM_UnattendedUpdateReadBack(benchmark::State& state) {
  RunOnce(state, {.panelVersion = "123", .readBack = true});
}
// A poor cable (0.3 % of reply bytes corrupted, 0.5 % of replies lost); the virtual time of
// the last run and the share of runs that wrote the panel.
void BM_UnattendedUpdateNoisyLine(benchmark::State& state) {
  RunOnce(state, {.panelVersion = "123", .corruptProbability = "0.003"});
}

BENCHMARK(BM_InteractiveProgramRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnattendedProgramRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MirroringChipProgramRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnattendedUpdateWithoutConversion)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnattendedUpdateReadBack)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnattendedUpdateNoisyLine)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
