// Panels for the simulator's tests: a preset with a few keys changed, built at once.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "sim/panel_preset.h"

namespace korvex::sim::testing {

inline PanelPreset PresetWith(std::initializer_list<std::pair<const char*, const char*>> keys) {
  PanelPreset preset;
  for (const auto& [key, value] : keys) {
    std::string error;
    EXPECT_TRUE(ApplyPresetSetting(preset, key, value, &error)) << key << ": " << error;
  }
  return preset;
}

inline std::unique_ptr<PanelModel> MakePanel(const PanelPreset& preset) {
  std::string error;
  auto panel = BuildPanel(preset, &error);
  EXPECT_NE(panel, nullptr) << error;
  return panel;
}

inline std::unique_ptr<PanelModel> MakePanel(
    std::initializer_list<std::pair<const char*, const char*>> keys = {}) {
  return MakePanel(PresetWith(keys));
}

}  // namespace korvex::sim::testing
