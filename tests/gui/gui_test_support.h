// Helpers for the window's tests on Qt's offscreen platform: the one application object,
// clicks and key presses delivered through Qt's own event dispatch, and an answerer that
// closes each modal box or port dialog the moment it is shown, as a person would.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "gui/form_flash_rs.h"

namespace korvex::gui::testing {

// The process's application object, made on first use and kept to the end.
inline QApplication& GuiApp() {
  static int argc = 1;
  static char name[] = "gui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    auto* made = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return made;
  }();
  return *app;
}

// True when every aligned 2 x 2 block of pixels has one colour: the image is a smaller one
// enlarged, not drawn at its own resolution.
inline bool PixelDoubled(const QImage& image) {
  for (int y = 0; y + 1 < image.height(); y += 2) {
    for (int x = 0; x + 1 < image.width(); x += 2) {
      const QRgb first = image.pixel(x, y);
      if (image.pixel(x + 1, y) != first || image.pixel(x, y + 1) != first ||
          image.pixel(x + 1, y + 1) != first) {
        return false;
      }
    }
  }
  return true;
}

// A left click in the middle of the widget (press and release), through QApplication.
inline void Click(QWidget* widget) {
  const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
  const QPointF global = widget->mapToGlobal(centre);
  QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(widget, &release);
}

// A key press and release sent to the widget.
inline void Key(QWidget* widget, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
                const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QApplication::sendEvent(widget, &release);
}

inline void CtrlS(QWidget* widget) {
  Key(widget, Qt::Key_S, Qt::ControlModifier, QString(QChar(19)));
}

// Counts how often a widget was shown.
class ShowCounter : public QObject {
 public:
  explicit ShowCounter(QWidget* widget) { widget->installEventFilter(this); }
  int shown = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) ++shown;
    return false;
  }
};

// Answers every message box and port dialog as soon as it is shown.
class ModalAnswerer : public QObject {
 public:
  ModalAnswerer() { GuiApp().installEventFilter(this); }
  ~ModalAnswerer() override { GuiApp().removeEventFilter(this); }

  // The answer to a Yes/No question (default Yes); boxes with OK only are confirmed.
  std::function<bool(const std::string& text)> answer = [](const std::string&) { return true; };
  // How the port dialog is answered (default: check the first port, then OK).
  std::function<void(TFormFlashRS&)> choosePort = [](TFormFlashRS& dialog) {
    if (dialog.PortButtons().size() > 1) dialog.PortButtons()[1]->click();
    dialog.BTok()->click();
  };

  // How the file dialog is answered (default: cancelled).
  std::function<void(QFileDialog&)> chooseFile = [](QFileDialog& dialog) { dialog.reject(); };
  // Called with each box's text while the box is up, before it is answered.
  std::function<void(const std::string& text)> seen;

  std::vector<std::string> boxes;  // every box's text, in order
  std::vector<std::string> yesNoBoxes;
  int portDialogs = 0;
  int fileDialogs = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show) return false;
    if (auto* box = qobject_cast<QMessageBox*>(watched)) {
      QTimer::singleShot(0, box, [this, box] { AnswerBox(box); });
    } else if (auto* files = qobject_cast<QFileDialog*>(watched)) {
      ++fileDialogs;
      QTimer::singleShot(0, files, [this, files] { chooseFile(*files); });
    } else if (auto* dialog = qobject_cast<TFormFlashRS*>(watched)) {
      ++portDialogs;
      QTimer::singleShot(0, dialog, [this, dialog] { choosePort(*dialog); });
    }
    return false;
  }

 private:
  void AnswerBox(QMessageBox* box) {
    const std::string text = box->text().toStdString();
    boxes.push_back(text);
    if (seen) seen(text);
    if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
      yesNoBoxes.push_back(text);
      (answer(text) ? yes : box->button(QMessageBox::No))->click();
    } else if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
      ok->click();
    }
  }
};

}  // namespace korvex::gui::testing
