// The seeded soak: thousands of complete unattended Program runs against the in-process
// panel simulator on the virtual clock, each with a panel and faults drawn from its seed.
// After every run it checks that a success left the panel as a clean run would, that no
// sound starter was touched, that a failed run leaves a panel a clean re-run brings back,
// and that the run kept within its time budget. Prints a table of outcomes by fault kind and
// exit code, and for every violation its seed and the command that replays it.
//
//   korvex-soak [--runs N] [--first SEED]     N runs from SEED on (default 10000 from 1)
//   korvex-soak --seed SEED                   replay one run and describe it
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/soak.h"

namespace {

struct Options {
  std::uint32_t first = 1;
  std::uint32_t runs = 10000;
  bool replay = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) return false;
    const auto value = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    if (arg == "--runs") {
      options.runs = value;
    } else if (arg == "--first") {
      options.first = value;
    } else if (arg == "--seed") {
      options.first = value;
      options.runs = 1;
      options.replay = true;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s [--runs N] [--first SEED] | --seed SEED\n", argv[0]);
    return 2;
  }
  korvex::testing::Soak soak;
  korvex::testing::SoakTable table;
  const auto start = std::chrono::steady_clock::now();
  for (std::uint32_t seed = options.first; seed < options.first + options.runs; ++seed) {
    const korvex::testing::SoakCase soakCase = soak.Draw(seed);
    const korvex::testing::SoakResult result = soak.Run(soakCase);
    table.Add(result);
    if (options.replay) {
      std::printf(
          "%s\nexit code %d after %llu ms (virtual), last line \"%s\"%s\n",
          soakCase.Describe().c_str(), result.exitCode,
          static_cast<unsigned long long>(result.durationMs), result.lastLine.c_str(),
          result.interruptedStarterReplacement ? "; interrupted a needed starter replacement" : "");
    }
    for (const std::string& violation : result.violations) {
      std::printf("VIOLATION seed %u (%s): %s\n  replay: %s --seed %u\n", seed,
                  korvex::testing::SoakFaultName(result.fault), violation.c_str(), argv[0], seed);
    }
    std::fflush(stdout);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("\n%s\n%d runs, %d with violations, longest run %.1f s (virtual), %.1f s wall\n",
              table.Text().c_str(), table.Runs(), table.Violations(),
              static_cast<double>(table.LongestMs()) / 1000.0, seconds);
  return table.Violations() == 0 ? 0 : 1;
}
