// Link timings over a pseudo-terminal: how much processor a wait for a silent panel costs,
// and how soon Transact returns once the last byte of a reply has arrived.
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "link/frame.h"
#include "link/link.h"
#include "link/posix_serial_device.h"
#include "shell/real_clock.h"
#include "support/pseudo_terminal.h"
#include "support/scripted_operator.h"
#include "update/session_link_host.h"

namespace {

using namespace korvex;
using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A run's setting: operator, real clock, session, the pseudo-terminal and an open link.
struct Bench {
  Bench() : session(op, clock, 1), host(session), link(host, device) {
    link.KVRS().SetSelectedPort(pty.Path());
    ok = pty.Ok() && link.EnsurePortChosen(op);
  }
  const link::RequestWriter request{0x61, 0x61, 0x61, 0x61};
  testing::ScriptedOperator op;
  shell::RealClock clock;
  shell::Session session;
  update::SessionLinkHost host;
  testing::PseudoTerminal pty;
  link::PosixSerialDevice device{link::PortListSources{}};
  link::Link link;
  bool ok = false;
};

// Processor time used while ReceiveReply waits 2 s for a panel that never answers.
void BM_SilentPanelWaitCpu(benchmark::State& state) {
  Bench bench;
  if (!bench.ok) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    const double cpuStart = CpuSeconds();
    const auto wallStart = SteadyClock::now();
    benchmark::DoNotOptimize(bench.link.ReceiveReply(2000, false));
    wall += std::chrono::duration<double>(SteadyClock::now() - wallStart).count();
    cpu += CpuSeconds() - cpuStart;
  }
  const auto runs = static_cast<double>(state.iterations());
  state.counters["cpu_ms"] = benchmark::Counter(cpu * 1000 / runs);
  state.counters["wall_ms"] = benchmark::Counter(wall * 1000 / runs);
  state.counters["cpu_percent"] = benchmark::Counter(100 * cpu / wall);
}
BENCHMARK(BM_SilentPanelWaitCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

// From the moment the panel has handed the last reply byte to the line until Transact
// returns with the checked reply; the median over all exchanges.
void BM_ReplyToReturnLatency(benchmark::State& state) {
  Bench bench;
  if (!bench.ok) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  const auto replySize = static_cast<std::size_t>(state.range(0));
  const Bytes reply = link::EncodeReplyFrame(0x92, Bytes(replySize, 0x5A));
  testing::PanelThread panel(bench.pty.Master(), [&](const Bytes&) { return reply; });
  std::vector<double> latencies;
  for (auto _ : state) {
    if (!bench.link.Transact(bench.request, 1, 1000)) {
      state.SkipWithError("exchange failed");
      break;
    }
    const auto returned = SteadyClock::now();
    const double seconds = std::chrono::duration<double>(returned - panel.LastReplySent()).count();
    latencies.push_back(seconds);
    state.SetIterationTime(seconds);
  }
  if (latencies.empty()) return;
  std::sort(latencies.begin(), latencies.end());
  state.counters["median_us"] = benchmark::Counter(latencies[latencies.size() / 2] * 1e6);
  state.counters["p90_us"] = benchmark::Counter(latencies[latencies.size() * 9 / 10] * 1e6);
}
BENCHMARK(BM_ReplyToReturnLatency)
    ->Arg(1)
    ->Arg(256)
    ->Iterations(1000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
