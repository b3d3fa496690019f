#include "gui/kv_image.h"

#include <QMouseEvent>
#include <QPainter>

// The resources are compiled into a static library; this registers them before the first
// look-up (the linker would otherwise drop their registration).
static void RegisterPictureResources() {
  Q_INIT_RESOURCE(korvex_icons);
}

namespace korvex::gui {

QPixmap LoadPicture(const QString& name) {
  static const bool registered = (RegisterPictureResources(), true);
  (void)registered;
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
  picture_ = LoadPicture(name);
  update();
}

void TKVImage::paintEvent(QPaintEvent*) {
  // Drawn directly rather than through a label, which would grey a disabled picture.
  QPainter painter(this);
  if (!picture_.isNull()) painter.drawPixmap(0, 0, picture_);
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
