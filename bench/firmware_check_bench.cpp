// The time one check of a firmware file takes: a 521732-byte file with an ST section of kind
// B, read from disk, descrambled, proved and decoded. A programming run repeats this check
// at its start, so it should stay well below what an operator notices (target: under 10 ms).
#include <benchmark/benchmark.h>

#include "firmware/firmware_check.h"
#include "firmware/open_file.h"
#include "shell/session.h"
#include "shell/virtual_clock.h"
#include "support/firmware_files.h"
#include "support/scripted_operator.h"

namespace {

using korvex::firmware::FirmwareImage;

// The headless checker, as the simulator and the file tool use it.
void BM_CheckFirmwareFileKindB(benchmark::State& state) {
  korvex::testing::TempDir dir;
  const std::string path = dir.Write("kind_b.qfw", korvex::testing::MakeValidQfw(5));
  FirmwareImage image;
  for (auto _ : state) {
    const auto result = korvex::firmware::CheckFirmwareFile(path, image);
    if (!result.Valid()) state.SkipWithError("the file was refused");
    benchmark::DoNotOptimize(image.MainImage.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 521732);
}
BENCHMARK(BM_CheckFirmwareFileKindB)->Unit(benchmark::kMillisecond);

// OpenFile in front of a (scripted) operator: status panel progress per 512-byte chunk,
// pending-message turns, description.
void BM_OpenFileKindB(benchmark::State& state) {
  korvex::testing::TempDir dir;
  const std::string path = dir.Write("kind_b.qfw", korvex::testing::MakeValidQfw(5));
  korvex::testing::ScriptedOperator op;
  korvex::shell::VirtualClock clock;
  korvex::shell::Session session(op, clock, 1);
  session.Info1.KVinit();
  session.FirmwareFileName = path;
  FirmwareImage image;
  for (auto _ : state) {
    if (!korvex::firmware::OpenFile(session, image, false)) state.SkipWithError("refused");
    op.titles.clear();
    op.descriptions.clear();
    op.descriptionEnabled.clear();
    op.statusBarFile.clear();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 521732);
}
BENCHMARK(BM_OpenFileKindB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
