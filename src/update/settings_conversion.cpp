#include "update/settings_conversion.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "update/orvo_temperature.h"
#include "update/run_phases.h"
#include "update/table_conversions.h"

namespace korvex::update {

namespace {

constexpr std::size_t kVersionNumberLength = 3;

// When a step is due: the panel types it applies to (bit t for type t) and its version
// boundary. An upgrade crosses it from at most `oldVersion` to at least `newVersion`; a
// downgrade, where allowed, the other way.
struct StepRule {
  ConversionStep step;
  std::uint16_t panelTypes;
  const char* oldVersion;
  const char* newVersion;
  bool downgrade;
};

constexpr std::uint16_t Types(std::initializer_list<int> types) {
  std::uint16_t mask = 0;
  for (const int t : types) mask = static_cast<std::uint16_t>(mask | 1u << t);
  return mask;
}
constexpr std::uint16_t kAllTypes = Types({0, 1, 2, 3, 4, 5, 6, 7, 8});

// In running order.
constexpr std::array<StepRule, 8> kStepRules{{
    {ConversionStep::kOrvoTemperature, Types({4, 5}), "108", "109", true},
    {ConversionStep::kClearedFields112, kAllTypes, "111", "112", false},
    {ConversionStep::kObjectMove112, Types({0, 1, 2, 3, 4, 5, 6, 7}), "111", "112", true},
    {ConversionStep::kFill110, Types({1}), "109", "110", true},
    {ConversionStep::kClearing114, Types({1}), "113", "114", false},
    {ConversionStep::kFlagExpansion117, kAllTypes, "116", "117", false},
    {ConversionStep::kClearing111, kAllTypes, "110", "111", false},
    {ConversionStep::kZoneFlag119, kAllTypes, "118", "119", false},
}};

// Version numbers compare as texts of unsigned bytes.
int CompareVersions(std::string_view a, std::string_view b) {
  const auto less = [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less)) return -1;
  if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less)) return 1;
  return 0;
}

bool Contains(const std::vector<PlannedStep>& plan, ConversionStep step) {
  return std::any_of(plan.begin(), plan.end(),
                     [step](const PlannedStep& planned) { return planned.step == step; });
}

PhaseOutcome RunStep(Context& context, const PlannedStep& planned) {
  switch (planned.step) {
    case ConversionStep::kOrvoTemperature:
      return ConvertOrvoTemperatures(context, planned.upgrade);
    case ConversionStep::kClearedFields112:
      ClearFields112(context);
      break;
    case ConversionStep::kObjectMove112:
      MoveObjectData112(context, planned.upgrade);
      break;
    case ConversionStep::kFill110:
      Fill110(context, planned.upgrade);
      break;
    case ConversionStep::kClearing114:
      Clear114(context);
      break;
    case ConversionStep::kFlagExpansion117:
      ExpandFlags117(context);
      break;
    case ConversionStep::kClearing111:
      Clear111(context);
      break;
    case ConversionStep::kZoneFlag119:
      return ClearZoneFlags119(context);
  }
  return PhaseOutcome::kGoOn;
}

}  // namespace

std::vector<PlannedStep> PlanConversions(std::uint8_t panelType, std::string_view panelVersionText,
                                         std::string_view fileVersionText) {
  std::vector<PlannedStep> plan;
  if (panelVersionText.size() < kVersionNumberLength || panelType >= 16) return plan;
  const std::string_view panel = panelVersionText.substr(0, kVersionNumberLength);
  const std::string_view file = fileVersionText.substr(0, kVersionNumberLength);
  for (const StepRule& rule : kStepRules) {
    if ((rule.panelTypes >> panelType & 1u) == 0) continue;
    if (rule.step == ConversionStep::kClearing114 && Contains(plan, ConversionStep::kFill110)) {
      continue;
    }
    if (CompareVersions(panel, rule.oldVersion) <= 0 &&
        CompareVersions(file, rule.newVersion) >= 0) {
      plan.push_back({rule.step, true});
    } else if (rule.downgrade && CompareVersions(panel, rule.newVersion) >= 0 &&
               CompareVersions(file, rule.oldVersion) <= 0) {
      plan.push_back({rule.step, false});
    }
  }
  return plan;
}

PhaseOutcome ConvertSettings(Context& context) {
  shell::Session& session = context.session;
  // A failed settings write of an earlier run of the process must not silence this run's.
  context.starter.State().SettingsWriteFailed = false;
  const std::vector<PlannedStep> plan = PlanConversions(
      context.starter.State().PanelType, context.PanelVersionText, context.image.FileVersionText);
  for (const PlannedStep& planned : plan) {
    if (session.StopRequested) {
      session.ExitCode = shell::kExitNoConnection;
      return PhaseOutcome::kEndRun;
    }
    if (RunStep(context, planned) == PhaseOutcome::kEndRun) return PhaseOutcome::kEndRun;
    // A step skipped a write because its readings disagreed: the line is not to be trusted
    // with the rest.
    if (EndedOnDisagreement(context)) return PhaseOutcome::kEndRun;
  }
  return PhaseOutcome::kGoOn;
}

}  // namespace korvex::update
