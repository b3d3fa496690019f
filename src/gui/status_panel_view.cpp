#include "gui/status_panel_view.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace korvex::gui {

StatusColours StatusColours::FromPalette(const QPalette& palette) {
  return FromColours(palette.color(QPalette::Active, QPalette::Button),
                     palette.color(QPalette::Active, QPalette::WindowText));
}

StatusColours StatusColours::FromColours(const QColor& background, const QColor& text) {
  StatusColours c;
  c.background = background.toRgb();
  c.text = text.toRgb();
  c.shading = QColor((7 * c.background.red() + c.text.red()) / 8,
                     (7 * c.background.green() + c.text.green()) / 8,
                     (7 * c.background.blue() + c.text.blue()) / 8);
  const int face = c.background.red() + c.background.green() + c.background.blue();
  c.intensity = face <= kDarkFaceLimit ? kBrightAttributeIntensity : kSoftAttributeIntensity;
  return c;
}

QColor StatusColours::CellColour(std::uint8_t attribute) const {
  if ((attribute & 0x07) == 0) return text;
  return QColor((attribute & 0x01) ? intensity : 0, (attribute & 0x02) ? intensity : 0,
                (attribute & 0x04) ? intensity : 0);
}

QFont StatusPanelFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setPointSize(12);
  font.setFixedPitch(true);
  font.setStyleHint(QFont::TypeWriter);
  font.setBold(false);
  font.setItalic(false);
  return font;
}

StatusPanelView::StatusPanelView(QWidget* parent)
    : QWidget(parent),
      colours_(StatusColours::FromPalette(palette())),
      font_(StatusPanelFont()),
      boldFont_(font_) {
  boldFont_.setBold(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(kStatusPanelWidth, kStatusPanelHeight);
  Render();
}

void StatusPanelView::SetColours(const StatusColours& colours) {
  colours_ = colours;
  Render();
  update();
}

void StatusPanelView::ShowPanel(const display::TKVStatus& panel) {
  columns_ = panel.Columns();
  rows_ = panel.Rows();
  currentLine_ = panel.CurrentLine();
  shadedFrom_ = panel.ShadedFromPercent();
  lines_.clear();
  for (int row = 1; row <= rows_; ++row) lines_.push_back(panel.LineAt(row));
  Render();
  // Every change shows at once, also inside long operations that only now and then let the
  // window system process its messages.
  if (isVisible()) {
    repaint();
  } else {
    update();
  }
}

void StatusPanelView::Render() {
  const QFontMetrics metrics(font_);
  const int width = std::max(1, this->width());
  const int height = std::max(1, this->height());
  cell_ = QSize(std::max(1, std::min(metrics.horizontalAdvance(QLatin1Char(' ')),
                                     width / std::max(1, columns_))),
                std::max(1, std::min(metrics.height(), height / std::max(1, rows_))));
  if (surface_.size() != QSize(width, height)) {
    surface_ = QImage(width, height, QImage::Format_RGB32);
  }
  surface_.fill(colours_.background);

  QPainter painter(&surface_);
  const int ascent = QFontMetrics(font_).ascent();
  for (std::size_t row = 0; row < lines_.size(); ++row) {
    const display::TKVStatus::Line& line = lines_[row];
    const int y = static_cast<int>(row) * cell_.height();
    for (std::size_t j = 0; j < line.text.size() && j < line.attributes.size(); ++j) {
      const char ch = line.text[j];
      if (ch == ' ') continue;  // the background is already there
      const std::uint8_t attribute = line.attributes[j];
      painter.setFont((attribute & display::kAttrBold) ? boldFont_ : font_);
      painter.setPen(colours_.CellColour(attribute));
      painter.drawText(static_cast<int>(j) * cell_.width(), y + ascent,
                       QString(QChar::fromLatin1(ch)));
    }
  }

  // The unfinished part of the line in progress: lines in the shading colour combined with
  // the pixels below by AND, so text stays legible and the background turns darker, leaving
  // the top and bottom pixel rows of the line free.
  if (shadedFrom_ && currentLine_ >= 1) {
    const int from = width * std::clamp(*shadedFrom_, 0, 100) / 100;
    if (from < width) {
      painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
      painter.setPen(QPen(colours_.shading, 1));
      const int top = (currentLine_ - 1) * cell_.height();
      for (int k = 2; k <= cell_.height() - 1; ++k) {
        const int y = top + k - 1;
        painter.drawLine(from, y, width - 1, y);
      }
    }
  }
}

void StatusPanelView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawImage(event->rect(), surface_, event->rect());
}

void StatusPanelView::resizeEvent(QResizeEvent*) {
  Render();
}

}  // namespace korvex::gui
