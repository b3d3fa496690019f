// Pieces of the settings conversion tests: preset keys that place settings bytes, the data
// writes the panel heard (without the block marks and sums the checked writes add), and the
// comparison of the panel's settings areas with what they held before plus the expected
// writes, with every block mark and sum right.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "run_test_util.h"
#include "sim/settings_blocks.h"

namespace korvex::testing {

inline constexpr std::uint8_t kReadSettings = 0x70;
inline constexpr const char* kConversion = "Settings format conversion";
inline constexpr const char* kFill = "0x5A";  // the settings bytes nobody set

using Bytes = std::vector<std::uint8_t>;

inline std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// The value of a settings1_bytes / settings2_bytes key.
inline std::string BytesAt(std::uint16_t address, const Bytes& bytes) {
  std::string text = Hex(address);
  for (const std::uint8_t b : bytes) text += " " + Hex(b);
  return text;
}

// A panel of a type holding a program of `panelVersion`, its settings filled with 0x5A (with
// right block checks) apart from the bytes given, and the PC opening a file of `fileVersion`.
inline BenchSetup ConversionBench(int panelType, const std::string& panelVersion,
                                  const std::string& fileVersion, PresetKeys settings = {}) {
  BenchSetup setup =
      Bench(FileWith(panelType, fileVersion), {{"panel_type", std::to_string(panelType)},
                                               {"program_version", panelVersion},
                                               {"settings_fill", kFill}});
  for (auto& key : settings) setup.keys.push_back(std::move(key));
  return setup;
}

struct SettingsWrite {
  int area = 1;
  std::uint16_t address = 0;
  std::uint8_t value = 0;
  bool operator==(const SettingsWrite&) const = default;
};

inline void PrintTo(const SettingsWrite& w, std::ostream* os) {
  *os << "area " << w.area << " " << Hex(w.address) << "=" << Hex(w.value);
}

// Expected writes, built in order.
class Writes {
 public:
  Writes& Add(int area, std::uint16_t address, std::uint8_t value) {
    list.push_back({area, address, value});
    return *this;
  }
  Writes& Fill(int area, std::uint16_t address, int count, std::uint8_t value) {
    for (int i = 0; i < count; ++i) Add(area, static_cast<std::uint16_t>(address + i), value);
    return *this;
  }
  std::vector<SettingsWrite> list;
};

// True when `address` of `area` holds a block mark or a block sum on this panel type.
inline bool IsCheckAddress(int panelType, int area, std::uint16_t address) {
  const auto layout = sim::SettingsLayoutFor(panelType, area);
  if (!layout) return false;
  const std::uint32_t blocks = layout->BlockCount();
  return (address >= layout->limit && address < layout->limit + blocks) ||
         (address >= layout->check && address < layout->check + 2 * blocks);
}

// The one-byte settings writes the panel carried out, in order, without the marks and sums.
inline std::vector<SettingsWrite> DataWrites(const RunBench& bench, int panelType) {
  std::vector<SettingsWrite> writes;
  for (const sim::ExchangeRecord& e : bench.HeardRequests(kWriteSettingsByte)) {
    if (e.answer != sim::kAnswerDone) continue;
    const SettingsWrite w{
        e.request[3], static_cast<std::uint16_t>(e.request[1] | e.request[2] << 8), e.request[4]};
    if (!IsCheckAddress(panelType, w.area, w.address)) writes.push_back(w);
  }
  return writes;
}

// The 64-byte settings writes the panel carried out: area, address and the bytes.
struct ChunkWrite {
  int area = 1;
  std::uint16_t address = 0;
  Bytes data;
  bool operator==(const ChunkWrite&) const = default;
};

inline std::vector<ChunkWrite> ChunkWrites(const RunBench& bench) {
  std::vector<ChunkWrite> writes;
  for (const sim::ExchangeRecord& e : bench.HeardRequests(kWriteSettings)) {
    if (e.answer != sim::kAnswerDone) continue;
    writes.push_back({e.request[3], static_cast<std::uint16_t>(e.request[1] | e.request[2] << 8),
                      Bytes(e.request.begin() + 4, e.request.end())});
  }
  return writes;
}

// The settings areas of a panel as they are now.
inline std::array<Bytes, 2> SettingsOf(const RunBench& bench) {
  return {Bytes(bench.panel->Settings(1).begin(), bench.panel->Settings(1).end()),
          Bytes(bench.panel->Settings(2).begin(), bench.panel->Settings(2).end())};
}

// The areas `before` with the writes applied and every block mark and sum refreshed.
inline std::array<Bytes, 2> Expected(int panelType, std::array<Bytes, 2> before,
                                     const std::vector<SettingsWrite>& writes,
                                     const std::vector<ChunkWrite>& chunks = {}) {
  for (const ChunkWrite& c : chunks) {
    std::copy(c.data.begin(), c.data.end(), before[c.area - 1].begin() + c.address);
  }
  for (const SettingsWrite& w : writes) before[w.area - 1][w.address] = w.value;
  for (int area = 1; area <= 2; ++area) {
    sim::RefreshSettingsChecks(before[area - 1], *sim::SettingsLayoutFor(panelType, area));
  }
  return before;
}

// Every byte of both areas equals `expected`; lists the first differences.
inline ::testing::AssertionResult SettingsEqual(const RunBench& bench,
                                                const std::array<Bytes, 2>& expected) {
  const std::array<Bytes, 2> actual = SettingsOf(bench);
  std::string differences;
  int count = 0;
  for (int area = 1; area <= 2; ++area) {
    for (std::size_t a = 0; a < actual[area - 1].size(); ++a) {
      if (actual[area - 1][a] == expected[area - 1][a]) continue;
      if (++count <= 12) {
        differences += "\n  area " + std::to_string(area) + " " + Hex(static_cast<unsigned>(a)) +
                       ": " + Hex(actual[area - 1][a]) + ", expected " + Hex(expected[area - 1][a]);
      }
    }
  }
  if (count == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << count << " settings bytes differ:" << differences;
}

// The captions of the lines a run added, only those of the settings conversion.
inline int ConversionLines(const RunBench& bench) {
  int n = 0;
  for (const RecordedLine& line : bench.op.lines) n += line.caption == kConversion;
  return n;
}

// The verdicts of the conversion lines in order.
inline std::vector<RecordedStatus> ConversionVerdicts(const RunBench& bench) {
  std::vector<RecordedStatus> verdicts;
  for (const RecordedLine& line : bench.op.lines) {
    if (line.caption == kConversion) verdicts.push_back(line.Verdict());
  }
  return verdicts;
}

}  // namespace korvex::testing
