// Shared pieces of the programming-run tests: the texts a run shows and small queries on
// what the recording operator saw.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "display/kv_status.h"
#include "support/run_bench.h"

namespace korvex::testing {

inline constexpr const char* kOk = "   ok";
inline constexpr const char* kNoConnection = "NO RS connection";
inline constexpr std::uint8_t kPlain = display::kAttrPlain;
inline constexpr std::uint8_t kBoldRed = display::kAttrBoldRed;
inline constexpr const char* kTypeMismatch = "Program in file does not match panel type !";

// The verdict of the last line with this caption; an empty verdict when there is no line.
inline RecordedStatus VerdictOf(const RunBench& bench, const std::string& caption) {
  const RecordedLine* line = bench.op.Line(caption);
  return line ? line->Verdict() : RecordedStatus{"(no line " + caption + ")", 0};
}

inline bool HasLine(const RunBench& bench, const std::string& caption) {
  return bench.op.Line(caption) != nullptr;
}

inline bool StatusShown(const RunBench& bench, const std::string& caption,
                        const std::string& text) {
  const RecordedLine* line = bench.op.Line(caption);
  return line && std::any_of(line->statuses.begin(), line->statuses.end(),
                             [&](const RecordedStatus& s) { return s.text == text; });
}

inline std::vector<std::string> BoxTexts(const RunBench& bench) {
  std::vector<std::string> texts;
  for (const RecordedBox& box : bench.op.boxes) texts.push_back(box.text);
  return texts;
}

// The caption of the line the run ended on.
inline std::string LastCaption(const RunBench& bench) {
  return bench.op.lines.empty() ? "" : bench.op.lines.back().caption;
}

// "0x62:2,0x62:3,..." for `count` requests with this command from occurrence `from` on.
inline std::string Occurrences(std::uint8_t command, int from, int count) {
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, "0x%02X:", command);
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (!text.empty()) text += ",";
    text += prefix + std::to_string(from + i);
  }
  return text;
}

// Request codes the runs use with a 6.x starter.
inline constexpr std::uint8_t kConnect = 0x0D;
inline constexpr std::uint8_t kIdentify = 0x61;
inline constexpr std::uint8_t kReadFlash = 0x62;
inline constexpr std::uint8_t kBlockCheck = 0x64;
inline constexpr std::uint8_t kSetToken = 0x1E;
inline constexpr std::uint8_t kCheckToken = 0x1F;
inline constexpr std::uint8_t kErase = 0x26;
inline constexpr std::uint8_t kProgramPage = 0x25;
inline constexpr std::uint8_t kProgramShort = 0x28;
inline constexpr std::uint8_t kRestart = 0x67;
inline constexpr std::uint8_t kWriteSettings = 0x80;
inline constexpr std::uint8_t kWriteSettingsByte = 0x81;
// One starter request gives up after this many frames (4 exchanges of 4 attempts).
inline constexpr int kFramesPerGiveUp = 16;

inline bool AnyWrite(const RunBench& bench) {
  return bench.Heard(kErase) + bench.Heard(kProgramPage) + bench.Heard(kProgramShort) > 0;
}

}  // namespace korvex::testing
