#include "gui/status_panel_view.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace korvex::gui {

namespace {

view::Rgb RgbOf(const QColor& colour) {
  const QColor rgb = colour.toRgb();
  return {static_cast<std::uint8_t>(rgb.red()), static_cast<std::uint8_t>(rgb.green()),
          static_cast<std::uint8_t>(rgb.blue())};
}

QColor ColourOf(view::Rgb rgb) {
  return {rgb.red, rgb.green, rgb.blue};
}

}  // namespace

view::StatusColours StatusColoursOf(const QPalette& palette) {
  return view::StatusColours::FromSystem(
      RgbOf(palette.color(QPalette::Active, QPalette::Button)),
      RgbOf(palette.color(QPalette::Active, QPalette::WindowText)));
}

QFont FontOf(const view::FontSpec& spec) {
  QFont font(QString::fromLatin1(spec.family.data(), static_cast<qsizetype>(spec.family.size())));
  font.setStyleHint(spec.fixedPitch ? QFont::TypeWriter : QFont::SansSerif);
  font.setFixedPitch(spec.fixedPitch);
  font.setBold(spec.bold);
  font.setItalic(false);
  if (spec.pointSize > 0) {
    font.setPointSize(spec.pointSize);
  } else {
    font.setPixelSize(spec.pixelSize);
  }
  return font;
}

StatusPanelView::StatusPanelView(QWidget* parent)
    : QWidget(parent),
      colours_(StatusColoursOf(palette())),
      font_(FontOf(view::kStatusPanelFont)),
      boldFont_(font_) {
  boldFont_.setBold(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(kStatusPanelWidth, kStatusPanelHeight);
  model_.KVinit();
  Render();
}

void StatusPanelView::SetColours(const view::StatusColours& colours) {
  colours_ = colours;
  Render();
  update();
}

void StatusPanelView::SetDeviceScale(double scale) {
  scaleOverride_ = scale;
  Render();
  update();
}

double StatusPanelView::DeviceScale() const {
  return scaleOverride_ > 0 ? scaleOverride_ : devicePixelRatioF();
}

void StatusPanelView::ShowPanel(const display::TKVStatus& panel) {
  model_ = panel;
  model_.SetListener(nullptr);  // a copy to draw from, not a second source of titles
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
  const view::Size panel{std::max(1, width()), std::max(1, height())};
  plan_ = view::PlanStatusPanel(model_, colours_, panel,
                                {metrics.horizontalAdvance(QLatin1Char(' ')), metrics.height()});

  // Painted in logical pixels onto a surface of device pixels: the text is rasterised at the
  // screen's resolution instead of being drawn small and enlarged.
  const double scale = DeviceScale();
  const QSize device(static_cast<int>(std::lround(panel.width * scale)),
                     static_cast<int>(std::lround(panel.height * scale)));
  if (surface_.size() != device) surface_ = QImage(device, QImage::Format_RGB32);
  surface_.setDevicePixelRatio(scale);
  surface_.fill(ColourOf(plan_.background));

  QPainter painter(&surface_);
  const int ascent = metrics.ascent();
  for (const view::TextRun& run : plan_.runs) {
    painter.setFont(run.bold ? boldFont_ : font_);
    painter.setPen(ColourOf(run.colour));
    for (std::size_t i = 0; i < run.text.size(); ++i) {
      if (run.text[i] == ' ') continue;
      const view::Rect cell = plan_.CellRect(run.row, run.column + static_cast<int>(i));
      painter.drawText(cell.left, cell.top + ascent, QString(QChar::fromLatin1(run.text[i])));
    }
  }
  if (plan_.shading) {
    const view::Rect& r = plan_.shading->rect;
    painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    painter.fillRect(QRect(r.left, r.top, r.width, r.height), ColourOf(plan_.shading->pen));
  }
}

void StatusPanelView::paintEvent(QPaintEvent*) {
  // Moved to a screen of another density: draw anew for it.
  if (scaleOverride_ <= 0 && surface_.devicePixelRatio() != devicePixelRatioF()) Render();
  QPainter painter(this);
  painter.drawImage(QPointF(0, 0), surface_);
}

void StatusPanelView::resizeEvent(QResizeEvent*) {
  Render();
}

}  // namespace korvex::gui
