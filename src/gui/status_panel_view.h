// Draws the status panel `Info1` (the text model display::TKVStatus) as the view layer's paint
// plan says: a grid of character cells in a 12-point fixed-pitch font, every cell in the
// colour and boldness of its attribute, and on the line in progress the unfinished part
// shaded. The surface has the screen's resolution, so the text stays sharp at any scale.
#pragma once

#include <QFont>
#include <QImage>
#include <QPalette>
#include <QSize>
#include <QWidget>

#include "display/kv_status.h"
#include "view/layout.h"
#include "view/status_panel_plan.h"

namespace korvex::gui {

inline constexpr int kStatusPanelWidth = view::kInfo1Rect.width;
inline constexpr int kStatusPanelHeight = view::kInfo1Rect.height;

// The panel's colours from the toolkit's button face and window text.
view::StatusColours StatusColoursOf(const QPalette& palette);

// A font of the view layer as Qt offers it (a substitute where the family is missing).
QFont FontOf(const view::FontSpec& spec);

class StatusPanelView : public QWidget {
  Q_OBJECT

 public:
  explicit StatusPanelView(QWidget* parent = nullptr);

  // Takes the panel's lines and draws them now.
  void ShowPanel(const display::TKVStatus& panel);

  // Replaces the colours taken from the system (tests, a changed colour scheme).
  void SetColours(const view::StatusColours& colours);
  const view::StatusColours& Colours() const { return colours_; }

  // Draws for this many device pixels per logical pixel instead of the screen's (tests).
  void SetDeviceScale(double scale);

  // One character cell in logical pixels.
  QSize CellSize() const { return {plan_.cell.width, plan_.cell.height}; }
  // The drawing surface as it is now, in device pixels.
  const QImage& Surface() const { return surface_; }

  QSize sizeHint() const override { return {kStatusPanelWidth, kStatusPanelHeight}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  double DeviceScale() const;
  void Render();

  view::StatusColours colours_;
  QFont font_;
  QFont boldFont_;
  double scaleOverride_ = 0;  // 0: the screen's
  view::StatusPaintPlan plan_;
  QImage surface_;
  display::TKVStatus model_;  // the panel as last shown
};

}  // namespace korvex::gui
