// Draws the status panel `Info1` (the text model display::TKVStatus) as a grid of character
// cells in a 12-point fixed-pitch font: every cell in the colour and boldness of its
// attribute, and on the line in progress the unfinished part shaded.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QSize>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

#include "display/kv_status.h"

namespace korvex::gui {

inline constexpr int kStatusPanelWidth = 790;
inline constexpr int kStatusPanelHeight = 268;

// The panel's colours, taken once from the system's colours.
struct StatusColours {
  QColor background;  // the button face
  QColor text;        // the window text
  QColor shading;     // (7 x background + text) / 8 per channel: the progress shading's pen
  int intensity = 0;  // of the red, green and blue attribute bits

  static StatusColours FromPalette(const QPalette& palette);
  static StatusColours FromColours(const QColor& background, const QColor& text);

  // The colour of a cell: the sum of its colour bits, or the text colour without any.
  QColor CellColour(std::uint8_t attribute) const;
};

// Full intensity on a dark face; a softer one on a light face, where pure colours glare.
inline constexpr int kBrightAttributeIntensity = 0xFF;
inline constexpr int kSoftAttributeIntensity = 0xD0;
inline constexpr int kDarkFaceLimit = 672;  // R + G + B of the face at most this: bright

// "Courier New", 12 points, fixed pitch (a fixed-pitch substitute where it is missing).
QFont StatusPanelFont();

class StatusPanelView : public QWidget {
  Q_OBJECT

 public:
  explicit StatusPanelView(QWidget* parent = nullptr);

  // Takes the panel's lines and draws them now.
  void ShowPanel(const display::TKVStatus& panel);

  // Replaces the colours taken from the system (tests, a changed colour scheme).
  void SetColours(const StatusColours& colours);
  const StatusColours& Colours() const { return colours_; }

  // One character cell: the size of a space in the panel's font, made smaller only when the
  // model's grid would not fit the control.
  QSize CellSize() const { return cell_; }
  // The drawing surface as it is now.
  const QImage& Surface() const { return surface_; }

  QSize sizeHint() const override { return {kStatusPanelWidth, kStatusPanelHeight}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Render();

  StatusColours colours_;
  QFont font_;
  QFont boldFont_;
  QSize cell_;
  QImage surface_;

  // The panel as last shown.
  int columns_ = display::kDefaultColumns;
  int rows_ = display::kDefaultRows;
  int currentLine_ = 0;
  std::optional<int> shadedFrom_;
  std::vector<display::TKVStatus::Line> lines_;
};

}  // namespace korvex::gui
