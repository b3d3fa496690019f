#include "gui/form_wait.h"

#include <QCloseEvent>

namespace korvex::gui {

TFormWait::TFormWait(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(kWaitCaption));
  setFixedSize(234, 74);
  setModal(false);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  text_ = new QLabel(QString::fromLatin1(kWaitText), this);
  text_->setGeometry(16, 24, 201, 25);
  text_->setAlignment(Qt::AlignCenter);
  QFont font(QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(13);
  text_->setFont(font);
}

void TFormWait::ShowWait(bool visible) {
  if (!visible) {
    hide();
    return;
  }
  if (QWidget* owner = parentWidget()) {
    const QRect frame = owner->geometry();
    move(frame.center() - QPoint(width() / 2, height() / 2));
  }
  show();
  raise();
}

void TFormWait::closeEvent(QCloseEvent* event) {
  event->ignore();
}

}  // namespace korvex::gui
