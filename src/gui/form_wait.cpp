#include "gui/form_wait.h"

#include <QCloseEvent>

#include "gui/placement.h"
#include "gui/status_panel_view.h"
#include "view/layout.h"

namespace korvex::gui {

TFormWait::TFormWait(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(kWaitCaption));
  setFixedSize(view::kWaitClient.width, view::kWaitClient.height);
  setModal(false);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  text_ = new QLabel(QString::fromLatin1(kWaitText), this);
  const view::Rect& r = view::kWaitTextRect;
  text_->setGeometry(r.left, r.top, r.width, r.height);
  text_->setAlignment(Qt::AlignCenter);
  text_->setFont(FontOf(view::kWaitFont));
}

void TFormWait::ShowWait(bool visible) {
  if (!visible) {
    hide();
    return;
  }
  if (const QWidget* owner = parentWidget()) CentreOver(*this, *owner);
  show();
  raise();
}

void TFormWait::closeEvent(QCloseEvent* event) {
  event->ignore();
}

}  // namespace korvex::gui
