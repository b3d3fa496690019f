#include "support/soak.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <span>

#include "support/run_bench.h"

namespace korvex::testing {

namespace {

constexpr const char* kFileVersion = "124";
constexpr std::uint32_t kStarterAreaBase = 0x70000;
constexpr std::uint32_t kProgramAreaSize = 0x60000;
constexpr std::uint8_t kStarterUpdateRequest = 0xA5;
constexpr std::uint32_t kSettingsSeeds = 3;

struct Memories {
  std::vector<std::uint8_t> flash;
  std::vector<std::uint8_t> settings1;
  std::vector<std::uint8_t> settings2;
  std::vector<std::uint8_t> st;
};

Memories Snapshot(const sim::PanelModel& panel) {
  auto copy = [](std::span<const std::uint8_t> bytes) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
  };
  return {copy(panel.Flash()), copy(panel.Settings(1)), copy(panel.Settings(2)), panel.St().memory};
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%05X", value);
  return text;
}

// The first difference between two memories, or an empty text.
std::string FirstDifference(const char* name, const std::vector<std::uint8_t>& got,
                            const std::vector<std::uint8_t>& want) {
  if (got.size() != want.size()) return std::string(name) + " has another size";
  const auto [at, _] = std::mismatch(got.begin(), got.end(), want.begin());
  if (at == got.end()) return {};
  return std::string(name) + " differs at " + Hex(static_cast<std::uint32_t>(at - got.begin()));
}

std::vector<std::string> Differences(const Memories& got, const Memories& want) {
  std::vector<std::string> found;
  for (std::string text : {FirstDifference("FLASH", got.flash, want.flash),
                           FirstDifference("settings area 1", got.settings1, want.settings1),
                           FirstDifference("settings area 2", got.settings2, want.settings2),
                           FirstDifference("ST program", got.st, want.st)}) {
    if (!text.empty()) found.push_back(std::move(text));
  }
  return found;
}

bool Success(int exitCode) {
  return exitCode == 5 || exitCode == 6;
}

std::string Key(const SoakCase& c) {
  std::string key = std::to_string(c.panelType) + (c.panelHoldsFile ? " holds" : " other");
  for (const auto& [k, v] : c.panelKeys) key += " " + k + "=" + v;
  return key;
}

class Draws {
 public:
  explicit Draws(std::uint32_t seed) : rng_(seed) {}
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  double Between(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(rng_);
  }
  bool Chance(double p) { return Between(0.0, 1.0) < p; }

 private:
  std::mt19937 rng_;
};

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", value);
  return text;
}

}  // namespace

const char* SoakFaultName(SoakFault fault) {
  switch (fault) {
    case SoakFault::kCleanLine:
      return "clean line";
    case SoakFault::kNoise:
      return "noise";
    case SoakFault::kDrops:
      return "drops";
    case SoakFault::kDelays:
      return "delays";
    case SoakFault::kRefusals:
      return "refusals";
    case SoakFault::kSilentRate:
      return "silent rate";
    case SoakFault::kLostToken:
      return "lost token";
    case SoakFault::kPowerLoss:
      return "power loss";
    case SoakFault::kServiceMenu:
      return "service menu";
    case SoakFault::kStop:
      return "stop";
  }
  return "?";
}

std::string SoakCase::Describe() const {
  std::string text = "seed " + std::to_string(seed) + ": type " + std::to_string(panelType) +
                     (panelHoldsFile ? ", holds the file's program" : "");
  for (const auto& [k, v] : panelKeys) text += ", " + k + "=" + v;
  text += "; " + std::string(SoakFaultName(fault));
  for (const auto& [k, v] : faultKeys) text += ", " + k + "=" + v;
  if (fault == SoakFault::kStop) text += ", at " + Number(moment) + " of the run";
  return text;
}

// A clean run on a fresh copy of the panel: what a run should leave, and how long it takes.
struct Soak::Reference {
  int exitCode = 0;
  Memories memories;
  std::uint32_t requests = 0;
  std::uint64_t durationMs = 0;
};

Soak::Soak() = default;
Soak::~Soak() = default;

const std::vector<std::uint8_t>& Soak::FileFor(int panelType) {
  auto found = files_.find(panelType);
  if (found == files_.end()) {
    found = files_.emplace(panelType, FileWith(panelType, kFileVersion)).first;
  }
  return found->second;
}

SoakCase Soak::Draw(std::uint32_t seed) const {
  Draws draw(seed);
  SoakCase c;
  c.seed = seed;
  c.panelType = draw.Below(9);
  auto key = [&c](std::string k, std::string v) { c.panelKeys.emplace_back(k, v); };
  key("panel_type", std::to_string(c.panelType));
  key("flash_kind", std::to_string(1 + draw.Below(9)));
  key("seed", std::to_string(1 + draw.Below(kSettingsSeeds)));
  switch (draw.Below(20)) {
    case 0:
      key("starter_damage", "sum");
      c.starterNeedsReplacing = true;
      break;
    case 1:
      key("starter_damage", "digits");
      c.starterNeedsReplacing = true;
      break;
    case 2:
      key("starter_version", "0x52");
      c.starterNeedsReplacing = true;
      break;
    default:
      break;
  }
  const int program = draw.Below(10);
  if (program < 4) {
    c.panelHoldsFile = true;
    // Types 4..8 carry an ST; mostly it holds the file's ST program too.
    if (c.panelType >= 4 && draw.Chance(0.7)) key("st_program", "qfw");
  } else if (program < 9) {
    static constexpr std::array<const char*, 6> kOlder{"108", "109", "111", "116", "118", "123"};
    key("program_version", kOlder[static_cast<std::size_t>(draw.Below(kOlder.size()))]);
  } else {
    key("program_version", "125");
  }

  c.fault = static_cast<SoakFault>(draw.Below(kSoakFaultCount));
  c.moment = draw.Between(0.0, 1.0);
  auto fault = [&c](std::string k, std::string v) { c.faultKeys.emplace_back("fault." + k, v); };
  if (c.fault != SoakFault::kCleanLine) fault("seed", std::to_string(seed));
  switch (c.fault) {
    case SoakFault::kCleanLine:
      break;
    case SoakFault::kNoise:
      fault("corrupt_probability", Number(draw.Between(0.001, 0.01)));
      fault("drop_probability", "0.005");
      break;
    case SoakFault::kDrops:
      fault("drop_probability", Number(draw.Between(0.005, 0.05)));
      break;
    case SoakFault::kDelays:
      fault("reply_delay_ms", std::to_string(draw.Below(40)));
      break;
    case SoakFault::kRefusals:
      if (draw.Chance(0.5)) {
        fault("refuse_connect", std::to_string(1 + draw.Below(9)));
      }
      // refuse_writes_from is placed when the run's length is known.
      break;
    case SoakFault::kSilentRate:
      fault("silent_rates", draw.Chance(0.5) ? "115200" : "115200, 57600");
      break;
    case SoakFault::kLostToken:
    case SoakFault::kPowerLoss:
    case SoakFault::kServiceMenu:
    case SoakFault::kStop:
      break;
  }
  // Light noise on top of the other faults now and then.
  if (c.fault != SoakFault::kCleanLine && c.fault != SoakFault::kNoise && draw.Chance(0.3)) {
    fault("corrupt_probability", "0.001");
  }
  return c;
}

const Soak::Reference& Soak::ReferenceFor(const SoakCase& c) {
  const std::string key = Key(c);
  auto found = references_.find(key);
  if (found != references_.end()) return *found->second;
  BenchSetup setup = Bench(FileFor(c.panelType), c.panelKeys);
  setup.panelHoldsFile = c.panelHoldsFile;
  RunBench bench(setup);
  bench.StartUnattended();
  auto reference = std::make_unique<Reference>();
  reference->exitCode = bench.ExitCode();
  reference->memories = Snapshot(*bench.panel);
  reference->requests = bench.panel->RequestCount();
  reference->durationMs = bench.clock.NowMs();
  return *references_.emplace(key, std::move(reference)).first->second;
}

SoakResult Soak::Run(const SoakCase& c) {
  const Reference& reference = ReferenceFor(c);
  SoakResult result;
  result.seed = c.seed;
  result.fault = c.fault;

  // Faults placed at a moment of the run, by the clean run's length.
  std::vector<std::pair<std::string, std::string>> faultKeys = c.faultKeys;
  const auto request = std::to_string(
      1 + static_cast<std::uint32_t>(c.moment * std::max<std::uint32_t>(reference.requests, 1)));
  switch (c.fault) {
    case SoakFault::kRefusals:
      if (std::none_of(faultKeys.begin(), faultKeys.end(),
                       [](const auto& k) { return k.first == "fault.refuse_connect"; })) {
        faultKeys.emplace_back("fault.refuse_writes_from", request);
      }
      break;
    case SoakFault::kLostToken:
      faultKeys.emplace_back("fault.lose_token_at", request);
      break;
    case SoakFault::kPowerLoss:
      faultKeys.emplace_back("fault.power_loss_at", request);
      break;
    case SoakFault::kServiceMenu:
      faultKeys.emplace_back("fault.service_menu_at", request);
      break;
    default:
      break;
  }

  BenchSetup setup = Bench(FileFor(c.panelType), c.panelKeys);
  setup.panelHoldsFile = c.panelHoldsFile;
  for (auto& k : faultKeys) setup.keys.push_back(k);
  RunBench bench(setup);
  const std::vector<std::uint8_t> starterBefore(bench.panel->Flash().begin() + kStarterAreaBase,
                                                bench.panel->Flash().end());
  const std::uint8_t starterVersionBefore = bench.panel->StarterVersion();
  if (c.fault == SoakFault::kStop) {
    const auto stopAt = 1 + static_cast<std::uint64_t>(c.moment * reference.durationMs);
    bench.clock.OnAdvance([&bench, stopAt](std::uint64_t now) {
      if (now >= stopAt && bench.app) bench.Session().StopRequested = true;
    });
  }
  bench.StartUnattended();
  bench.clock.OnAdvance({});
  result.exitCode = bench.ExitCode();
  result.durationMs = bench.clock.NowMs();
  if (!bench.op.lines.empty()) {
    result.lastLine = bench.op.lines.back().caption + ": " + bench.op.lines.back().Verdict().text;
  }
  auto violation = [&result](std::string text) { result.violations.push_back(std::move(text)); };

  if (Success(result.exitCode)) {
    if (!Success(reference.exitCode)) {
      violation("success where a clean run ends with " + std::to_string(reference.exitCode));
    }
    for (const std::string& difference : Differences(Snapshot(*bench.panel), reference.memories)) {
      violation("success, but the " + difference + " from what a clean run leaves");
    }
  }
  if (!c.starterNeedsReplacing) {
    const bool areaKept = std::equal(starterBefore.begin(), starterBefore.end(),
                                     bench.panel->Flash().begin() + kStarterAreaBase);
    if (!areaKept || bench.panel->StarterVersion() != starterVersionBefore ||
        bench.Heard(kStarterUpdateRequest) > 0) {
      violation("a sound starter was replaced or changed");
    }
  }
  if (result.durationMs > kSoakRunBudgetMs) {
    violation("the run took " + std::to_string(result.durationMs) + " ms");
  }
  for (const sim::Violation& v : bench.panel->Violations()) {
    // A panel that lost its token refuses the writes the PC sends until its next periodic
    // token check, as the protocol means it to: those refusals are the protection working.
    if (c.fault == SoakFault::kLostToken && v.text.find("token") != std::string::npos) continue;
    violation("the panel refused request #" + std::to_string(v.seq) + ": " + v.text);
  }

  if (!Success(result.exitCode) && Success(reference.exitCode)) {
    // The operator's way back: power the panel off and on and run again on a clean line.
    bench.panel->SetFaults({});
    bench.panel->PowerCycle(bench.clock.NowMs() * 1000);
    bench.NewProcess();
    bench.StartUnattended();
    const bool programRight =
        std::equal(bench.panel->Flash().begin(), bench.panel->Flash().begin() + kProgramAreaSize,
                   bench.Image().begin());
    if (!Success(bench.ExitCode()) || !programRight) {
      const bool interruptible = c.fault == SoakFault::kPowerLoss || c.fault == SoakFault::kStop ||
                                 c.fault == SoakFault::kServiceMenu;
      if (c.starterNeedsReplacing && interruptible) {
        result.interruptedStarterReplacement = true;
      } else {
        violation("a clean re-run ends with " + std::to_string(bench.ExitCode()) +
                  (programRight ? "" : ", the program area differs from the file"));
      }
    }
  }
  return result;
}

void SoakTable::Add(const SoakResult& result) {
  auto& row = counts_[static_cast<int>(result.fault)];
  if (result.exitCode >= 0 && result.exitCode < kCodes) ++row[result.exitCode];
  if (result.interruptedStarterReplacement) ++row[kCodes];
  if (!result.violations.empty()) {
    ++row[kCodes + 1];
    ++violations_;
  }
  ++runs_;
  longestMs_ = std::max(longestMs_, result.durationMs);
}

std::string SoakTable::Text() const {
  std::string text;
  char line[160];
  std::snprintf(line, sizeof line, "%-14s %6s %6s %6s %6s %6s %6s %6s %6s %6s %6s\n", "fault", "0",
                "1", "2", "3", "4", "5", "6", "apart", "viol.", "runs");
  text += line;
  std::array<int, kCodes + 2> total{};
  for (const auto& [fault, row] : counts_) {
    int runs = 0;
    for (int code = 0; code < kCodes; ++code) runs += row[code];
    std::snprintf(line, sizeof line, "%-14s %6d %6d %6d %6d %6d %6d %6d %6d %6d %6d\n",
                  SoakFaultName(static_cast<SoakFault>(fault)), row[0], row[1], row[2], row[3],
                  row[4], row[5], row[6], row[7], row[8], runs);
    text += line;
    for (std::size_t i = 0; i < total.size(); ++i) total[i] += row[i];
  }
  std::snprintf(line, sizeof line, "%-14s %6d %6d %6d %6d %6d %6d %6d %6d %6d %6d\n", "all",
                total[0], total[1], total[2], total[3], total[4], total[5], total[6], total[7],
                total[8], runs_);
  text += line;
  return text;
}

}  // namespace korvex::testing
