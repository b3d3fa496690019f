#include "view/status_panel_plan.h"

#include <gtest/gtest.h>

namespace korvex::view {
namespace {

TEST(StatusColoursTest, IntensityFollowsTheFaceAndShadingMixesSevenToOne) {
  struct Case {
    Rgb face;
    std::uint8_t intensity;
  };
  const Case cases[] = {
      {{240, 240, 240}, 0xD0},  // a light face: 720 > 672
      {{224, 224, 224}, 0xFF},  // exactly 672
      {{225, 224, 224}, 0xD0},  // one above
      {{30, 30, 30}, 0xFF},
  };
  for (const Case& c : cases) {
    const StatusColours colours = StatusColours::FromSystem(c.face, {0, 0, 0});
    const std::uint8_t i = c.intensity;
    EXPECT_EQ(colours.intensity, i) << int{c.face.red};
    EXPECT_EQ(colours.CellColour(display::kAttrBoldRed), (Rgb{i, 0, 0}));
    EXPECT_EQ(colours.CellColour(display::kAttrBoldGreen), (Rgb{0, i, 0}));
    EXPECT_EQ(colours.CellColour(7), (Rgb{i, i, i}));
    EXPECT_EQ(colours.CellColour(display::kAttrPlain), (Rgb{0, 0, 0}));
    EXPECT_EQ(colours.CellColour(display::kAttrBold), (Rgb{0, 0, 0}));
  }
  const StatusColours mixed = StatusColours::FromSystem({240, 16, 80}, {8, 96, 0});
  EXPECT_EQ(mixed.shading, (Rgb{(7 * 240 + 8) / 8, (7 * 16 + 96) / 8, 7 * 80 / 8}));
}

class StatusPanelPlanTest : public ::testing::Test {
 protected:
  StatusPanelPlanTest() { model.KVinit(); }

  StatusPaintPlan Plan() const { return PlanStatusPanel(model, colours, kPanel, kFontCell); }

  static constexpr Size kPanel{790, 268};
  static constexpr Size kFontCell{10, 19};
  const StatusColours colours = StatusColours::FromSystem({240, 240, 240}, {0, 0, 0});
  display::TKVStatus model;
};

TEST_F(StatusPanelPlanTest, LinesBecomeRunsOfOneAttributeWithoutTheirSpaces) {
  model.KVadd("Connecting");
  model.KVstatus("ERROR", 0, display::kAttrBoldRed);
  model.KVadd("Erasing sector 2");
  const StatusPaintPlan plan = Plan();

  EXPECT_EQ(plan.cell, kFontCell);
  EXPECT_EQ(plan.background, colours.background);
  ASSERT_EQ(plan.runs.size(), 3u);
  EXPECT_EQ(plan.runs[0].text, "Connecting");
  EXPECT_EQ(plan.runs[0].row, 0);
  EXPECT_EQ(plan.runs[0].column, 0);
  EXPECT_EQ(plan.runs[0].colour, colours.text);
  EXPECT_FALSE(plan.runs[0].bold);
  // "  ERROR" fills the last seven cells; the run starts at its first letter.
  EXPECT_EQ(plan.runs[1].text, "ERROR");
  EXPECT_EQ(plan.runs[1].column, model.Columns() - 5);
  EXPECT_EQ(plan.runs[1].colour, (Rgb{0xD0, 0, 0}));
  EXPECT_TRUE(plan.runs[1].bold);
  EXPECT_EQ(plan.runs[2].text, "Erasing sector 2");  // inner spaces stay in the run
  EXPECT_EQ(plan.runs[2].row, 1);
  EXPECT_EQ(plan.CellRect(1, 3), (Rect{30, 19, 10, 19}));
  EXPECT_FALSE(plan.shading.has_value());
}

TEST_F(StatusPanelPlanTest, TheConnectHintBlinksBetweenBoldTextColourAndBoldGreen) {
  model.KVadd("Connecting");
  model.KVstatus("Run Service mode", 0, display::kAttrBold);
  const TextRun first = Plan().runs.back();
  model.KVstatus("Run Service mode", 0, display::kAttrBoldGreen);
  const TextRun second = Plan().runs.back();
  EXPECT_EQ(first.text, second.text);
  EXPECT_TRUE(first.bold && second.bold);
  EXPECT_EQ(first.colour, colours.text);
  EXPECT_EQ(second.colour, (Rgb{0, 0xD0, 0}));
}

TEST_F(StatusPanelPlanTest, ProgressShadesFromItsPercentageToTheEndOfTheLineInProgress) {
  model.KVadd("Erasing");
  model.KVadd("Programming");
  model.KVprogress(25, 100, 1);
  const StatusPaintPlan plan = Plan();
  ASSERT_TRUE(plan.shading.has_value());
  // The second line: rows 19..37, the top and bottom pixel rows left free.
  EXPECT_EQ(plan.shading->rect, (Rect{790 * 25 / 100, 20, 790 - 197, 17}));
  EXPECT_EQ(plan.shading->pen, colours.shading);

  model.KVprogress(100, 100, 1);
  EXPECT_FALSE(Plan().shading.has_value());
  model.KVadd("Verifying");
  model.KVprogress(0, 100, 1);
  EXPECT_EQ(Plan().shading->rect.left, 0);
  model.KVstatus("   ok", 0, display::kAttrPlain);
  EXPECT_FALSE(Plan().shading.has_value());
}

TEST_F(StatusPanelPlanTest, TheCellShrinksOnlyWhenTheGridWouldNotFit) {
  EXPECT_EQ(StatusCellSize({10, 19}, {790, 268}, 79, 14), (Size{10, 19}));
  EXPECT_EQ(StatusCellSize({12, 22}, {790, 268}, 79, 14), (Size{10, 19}));
  // Device pixels at twice the density: the same grid, every length doubled.
  EXPECT_EQ(StatusCellSize({20, 38}, {1580, 536}, 79, 14), (Size{20, 38}));
}

}  // namespace
}  // namespace korvex::view
