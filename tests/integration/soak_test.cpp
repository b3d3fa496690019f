// A seeded slice of the soak (bench/soak.cpp): a few hundred fault-injected unattended runs,
// each checked for false success, a touched sound starter, an unrecoverable panel and the
// time budget. A violation names its seed; `korvex-soak --seed N` replays it.
#include <gtest/gtest.h>

#include "support/soak.h"

namespace korvex::testing {
namespace {

TEST(SoakSlice, FaultyRunsNeverDamageThePanel) {
  Soak soak;
  SoakTable table;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
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
