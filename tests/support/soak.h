// The seeded soak: complete unattended Program runs against the in-process simulator on the
// virtual clock, each on a panel and with faults drawn from its seed, and the checks that no
// fault turns into a false success, a needlessly replaced starter or a panel that a clean
// run can no longer bring back. Used by the soak program in bench/ and, for a small slice,
// by the integration tests.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korvex::testing {

// The kinds of trouble a run meets; every run draws one.
enum class SoakFault {
  kCleanLine,    // no fault at all
  kNoise,        // reply bytes corrupted (0.1 to 1 % of bytes) and replies lost
  kDrops,        // replies and requests lost
  kDelays,       // replies late
  kRefusals,     // connects refused, or FLASH writes refused from some request on
  kSilentRate,   // the panel does not hear the fast bit rate
  kLostToken,    // the panel forgets the link token at some request
  kPowerLoss,    // the power fails at some request
  kServiceMenu,  // the operator restarts the panel into its starter at some request
  kStop,         // the operator presses Stop at some moment
};
inline constexpr int kSoakFaultCount = 10;
const char* SoakFaultName(SoakFault fault);

// One drawn run: the panel's preset keys, the fault keys and when Stop comes.
struct SoakCase {
  std::uint32_t seed = 0;
  int panelType = 3;
  std::vector<std::pair<std::string, std::string>> panelKeys;
  bool panelHoldsFile = false;
  bool starterNeedsReplacing = false;
  SoakFault fault = SoakFault::kCleanLine;
  std::vector<std::pair<std::string, std::string>> faultKeys;
  // Where in the run the fault strikes, as a share of a clean run's requests (or time, for
  // Stop): 0..1.
  double moment = 0.0;
  std::string Describe() const;
};

// What came of one run and its checks.
struct SoakResult {
  std::uint32_t seed = 0;
  SoakFault fault = SoakFault::kCleanLine;
  int exitCode = 0;
  std::uint64_t durationMs = 0;
  std::string lastLine;  // the status line the run ended on, with its verdict
  // Failed in the middle of a starter replacement the panel really needed, and a clean
  // re-run could not bring the panel back: counted apart, not a violation.
  bool interruptedStarterReplacement = false;
  std::vector<std::string> violations;
};

// The longest a run may take on the virtual clock: the connect phase's two minutes plus the
// identification's 546 passes, each of which may spend 16 s on a panel that stays silent.
inline constexpr std::uint64_t kSoakRunBudgetMs = 120'000 + 547ull * 16'000 + 600'000;

class Soak {
 public:
  Soak();
  ~Soak();
  Soak(const Soak&) = delete;
  Soak& operator=(const Soak&) = delete;

  SoakCase Draw(std::uint32_t seed) const;
  SoakResult Run(const SoakCase& soakCase);
  SoakResult Run(std::uint32_t seed) { return Run(Draw(seed)); }

 private:
  struct Reference;
  const Reference& ReferenceFor(const SoakCase& soakCase);
  const std::vector<std::uint8_t>& FileFor(int panelType);

  std::map<int, std::vector<std::uint8_t>> files_;
  std::map<std::string, std::unique_ptr<Reference>> references_;
};

// Counts of results by fault kind and exit code, and the lines the soak prints.
class SoakTable {
 public:
  void Add(const SoakResult& result);
  std::string Text() const;
  int Runs() const { return runs_; }
  int Violations() const { return violations_; }
  std::uint64_t LongestMs() const { return longestMs_; }

 private:
  static constexpr int kCodes = 7;
  std::map<int, std::array<int, kCodes + 2>> counts_;  // by fault: codes 0..6, apart, violating
  int runs_ = 0;
  int violations_ = 0;
  std::uint64_t longestMs_ = 0;
};

}  // namespace korvex::testing
