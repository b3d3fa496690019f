// Which settings conversions a Program run makes, by panel type and the two versions.
#include "update/settings_conversion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvex::update {
namespace {

using Step = ConversionStep;

PlannedStep Up(Step step) {
  return {step, true};
}
PlannedStep Down(Step step) {
  return {step, false};
}

// A version text as the identity gives it: version, date, beta number.
std::string Version(const std::string& number) {
  return number + "20250312" + "000";
}

struct PlanCase {
  const char* name;
  int panelType;
  std::string panelVersion;
  std::string fileVersion;
  std::vector<PlannedStep> expected;
};

void PrintTo(const PlanCase& c, std::ostream* os) {
  *os << c.name;
}

class PlanConversionsTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanConversionsTest, ChoosesTheStepsInTheirOrder) {
  const PlanCase& c = GetParam();
  EXPECT_EQ(PlanConversions(static_cast<std::uint8_t>(c.panelType), c.panelVersion, c.fileVersion),
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlanConversionsTest,
    ::testing::Values(
        // The whole upgrade path of a type 1 panel; the 1.10 fill already clears the 1.14
        // bytes.
        PlanCase{"Type1From109To120",
                 1,
                 Version("109"),
                 Version("120"),
                 {Up(Step::kClearedFields112), Up(Step::kObjectMove112), Up(Step::kFill110),
                  Up(Step::kFlagExpansion117), Up(Step::kClearing111), Up(Step::kZoneFlag119)}},
        PlanCase{"Type1From113To114", 1, Version("113"), Version("114"), {Up(Step::kClearing114)}},
        PlanCase{"Type1From110To114",
                 1,
                 Version("110"),
                 Version("114"),
                 {Up(Step::kClearedFields112), Up(Step::kObjectMove112), Up(Step::kClearing114),
                  Up(Step::kClearing111)}},
        PlanCase{
            "Type2From112To111", 2, Version("112"), Version("111"), {Down(Step::kObjectMove112)}},
        PlanCase{"Type8HasNoObjectMove", 8, Version("112"), Version("111"), {}},
        PlanCase{
            "Type8From111To112", 8, Version("111"), Version("112"), {Up(Step::kClearedFields112)}},
        PlanCase{"Type1From110To109", 1, Version("110"), Version("109"), {Down(Step::kFill110)}},
        PlanCase{"Type0HasNoFill", 0, Version("110"), Version("109"), {}},
        PlanCase{
            "Type4From108To109", 4, Version("108"), Version("109"), {Up(Step::kOrvoTemperature)}},
        PlanCase{
            "Type5From109To108", 5, Version("109"), Version("108"), {Down(Step::kOrvoTemperature)}},
        PlanCase{"Type3HasNoOrvoDevices", 3, Version("108"), Version("109"), {}},
        PlanCase{"Type4From124To100",
                 4,
                 Version("124"),
                 Version("100"),
                 {Down(Step::kOrvoTemperature), Down(Step::kObjectMove112)}},
        PlanCase{"Type5From100To124",
                 5,
                 Version("100"),
                 Version("124"),
                 {Up(Step::kOrvoTemperature), Up(Step::kClearedFields112), Up(Step::kObjectMove112),
                  Up(Step::kFlagExpansion117), Up(Step::kClearing111), Up(Step::kZoneFlag119)}},
        PlanCase{"SameVersion", 1, Version("115"), Version("115"), {}},
        PlanCase{"NeitherSideOfABoundary", 6, Version("119"), Version("124"), {}},
        PlanCase{"Type0From118To119", 0, Version("118"), Version("119"), {Up(Step::kZoneFlag119)}},
        // Steps without a downgrade are not undone.
        PlanCase{"Type3From120To116", 3, Version("120"), Version("116"), {}},
        // An unrecognised program in the panel: nothing is converted.
        PlanCase{"UnrecognisedPanelProgram", 4, "\xFF", Version("124"), {}},
        PlanCase{"ShortPanelVersion", 1, "10", Version("124"), {}}),
    [](const ::testing::TestParamInfo<PlanCase>& param) { return param.param.name; });

}  // namespace
}  // namespace korvex::update
