// The port dialog "Choose port": one radio button per serial port plus the no-port entry, the
// "&Fast RS" box, OK (only while a port that can be opened is checked), Cancel, and "Sc&an"
// to probe the ports again. It draws a shell::PortDialogState that the link layer builds, in
// the view layer's arrangement, and hands back the operator's choice; it decides nothing
// about ports itself.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>

#include <optional>
#include <vector>

#include "shell/port_choice.h"

namespace korvex::gui {

class TFormFlashRS : public QDialog {
  Q_OBJECT

 public:
  explicit TFormFlashRS(QWidget* parent = nullptr);

  // Shows the dialog modally for `state`; the state follows the operator's clicks (checked
  // entry, Fast RS). "Sc&an" calls `rescan` and shows its result. The choice on OK, nullopt
  // on Cancel, Escape or the close box.
  std::optional<shell::PortChoice> Choose(shell::PortDialogState& state,
                                          const shell::PortRescan& rescan);

  // The controls, for tests and for the window's focus handling.
  QCheckBox* CBfastRS() const { return fastRs_; }
  QPushButton* BTok() const { return ok_; }
  QPushButton* BTanuluj() const { return cancel_; }
  QPushButton* BTscan() const { return scan_; }
  QScrollArea* KVRS() const { return kvrs_; }
  const std::vector<QRadioButton*>& PortButtons() const { return buttons_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Rebuilds the entries from the state and places every control for them.
  void Rebuild();
  void EntryClicked(std::size_t index);
  void KVRSClick();
  void Scan();

  shell::PortDialogState* state_ = nullptr;
  const shell::PortRescan* rescan_ = nullptr;
  QScrollArea* kvrs_;
  QWidget* list_;
  QCheckBox* fastRs_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QPushButton* scan_;
  std::vector<QRadioButton*> buttons_;
};

}  // namespace korvex::gui
