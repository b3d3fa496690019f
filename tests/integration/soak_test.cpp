// A seeded slice of the soak (bench/soak.cpp): a few hundred fault-injected unattended runs,
// each checked for false success, a touched sound starter, an unrecoverable panel and the
// time budget. A violation names its seed; `korvex-soak --seed N` replays it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/soak.h"

namespace korvex::testing {
namespace {

// How many seeds the slice runs: 300, or KORVEX_SOAK_SEEDS (the sanitizer build, some ten
// times slower, runs a shorter slice of the same seeds).
std::uint32_t SliceSeeds() {
  const char* text = std::getenv("KORVEX_SOAK_SEEDS");
  const unsigned long seeds = text != nullptr ? std::strtoul(text, nullptr, 10) : 0;
  return seeds > 0 ? static_cast<std::uint32_t>(seeds) : 300;
}

TEST(SoakSlice, FaultyRunsNeverDamageThePanel) {
  Soak soak;
  SoakTable table;
  const std::uint32_t seeds = SliceSeeds();
  for (std::uint32_t seed = 1; seed <= seeds; ++seed) {
    const SoakResult result = soak.Run(seed);
    table.Add(result);
    for (const std::string& violation : result.violations) {
      ADD_FAILURE() << "seed " << seed << " (" << SoakFaultName(result.fault) << "): " << violation;
    }
  }
  EXPECT_EQ(table.Violations(), 0) << table.Text();
}

}  // namespace
}  // namespace korvex::testing
