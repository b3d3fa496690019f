// How to paint the status panel (the text model display::TKVStatus): its colours, the cell
// grid, the runs of text with their colour and boldness, and the progress shading. A front
// end measures its font, asks for the plan and carries it out with its own painter; all
// coordinates of a plan are in the painter's pixels, so a painter that works in device pixels
// gets a plan in device pixels and draws the text at the screen's resolution.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "display/kv_status.h"
#include "view/geometry.h"

namespace korvex::view {

// Full intensity on a dark face; a softer one on a light face, where pure colours glare.
inline constexpr std::uint8_t kBrightAttributeIntensity = 0xFF;
inline constexpr std::uint8_t kSoftAttributeIntensity = 0xD0;
inline constexpr int kDarkFaceLimit = 672;  // R + G + B of the face at most this: bright

// The panel's colours, taken once from the system's colours.
struct StatusColours {
  Rgb background;  // the button face
  Rgb text;        // the window text
  Rgb shading;     // (7 x background + text) / 8 per channel: the progress shading's pen
  std::uint8_t intensity = 0;  // of the red, green and blue attribute bits

  static StatusColours FromSystem(Rgb buttonFace, Rgb windowText);

  // The colour of a cell: the sum of its colour bits, or the text colour without any.
  Rgb CellColour(std::uint8_t attribute) const;
};

// Characters of one line that share an attribute, drawn one per cell from `column` on (the
// grid is kept even where a bold glyph would be wider). Runs of spaces are left out: the
// background is already there. The blink of the connect hint is a run that alternates
// between bold text colour and bold green from one plan to the next.
struct TextRun {
  int row = 0;     // 0-based
  int column = 0;  // 0-based
  std::string text;
  Rgb colour;
  bool bold = false;
};

// The unfinished part of the line in progress: fill `rect` with `pen` combined with the
// pixels below by AND, so the text stays legible and the background turns darker. The line's
// top and bottom pixel rows stay free.
struct ShadingSpan {
  Rect rect;
  Rgb pen;
};

struct StatusPaintPlan {
  Size panel;  // fill it with `background` first
  Size cell;   // one character cell
  Rgb background;
  std::vector<TextRun> runs;
  std::optional<ShadingSpan> shading;

  Rect CellRect(int row, int column) const {
    return {column * cell.width, row * cell.height, cell.width, cell.height};
  }
};

// The cell: the size of a space in the panel's font (`fontCell`), made smaller only when the
// model's grid would not fit the panel.
Size StatusCellSize(Size fontCell, Size panel, int columns, int rows);

StatusPaintPlan PlanStatusPanel(const display::TKVStatus& model, const StatusColours& colours,
                                Size panel, Size fontCell);

}  // namespace korvex::view
