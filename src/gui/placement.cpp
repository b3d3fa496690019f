#include "gui/placement.h"

#include <QGuiApplication>
#include <QScreen>

namespace korvex::gui {

view::Rect RectOf(const QRect& rect) {
  return {rect.left(), rect.top(), rect.width(), rect.height()};
}

QRect QRectOf(const view::Rect& rect) {
  return {rect.left, rect.top, rect.width, rect.height};
}

QRect AvailableArea(const QWidget& window) {
  const QScreen* screen = window.screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

namespace {

// The frame's size: the window's own until the window system has framed it.
QSize FrameSize(const QWidget& window) {
  const QRect frame = window.frameGeometry();
  return frame.isValid() ? frame.size() : window.size();
}

void MoveFrameTo(QWidget& window, const view::Rect& frame) {
  // move() places the frame's top-left corner of a top-level window.
  window.move(frame.left, frame.top);
}

}  // namespace

void CentreOver(QWidget& window, const QWidget& owner) {
  const QSize size = FrameSize(window);
  view::Rect frame =
      view::CentredOver(RectOf(owner.frameGeometry()), {size.width(), size.height()});
  const QRect available = AvailableArea(owner);
  if (available.isValid()) frame = view::KeepInside(frame, RectOf(available));
  MoveFrameTo(window, frame);
}

void KeepOnScreen(QWidget& window) {
  const QRect available = AvailableArea(window);
  if (!available.isValid()) return;
  const QSize size = FrameSize(window);
  const QPoint at = window.frameGeometry().topLeft();
  MoveFrameTo(window,
              view::KeepInside({at.x(), at.y(), size.width(), size.height()}, RectOf(available)));
}

}  // namespace korvex::gui
