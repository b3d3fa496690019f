#include "view/status_panel_plan.h"

#include <algorithm>

namespace korvex::view {

namespace {

std::uint8_t SevenToOne(std::uint8_t background, std::uint8_t text) {
  return static_cast<std::uint8_t>((7 * background + text) / 8);
}

bool AllSpaces(const std::string& text) {
  return text.find_first_not_of(' ') == std::string::npos;
}

// Splits one line into runs of equal attribute, leaving out the spaces at their ends.
void AddRuns(const display::TKVStatus::Line& line, int row, const StatusColours& colours,
             std::vector<TextRun>& runs) {
  const std::size_t length = std::min(line.text.size(), line.attributes.size());
  std::size_t start = 0;
  while (start < length) {
    const std::uint8_t attribute = line.attributes[start];
    std::size_t end = start;
    while (end < length && line.attributes[end] == attribute) ++end;
    std::string text = line.text.substr(start, end - start);
    if (!AllSpaces(text)) {
      const std::size_t first = text.find_first_not_of(' ');
      const std::size_t last = text.find_last_not_of(' ');
      runs.push_back({row, static_cast<int>(start + first), text.substr(first, last - first + 1),
                      colours.CellColour(attribute), (attribute & display::kAttrBold) != 0});
    }
    start = end;
  }
}

}  // namespace

StatusColours StatusColours::FromSystem(Rgb buttonFace, Rgb windowText) {
  StatusColours c;
  c.background = buttonFace;
  c.text = windowText;
  c.shading = {SevenToOne(buttonFace.red, windowText.red),
               SevenToOne(buttonFace.green, windowText.green),
               SevenToOne(buttonFace.blue, windowText.blue)};
  const int face = buttonFace.red + buttonFace.green + buttonFace.blue;
  c.intensity = face <= kDarkFaceLimit ? kBrightAttributeIntensity : kSoftAttributeIntensity;
  return c;
}

Rgb StatusColours::CellColour(std::uint8_t attribute) const {
  if ((attribute & 0x07) == 0) return text;
  const auto bit = [this, attribute](int mask) {
    return (attribute & mask) ? intensity : std::uint8_t{0};
  };
  return {bit(0x01), bit(0x02), bit(0x04)};
}

Size StatusCellSize(Size fontCell, Size panel, int columns, int rows) {
  return {std::max(1, std::min(fontCell.width, panel.width / std::max(1, columns))),
          std::max(1, std::min(fontCell.height, panel.height / std::max(1, rows)))};
}

StatusPaintPlan PlanStatusPanel(const display::TKVStatus& model, const StatusColours& colours,
                                Size panel, Size fontCell) {
  StatusPaintPlan plan;
  plan.panel = {std::max(1, panel.width), std::max(1, panel.height)};
  plan.cell = StatusCellSize(fontCell, plan.panel, model.Columns(), model.Rows());
  plan.background = colours.background;
  for (int row = 1; row <= model.Rows(); ++row) {
    AddRuns(model.LineAt(row), row - 1, colours, plan.runs);
  }

  const std::optional<int> shadedFrom = model.ShadedFromPercent();
  if (shadedFrom && model.CurrentLine() >= 1) {
    const int from = plan.panel.width * std::clamp(*shadedFrom, 0, 100) / 100;
    const int top = (model.CurrentLine() - 1) * plan.cell.height + 1;
    const int height = plan.cell.height - 2;
    if (from < plan.panel.width && height > 0) {
      plan.shading = ShadingSpan{{from, top, plan.panel.width - from, height}, colours.shading};
    }
  }
  return plan;
}

}  // namespace korvex::view
