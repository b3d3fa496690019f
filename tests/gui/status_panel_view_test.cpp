// The status panel's drawing: attribute colours, bold cells, the progress shading over the
// unfinished part of the line, and text drawn at the screen's resolution.
#include "gui/status_panel_view.h"

#include <gtest/gtest.h>

#include "display/kv_status.h"
#include "gui_test_support.h"

namespace korvex::gui {
namespace {

using testing::GuiApp;

QColor Q(view::Rgb rgb) {
  return {rgb.red, rgb.green, rgb.blue};
}

class StatusPanelViewTest : public ::testing::Test {
 protected:
  StatusPanelViewTest() {
    view.SetColours(colours);
    model.KVinit();
  }

  // Pixels of one cell (1-based line and column) matching a test.
  template <typename Pred>
  int CountInCell(int line, int column, Pred pred) const {
    const QSize cell = view.CellSize();
    int count = 0;
    for (int y = (line - 1) * cell.height(); y < line * cell.height(); ++y) {
      for (int x = (column - 1) * cell.width(); x < column * cell.width(); ++x) {
        if (pred(view.Surface().pixelColor(x, y))) ++count;
      }
    }
    return count;
  }

  static bool Red(const QColor& c) { return c.red() > 120 && c.green() < 90 && c.blue() < 90; }
  static bool Dark(const QColor& c) { return c.red() < 110 && c.green() < 110 && c.blue() < 110; }

  QApplication& app = GuiApp();  // before any widget
  const view::StatusColours colours = view::StatusColours::FromSystem({240, 240, 240}, {0, 0, 0});
  StatusPanelView view;
  display::TKVStatus model;
};

TEST_F(StatusPanelViewTest, TheGridOfTheMainWindowFitsItsFont) {
  const QSize cell = view.CellSize();
  EXPECT_GT(cell.width(), 4);
  EXPECT_GT(cell.height(), 8);
  EXPECT_LE(cell.width() * model.Columns(), kStatusPanelWidth);
  EXPECT_LE(cell.height() * model.Rows(), kStatusPanelHeight);
  EXPECT_TRUE(FontOf(view::kStatusPanelFont).fixedPitch());
  EXPECT_EQ(FontOf(view::kStatusPanelFont).pointSize(), 12);
}

TEST_F(StatusPanelViewTest, AnErrorVerdictIsDrawnRedAndThePlainTextInTheTextColour) {
  model.KVadd("X");
  model.KVstatus("ERROR", 0, display::kAttrBoldRed);
  view.ShowPanel(model);
  const int columns = model.Columns();

  EXPECT_GT(CountInCell(1, 1, Dark), 0);  // "X"
  EXPECT_EQ(CountInCell(1, 1, Red), 0);
  for (int column = columns - 4; column <= columns; ++column) {  // "ERROR"
    EXPECT_GT(CountInCell(1, column, Red), 0) << column;
    EXPECT_EQ(CountInCell(1, column, Dark), 0) << column;
  }
  // The rest of the panel is the face.
  EXPECT_EQ(view.Surface().pixelColor(view.width() / 2, view.height() - 2), Q(colours.background));
}

TEST_F(StatusPanelViewTest, BoldCellsCarryMoreInkThanPlainOnes) {
  model.KVadd("M");
  model.KVadd("M");
  model.KVstatus("M", 0, display::kAttrBold);  // the same letter, bold, at the line's end
  view.ShowPanel(model);
  const int plain = CountInCell(1, 1, Dark);
  const int bold = CountInCell(2, model.Columns(), Dark);
  EXPECT_GT(plain, 0);
  EXPECT_GT(bold, plain);
}

TEST_F(StatusPanelViewTest, ProgressShadesTheUnfinishedPartOfTheLineOnly) {
  model.KVadd("File checking");
  model.KVprogress(25, 100, 1);
  view.ShowPanel(model);

  const QImage& surface = view.Surface();
  const int cellHeight = view.CellSize().height();
  const int from = kStatusPanelWidth * 25 / 100;
  // The pen is combined with the face by AND.
  const QColor shaded(colours.shading.red & colours.background.red,
                      colours.shading.green & colours.background.green,
                      colours.shading.blue & colours.background.blue);
  ASSERT_NE(shaded, Q(colours.background));

  const int middle = cellHeight / 2;
  EXPECT_EQ(surface.pixelColor(from - 3, middle), Q(colours.background));  // finished part
  EXPECT_EQ(surface.pixelColor(from, middle), shaded);
  EXPECT_EQ(surface.pixelColor(kStatusPanelWidth / 2, 1), shaded);
  EXPECT_EQ(surface.pixelColor(kStatusPanelWidth / 2, cellHeight - 2), shaded);
  // The line's top and bottom pixel rows and the next line stay free.
  EXPECT_EQ(surface.pixelColor(kStatusPanelWidth / 2, 0), Q(colours.background));
  EXPECT_EQ(surface.pixelColor(kStatusPanelWidth / 2, cellHeight - 1), Q(colours.background));
  EXPECT_EQ(surface.pixelColor(kStatusPanelWidth / 2, cellHeight + middle), Q(colours.background));
  // The percentage at the line's end stays legible under the shading.
  EXPECT_GT(CountInCell(1, model.Columns() - 1, Dark), 0);  // "5" of "25%"
}

TEST_F(StatusPanelViewTest, NoShadingAtFullProgressOrAfterAVerdict) {
  model.KVadd("Programming");
  model.KVprogress(0, 100, 1);
  view.ShowPanel(model);
  const int middle = view.CellSize().height() / 2;
  EXPECT_NE(view.Surface().pixelColor(kStatusPanelWidth / 2, middle), Q(colours.background));

  model.KVprogress(100, 100, 1);
  view.ShowPanel(model);
  EXPECT_EQ(view.Surface().pixelColor(kStatusPanelWidth / 2, middle), Q(colours.background));

  model.KVprogress(0, 100, 1);  // ignored: the percentage did not grow
  model.KVadd("Verifying");
  model.KVprogress(50, 100, 1);
  model.KVstatus("   ok", 0, display::kAttrPlain);
  view.ShowPanel(model);
  for (int line = 1; line <= 2; ++line) {
    EXPECT_EQ(view.Surface().pixelColor(kStatusPanelWidth * 3 / 4,
                                        (line - 1) * view.CellSize().height() + middle),
              Q(colours.background))
        << line;
  }
}

TEST_F(StatusPanelViewTest, AtTwiceTheDensityTheTextIsDrawnAtTheScreensResolution) {
  model.KVadd("File checking");
  model.KVstatus("ERROR", 0, display::kAttrBoldRed);
  view.SetDeviceScale(2.0);
  view.ShowPanel(model);
  const QImage& surface = view.Surface();
  EXPECT_EQ(surface.size(), QSize(2 * kStatusPanelWidth, 2 * kStatusPanelHeight));
  EXPECT_EQ(surface.devicePixelRatio(), 2.0);
  // The first line's cells, in device pixels: finer than a doubled low-resolution drawing.
  const QSize cell = view.CellSize();
  const QImage line = surface.copy(0, 0, 2 * cell.width() * model.Columns(), 2 * cell.height());
  EXPECT_FALSE(testing::PixelDoubled(line));
  // "ERROR" is there, in red, at the same place of the grid.
  int red = 0;
  for (int y = 0; y < line.height(); ++y) {
    for (int x = 2 * cell.width() * (model.Columns() - 5); x < line.width(); ++x) {
      if (Red(line.pixelColor(x, y))) ++red;
    }
  }
  EXPECT_GT(red, 0);
}

}  // namespace
}  // namespace korvex::gui
