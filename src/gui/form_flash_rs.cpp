#include "gui/form_flash_rs.h"

namespace korvex::gui {

namespace {

// The list's layout: entries of 17 pixels, one pixel apart, from 8 pixels down.
constexpr int kEntryLeft = 8;
constexpr int kEntryTop = 8;
constexpr int kEntryHeight = 17;
constexpr int kEntryWidth = 64;

}  // namespace

TFormFlashRS::TFormFlashRS(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(shell::kPortDialogCaption));
  setFixedSize(286, 168);
  setModal(true);

  kvrs_ = new QScrollArea(this);
  kvrs_->setGeometry(8, 8, 98, 124);
  kvrs_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  kvrs_->setWidgetResizable(false);
  list_ = new QWidget;
  kvrs_->setWidget(list_);

  fastRs_ = new QCheckBox(QString::fromLatin1(shell::kFastRsCaption), this);
  fastRs_->setGeometry(120, 16, 161, 17);
  fastRs_->setChecked(true);

  ok_ = new QPushButton(QString::fromLatin1(shell::kPortOkCaption), this);
  ok_->setGeometry(160, 72, 73, 25);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  cancel_ = new QPushButton(QString::fromLatin1(shell::kPortCancelCaption), this);
  cancel_->setGeometry(144, 112, 105, 25);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  scan_ = new QPushButton(QString::fromLatin1(shell::kPortScanCaption), this);
  scan_->setGeometry(8, 136, 97, 25);
  scan_->setAutoDefault(false);
  connect(scan_, &QPushButton::clicked, this, &TFormFlashRS::Scan);

  setTabOrder(kvrs_, fastRs_);
  setTabOrder(fastRs_, ok_);
  setTabOrder(ok_, cancel_);
  setTabOrder(cancel_, scan_);
  connect(fastRs_, &QCheckBox::toggled, this, [this](bool on) {
    if (state_) state_->fastRs = on;
  });
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

void TFormFlashRS::Rebuild() {
  for (QRadioButton* button : buttons_) delete button;
  buttons_.clear();
  if (!state_) return;
  scan_->setVisible(state_->scanVisible);

  const auto count = static_cast<int>(state_->entries.size());
  list_->resize(kEntryLeft + kEntryWidth, kEntryTop + (kEntryHeight + 1) * count);
  for (std::size_t i = 0; i < state_->entries.size(); ++i) {
    const shell::PortEntry& entry = state_->entries[i];
    auto* button = new QRadioButton(QString::fromStdString(entry.text), list_);
    button->setGeometry(kEntryLeft, kEntryTop + (kEntryHeight + 1) * static_cast<int>(i),
                        kEntryWidth, kEntryHeight);
    button->setEnabled(entry.enabled);
    button->setAutoExclusive(true);
    button->setChecked(i == state_->checked);
    button->show();
    connect(button, &QRadioButton::clicked, this, [this, i] { EntryClicked(i); });
    buttons_.push_back(button);
  }
  // The checked entry takes the focus when it can be chosen.
  if (state_->checked < buttons_.size() && buttons_[state_->checked]->isEnabled()) {
    buttons_[state_->checked]->setFocus();
    kvrs_->ensureWidgetVisible(buttons_[state_->checked]);
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
