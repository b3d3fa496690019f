// Draws the pictures of the main window's five image buttons, each in an active and an
// inactive look, and writes them as 31 x 31 PNG files together with the resource list that
// puts them into the program under the names the window asks for ("IA_open", "II_open", ...).
// Runs at build time; the output depends on nothing but this file, so every build draws the
// same pictures.
//
// With --theme it draws the desktop icons instead: the program's icon (the Program picture)
// and the firmware file type's icon (a sheet with the chip on it), at the sizes desktops ask
// for, in the folder layout of the hicolor icon theme (<size>x<size>/apps/korvex.png,
// <size>x<size>/mimetypes/application-x-korvex-firmware.png).
//
// Usage: korvex_make_icons <output folder>
//        korvex_make_icons --theme <output folder>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

namespace {

constexpr int kSize = 31;

QPen Outline(const QColor& colour, double width = 1.2) {
  QPen pen(colour, width);
  pen.setJoinStyle(Qt::RoundJoin);
  pen.setCapStyle(Qt::RoundCap);
  return pen;
}

// An open folder with a sheet of paper in it.
void DrawOpen(QPainter& p) {
  const QColor outline(110, 78, 10);
  QPainterPath back;
  back.moveTo(3, 9);
  back.lineTo(10, 9);
  back.lineTo(12.5, 6);
  back.lineTo(22, 6);
  back.lineTo(22, 9);
  back.lineTo(26, 9);
  back.lineTo(26, 26);
  back.lineTo(3, 26);
  back.closeSubpath();
  p.setPen(Outline(outline));
  p.setBrush(QColor(214, 160, 40));
  p.drawPath(back);

  p.setPen(Outline(QColor(120, 120, 120), 1.0));
  p.setBrush(QColor(252, 252, 252));
  p.drawRect(QRectF(7.5, 3.5, 15, 15));
  p.setPen(QPen(QColor(150, 170, 200), 1.0));
  for (int y = 7; y <= 15; y += 3) p.drawLine(QPointF(10, y + 0.5), QPointF(20, y + 0.5));

  QPainterPath front;
  front.moveTo(3, 26);
  front.lineTo(7.5, 14);
  front.lineTo(29.5, 14);
  front.lineTo(26, 26);
  front.closeSubpath();
  QLinearGradient fill(0, 14, 0, 26);
  fill.setColorAt(0, QColor(255, 222, 110));
  fill.setColorAt(1, QColor(236, 182, 50));
  p.setPen(Outline(outline));
  p.setBrush(fill);
  p.drawPath(front);
}

// A chip with its pins; shared by Program and Test.
void DrawChip(QPainter& p, const QRectF& body) {
  p.setPen(QPen(QColor(150, 150, 150), 1.4, Qt::SolidLine, Qt::FlatCap));
  for (double y = body.top() + 2.5; y < body.bottom() - 1; y += 3.0) {
    p.drawLine(QPointF(body.left() - 3, y), QPointF(body.left(), y));
    p.drawLine(QPointF(body.right(), y), QPointF(body.right() + 3, y));
  }
  QLinearGradient fill(body.topLeft(), body.bottomRight());
  fill.setColorAt(0, QColor(80, 84, 96));
  fill.setColorAt(1, QColor(30, 32, 40));
  p.setPen(Outline(QColor(15, 15, 20), 1.0));
  p.setBrush(fill);
  p.drawRoundedRect(body, 1.5, 1.5);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(170, 170, 180));
  p.drawEllipse(QPointF(body.left() + 3, body.top() + 3), 1.2, 1.2);
}

// A chip that a red arrow writes into.
void DrawProgram(QPainter& p) {
  DrawChip(p, QRectF(8.5, 13.5, 14, 15));
  QPolygonF arrow;
  arrow << QPointF(13, 1.5) << QPointF(18, 1.5) << QPointF(18, 9) << QPointF(22.5, 9)
        << QPointF(15.5, 17.5) << QPointF(8.5, 9) << QPointF(13, 9);
  p.setPen(Outline(QColor(120, 10, 10), 1.1));
  QLinearGradient fill(0, 1, 0, 17);
  fill.setColorAt(0, QColor(255, 110, 90));
  fill.setColorAt(1, QColor(210, 20, 20));
  p.setBrush(fill);
  p.drawPolygon(arrow);
}

// A magnifying glass over a green tick: compare without writing.
void DrawTest(QPainter& p) {
  p.setPen(QPen(QColor(90, 60, 30), 4.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(19.5, 19.5), QPointF(27, 27));
  QRadialGradient glass(QPointF(11, 10), 11);
  glass.setColorAt(0, QColor(235, 246, 255));
  glass.setColorAt(1, QColor(160, 200, 240));
  p.setPen(Outline(QColor(40, 50, 70), 2.2));
  p.setBrush(glass);
  p.drawEllipse(QPointF(12.5, 12.5), 9.5, 9.5);
  QPainterPath tick;
  tick.moveTo(7.5, 12.5);
  tick.lineTo(11, 16.5);
  tick.lineTo(17.5, 8);
  p.setPen(QPen(QColor(20, 150, 40), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(tick);
}

// A circular arrow turning clockwise: start the panel again.
void DrawRestart(QPainter& p) {
  const QPointF centre(15.5, 16.5);
  const double radius = 10.0;
  p.setPen(QPen(QColor(20, 110, 200), 4.0, Qt::SolidLine, Qt::FlatCap));
  p.setBrush(Qt::NoBrush);
  const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  // Qt counts angles in 1/16 degree, anticlockwise from three o'clock: the ring runs from
  // twelve o'clock round to two o'clock, leaving the gap the arrow points into.
  p.drawArc(box, 90 * 16, 300 * 16);
  const double top = centre.y() - radius;
  QPolygonF head;
  head << QPointF(centre.x() + 6.5, top) << QPointF(centre.x() - 0.5, top - 6.0)
       << QPointF(centre.x() - 0.5, top + 6.0);
  p.setPen(Outline(QColor(10, 60, 120), 1.0));
  p.setBrush(QColor(40, 140, 230));
  p.drawPolygon(head);
}

// A red octagon with a white bar.
void DrawStop(QPainter& p) {
  QPolygonF octagon;
  const double pi = std::acos(-1.0);
  for (int i = 0; i < 8; ++i) {
    const double a = (22.5 + 45.0 * i) * pi / 180.0;
    octagon << QPointF(15.5 + 13.5 * std::cos(a), 15.5 + 13.5 * std::sin(a));
  }
  QRadialGradient fill(QPointF(12, 11), 16);
  fill.setColorAt(0, QColor(255, 90, 80));
  fill.setColorAt(1, QColor(190, 10, 10));
  p.setPen(Outline(QColor(110, 0, 0), 1.2));
  p.setBrush(fill);
  p.drawPolygon(octagon);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255));
  p.drawRoundedRect(QRectF(7, 13, 17, 5), 1.2, 1.2);
}

// A sheet of paper with a folded corner and the chip on it: a firmware file.
void DrawFirmwareFile(QPainter& p) {
  QPainterPath sheet;
  sheet.moveTo(5.5, 1.5);
  sheet.lineTo(19.5, 1.5);
  sheet.lineTo(25.5, 7.5);
  sheet.lineTo(25.5, 29.5);
  sheet.lineTo(5.5, 29.5);
  sheet.closeSubpath();
  p.setPen(Outline(QColor(120, 120, 120), 1.0));
  p.setBrush(QColor(252, 252, 252));
  p.drawPath(sheet);
  QPolygonF fold;
  fold << QPointF(19.5, 1.5) << QPointF(19.5, 7.5) << QPointF(25.5, 7.5);
  p.setBrush(QColor(215, 215, 215));
  p.drawPolygon(fold);
  DrawChip(p, QRectF(10.5, 12.5, 10, 12));
}

// The picture drawn on a square of `size` pixels; the drawings are made for kSize and scaled,
// so a dense screen (size 2 * kSize) shows sharp edges instead of doubled pixels.
QImage Draw(const std::function<void(QPainter&)>& draw, int size = kSize) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.scale(size / double(kSize), size / double(kSize));
  draw(painter);
  painter.end();
  return image;
}

// The inactive look: the same picture without colour, lighter and with less contrast, so
// a button that does not react can be told apart at a glance.
QImage Inactive(const QImage& active) {
  QImage out = active.copy();
  for (int y = 0; y < out.height(); ++y) {
    for (int x = 0; x < out.width(); ++x) {
      const QColor c = out.pixelColor(x, y);
      const int grey = (c.red() * 30 + c.green() * 59 + c.blue() * 11) / 100;
      const int light = 120 + grey * 45 / 100;
      out.setPixelColor(x, y, QColor(light, light, light, c.alpha() * 3 / 4));
    }
  }
  return out;
}

struct Picture {
  const char* name;  // the part after "IA_" / "II_"
  std::function<void(QPainter&)> draw;
};

// The sizes of the hicolor theme's fixed-size folders that desktops look in.
constexpr int kThemeSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

int DrawThemeIcons(const QString& folder) {
  const struct {
    const char* context;
    const char* name;
    std::function<void(QPainter&)> draw;
  } icons[] = {{"apps", "korvex", DrawProgram},
               {"mimetypes", "application-x-korvex-firmware", DrawFirmwareFile}};
  for (const int size : kThemeSizes) {
    for (const auto& icon : icons) {
      const QString dir = QString("%1/%2x%2/%3").arg(folder).arg(size).arg(icon.context);
      const QString file = dir + "/" + icon.name + ".png";
      if (!QDir().mkpath(dir) || !Draw(icon.draw, size).save(file, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", file.toLocal8Bit().constData());
        return 1;
      }
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]) == "--theme") {
    return DrawThemeIcons(QString::fromLocal8Bit(argv[2]));
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: korvex_make_icons [--theme] <output folder>\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  const std::vector<Picture> pictures = {{"open", DrawOpen},
                                         {"prog", DrawProgram},
                                         {"test", DrawTest},
                                         {"rest", DrawRestart},
                                         {"stop", DrawStop}};
  QFile list(folder + "/korvex_icons.qrc");
  if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
    std::fprintf(stderr, "cannot write the resource list\n");
    return 1;
  }
  QTextStream qrc(&list);
  qrc << "<RCC>\n  <qresource prefix=\"/\">\n";
  for (const Picture& picture : pictures) {
    for (const int scale : {1, 2}) {
      const QImage active = Draw(picture.draw, kSize * scale);
      const QImage inactive = Inactive(active);
      const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
      for (const auto& [prefix, image] : {std::pair{"IA_", &active}, std::pair{"II_", &inactive}}) {
        const QString name = QString(prefix) + picture.name + suffix;
        if (!image->save(folder + "/" + name + ".png", "PNG")) {
          std::fprintf(stderr, "cannot write %s.png\n", name.toLocal8Bit().constData());
          return 1;
        }
        qrc << "    <file alias=\"" << name << "\">" << name << ".png</file>\n";
      }
    }
  }
  qrc << "  </qresource>\n</RCC>\n";
  return 0;
}
