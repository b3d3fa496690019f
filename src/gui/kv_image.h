// An image button of the main window: a 31 x 31 picture that takes clicks while enabled.
// KVenable and KVdisable set the enabled state and then load the picture that shows it, in
// one call; the picture alone shows the state (the control is never greyed by the toolkit).
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include "view/layout.h"

namespace korvex::gui {

inline constexpr int kImageButtonSize = view::kImageButtonSize;

// The picture of that resource name ("IA_open", "II_stop", ...) for a screen of `scale` device
// pixels per logical pixel: above 1 the picture drawn at twice the size, so it stays sharp.
// A null pixmap for a name the program does not carry.
QPixmap LoadPicture(const QString& name, double scale = 1.0);

class TKVImage : public QWidget {
  Q_OBJECT

 public:
  explicit TKVImage(QWidget* parent = nullptr);

  // Enables (KVenable) or disables (KVdisable) the button, then shows the named picture.
  void KVenable(const QString& name);
  void KVdisable(const QString& name);

  // The name of the picture shown now.
  const QString& PictureName() const { return pictureName_; }
  const QPixmap& Picture() const { return picture_; }

  QSize sizeHint() const override { return {kImageButtonSize, kImageButtonSize}; }

 signals:
  // A click (press and release over the button) while it is enabled.
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void Load(const QString& name);

  QString pictureName_;
  QPixmap picture_;
  bool pressed_ = false;
};

}  // namespace korvex::gui
