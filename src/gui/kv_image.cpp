#include "gui/kv_image.h"

#include <QMouseEvent>
#include <QPainter>

// The resources are compiled into a static library; this registers them before the first
// look-up (the linker would otherwise drop their registration).
static void RegisterPictureResources() {
  Q_INIT_RESOURCE(korvex_icons);
}

namespace korvex::gui {

QPixmap LoadPicture(const QString& name, double scale) {
  static const bool registered = (RegisterPictureResources(), true);
  (void)registered;
  if (scale > 1.0) {
    QPixmap dense(QStringLiteral(":/") + name + QStringLiteral("@2x"));
    if (!dense.isNull()) {
      dense.setDevicePixelRatio(2.0);
      return dense;
    }
  }
  return QPixmap(QStringLiteral(":/") + name);
}

TKVImage::TKVImage(QWidget* parent) : QWidget(parent) {
  setFixedSize(kImageButtonSize, kImageButtonSize);
  setCursor(Qt::PointingHandCursor);
}

void TKVImage::KVenable(const QString& name) {
  setEnabled(true);
  Load(name);
}

void TKVImage::KVdisable(const QString& name) {
  setEnabled(false);
  pressed_ = false;
  Load(name);
}

void TKVImage::Load(const QString& name) {
  pictureName_ = name;
  picture_ = LoadPicture(name, devicePixelRatioF());
  update();
}

void TKVImage::paintEvent(QPaintEvent*) {
  // Drawn directly rather than through a label, which would grey a disabled picture.
  QPainter painter(this);
  // Moved to a screen of another density: take the picture drawn for it.
  if (!pictureName_.isEmpty() &&
      (devicePixelRatioF() > 1.0) != (picture_.devicePixelRatio() > 1.0)) {
    picture_ = LoadPicture(pictureName_, devicePixelRatioF());
  }
  if (!picture_.isNull()) painter.drawPixmap(QRect(0, 0, width(), height()), picture_);
}

void TKVImage::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
  event->accept();
}

void TKVImage::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  // A disabled widget gets no mouse events from Qt at all; the check guards direct calls.
  if (click && isEnabled()) emit clicked();
}

}  // namespace korvex::gui
