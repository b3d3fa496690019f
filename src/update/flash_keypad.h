// The progress texts on the panel's keypads during erase, programming and verification:
// a 12-character caption and a percentage right-aligned in three places, refreshed only
// every few points because each refresh costs a link request.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "shell/util.h"
#include "update/run_context.h"

namespace korvex::update {

inline constexpr int kProgrammingKeypadStep = 6;
inline constexpr int kVerifyingKeypadStep = 13;
inline constexpr int kFullPercent = 100;

inline std::string KeypadPercentText(const char* caption, int percent) {
  return caption + shell::NumText(percent, 3) + "%";
}

// Shows the text on the keypads' second line.
inline void ShowKeypadLine(Context& context, const std::string& text) {
  context.starter.ShowKeypadText("", text, false);
}

// The refresh rule: at or beyond the threshold (and never in an unattended run) the text is
// sent and the threshold moves on by `step`, but not above 100.
class KeypadProgress {
 public:
  explicit KeypadProgress(int step) : step_(step) {}
  void Show(Context& context, const char* caption, int percent) {
    if (context.UnattendedRun || percent < threshold_) return;
    ShowKeypadLine(context, KeypadPercentText(caption, percent));
    threshold_ = std::min(threshold_ + step_, kFullPercent);
  }

 private:
  int step_;
  int threshold_ = 0;
};

}  // namespace korvex::update
