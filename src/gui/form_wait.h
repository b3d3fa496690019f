// The small "Information" / "Wait..." window shown, without blocking the main window, while
// the panel restarts. The operator cannot close it; the program hides it when the wait ends.
#pragma once

#include <QDialog>
#include <QLabel>

namespace korvex::gui {

inline constexpr const char* kWaitCaption = "Information";
inline constexpr const char* kWaitText = "Wait...";

class TFormWait : public QDialog {
  Q_OBJECT

 public:
  explicit TFormWait(QWidget* parent = nullptr);

  // Shows the window centred on its owner (not modal), or hides it.
  void ShowWait(bool visible);

  QLabel* StaticText1() const { return text_; }

 protected:
  // Every close request is refused: the close box, Alt+F4 and Escape.
  void closeEvent(QCloseEvent* event) override;
  void reject() override {}

 private:
  QLabel* text_;
};

}  // namespace korvex::gui
