#include "gui/form_flash_rs.h"

#include <algorithm>

#include "gui/placement.h"
#include "view/accelerator.h"
#include "view/port_dialog_layout.h"

namespace korvex::gui {

namespace {

// The width an entry needs for its radio mark and its whole label.
int EntryWidth(QWidget& parent, const std::string& label) {
  const QRadioButton probe(QString::fromStdString(label), &parent);
  return probe.sizeHint().width();
}

}  // namespace

TFormFlashRS::TFormFlashRS(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(shell::kPortDialogCaption));
  setModal(true);

  kvrs_ = new QScrollArea(this);
  kvrs_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  kvrs_->setWidgetResizable(false);
  list_ = new QWidget;
  kvrs_->setWidget(list_);

  fastRs_ = new QCheckBox(QString::fromLatin1(shell::kFastRsCaption), this);
  fastRs_->setChecked(true);

  ok_ = new QPushButton(QString::fromLatin1(shell::kPortOkCaption), this);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  cancel_ = new QPushButton(QString::fromLatin1(shell::kPortCancelCaption), this);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  // Scan is a default button too: Enter while it has the focus rescans instead of pressing
  // OK (which would close the dialog and start the operation).
  scan_ = new QPushButton(QString::fromLatin1(shell::kPortScanCaption), this);
  scan_->setAutoDefault(true);
  connect(scan_, &QPushButton::clicked, this, &TFormFlashRS::Scan);

  setTabOrder(kvrs_, fastRs_);
  setTabOrder(fastRs_, ok_);
  setTabOrder(ok_, cancel_);
  setTabOrder(cancel_, scan_);
  connect(fastRs_, &QCheckBox::toggled, this, [this](bool on) {
    if (state_) state_->fastRs = on;
  });
  Rebuild();
}

std::optional<shell::PortChoice> TFormFlashRS::Choose(shell::PortDialogState& state,
                                                      const shell::PortRescan& rescan) {
  state_ = &state;
  rescan_ = &rescan;
  fastRs_->setChecked(state.fastRs);
  Rebuild();
  const int result = exec();
  state.fastRs = fastRs_->isChecked();
  state_ = nullptr;
  rescan_ = nullptr;
  if (result != QDialog::Accepted || !state.OkEnabled()) return std::nullopt;
  return shell::PortChoice{state.entries[state.checked].name, state.fastRs};
}

void TFormFlashRS::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QWidget* owner = parentWidget()) CentreOver(*this, *owner->window());
}

void TFormFlashRS::Rebuild() {
  for (QRadioButton* button : buttons_) delete button;
  buttons_.clear();
  const shell::PortDialogState empty;
  const shell::PortDialogState& state = state_ ? *state_ : empty;

  int widest = 0;
  for (const shell::PortEntry& entry : state.entries) {
    widest = std::max(widest, EntryWidth(*list_, view::PortEntryLabel(entry)));
  }
  const view::PortDialogLayout layout = view::LayOutPortDialog(state, widest);
  setFixedSize(layout.client.width, layout.client.height);
  kvrs_->setGeometry(QRectOf(layout.list));
  fastRs_->setGeometry(QRectOf(layout.fastRs));
  ok_->setGeometry(QRectOf(layout.ok));
  cancel_->setGeometry(QRectOf(layout.cancel));
  scan_->setGeometry(QRectOf(layout.scan));
  scan_->setVisible(state.scanVisible);
  list_->resize(layout.listContent.width, layout.listContent.height);

  for (std::size_t i = 0; i < layout.entries.size(); ++i) {
    const view::PortDialogEntry& entry = layout.entries[i];
    auto* button = new QRadioButton(QString::fromStdString(entry.text), list_);
    button->setGeometry(QRectOf(entry.rect));
    button->setToolTip(QString::fromStdString(view::WithoutAccelerator(entry.text)));
    button->setEnabled(entry.enabled);
    button->setAutoExclusive(true);
    button->setChecked(entry.checked);
    button->show();
    connect(button, &QRadioButton::clicked, this, [this, i] { EntryClicked(i); });
    buttons_.push_back(button);
  }
  // The checked entry takes the focus when it can be chosen.
  if (state.checked < buttons_.size() && buttons_[state.checked]->isEnabled()) {
    buttons_[state.checked]->setFocus();
    kvrs_->ensureWidgetVisible(buttons_[state.checked]);
  }
  KVRSClick();
}

void TFormFlashRS::EntryClicked(std::size_t index) {
  if (!state_ || index >= state_->entries.size()) return;
  state_->checked = index;
  KVRSClick();
}

void TFormFlashRS::KVRSClick() {
  ok_->setEnabled(state_ && state_->OkEnabled());
}

void TFormFlashRS::Scan() {
  if (!state_ || !rescan_ || !*rescan_) return;
  // Probing takes a moment per port; the controls stay locked meanwhile.
  setEnabled(false);
  state_->fastRs = fastRs_->isChecked();
  (*rescan_)(*state_);
  setEnabled(true);
  fastRs_->setChecked(state_->fastRs);
  Rebuild();
}

}  // namespace korvex::gui
