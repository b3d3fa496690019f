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

void RunOnce(benchmark::State& state, const char* flashKind, bool unattended) {
  const auto file = FileWith(3);
  double virtualMs = 0;
  double requests = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto bench = std::make_unique<RunBench>(
        Bench(file, {{"program_version", "109"}, {"flash_kind", flashKind}}));
    state.ResumeTiming();
    if (unattended) {
      bench->StartUnattended();
    } else {
      bench->StartWithFile();
      bench->Program();
    }
    state.PauseTiming();
    if (bench->ExitCode() != 6) state.SkipWithError("the run did not write the panel");
    virtualMs = static_cast<double>(bench->clock.NowMs());
    requests = static_cast<double>(bench->panel->RequestCount());
    bench.reset();
    state.ResumeTiming();
  }
  state.counters["virtual_ms"] = virtualMs;
  state.counters["requests"] = requests;
}

void BM_InteractiveProgramRun(benchmark::State& state) {
  RunOnce(state, "5", false);
}
void BM_UnattendedProgramRun(benchmark::State& state) {
  RunOnce(state, "5", true);
}
// Kinds 1 and 4 add the starter check's 256 page reads and the upper area check.
void BM_MirroringChipProgramRun(benchmark::State& state) {
  RunOnce(state, "1", false);
}

BENCHMARK(BM_InteractiveProgramRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnattendedProgramRun)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MirroringChipProgramRun)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
