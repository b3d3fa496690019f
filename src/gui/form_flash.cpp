#include "gui/form_flash.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

#include "gui/placement.h"
#include "shell/session.h"
#include "update/application.h"
#include "view/main_window_state.h"

namespace korvex::gui {

namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A message box centred over the main window once its size is known, also while the main
// window is still being mapped at start-up (where the toolkit's own placement goes wrong).
class CentredMessageBox : public QMessageBox {
 public:
  CentredMessageBox(Icon icon, const QString& title, const QString& text, QWidget* owner)
      : QMessageBox(icon, title, text, QMessageBox::NoButton, owner) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    if (const QWidget* owner = parentWidget()) CentreOver(*this, *owner->window());
  }
};

// Message texts separate their lines with a carriage return.
QString MessageText(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

// The character the application takes for a key, if it is one of the three it knows.
std::optional<char> KeyChar(const QKeyEvent& key) {
  const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
  switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return kEnterChar;
    case Qt::Key_Escape:
      return kEscChar;
    case Qt::Key_S:
      if (mods == Qt::ControlModifier) return kCtrlSChar;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace

TFormFlash::TFormFlash(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint) {
  applicationTitle_ = QString::fromLatin1(shell::kApplicationTitle);
  setWindowTitle(QString::fromLatin1(shell::kWindowCaption));
  setWindowIconText(applicationTitle_);

  BuildControls();
  BuildMenu();
  BuildStatusBar();
  // The client area is fixed; the window takes the menu bar's height on top of it and can
  // be neither resized nor maximised.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  // The idle look until the application first locks and unlocks the controls.
  SetOperationRunning(false, false);

  formFlashRS_ = new TFormFlashRS(this);
  formWait_ = new TFormWait(this);
  qApp->installEventFilter(this);
}

TFormFlash::~TFormFlash() {
  if (qApp) qApp->removeEventFilter(this);
}

void TFormFlash::BuildControls() {
  auto* client = new QWidget(this);
  client->setFixedSize(view::kMainClient.width, view::kMainClient.height - view::kStatusBarHeight);
  setCentralWidget(client);

  const view::MainWindowState idle = view::MainWindowStateFor(false, false);
  TKVImage** made[] = {&iopen_, &iprogram_, &itest_, &irestart_, &istop_};
  void (update::Application::*operations[])() = {
      &update::Application::OpenClick, &update::Application::ProgramClick,
      &update::Application::TestClick, &update::Application::RestartClick,
      &update::Application::StopClick};
  for (std::size_t i = 0; i < idle.buttons.size(); ++i) {
    const view::ImageButtonState& state = idle.buttons[i];
    auto* button = new TKVImage(client);
    button->move(state.rect.left, state.rect.top);
    button->setToolTip(FromUtf8(state.hint));
    const auto operation = operations[i];
    connect(button, &TKVImage::clicked, this, [this, operation] { Forward(operation); });
    *made[i] = button;
  }

  lver_ = new QLabel(client);
  lver_->setGeometry(QRectOf(view::kLverRect));
  lver_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lver_->setFont(FontOf(view::kLverFont));
  lver_->setTextFormat(Qt::PlainText);

  info1_ = new StatusPanelView(client);
  info1_->setGeometry(QRectOf(view::kInfo1Rect));

  cbDoNotScan_ =
      new QCheckBox(FromUtf8(view::MenuItemFor(view::MenuCommand::kDoNotScan).caption), client);
  cbDoNotScan_->setGeometry(QRectOf(view::kDoNotScanRect));
  connect(cbDoNotScan_, &QCheckBox::toggled, this, &TFormFlash::SetDoNotScanState);
}

void TFormFlash::BuildMenu() {
  std::vector<QMenu*> menus;
  for (const view::Menu& model : view::MainMenu()) {
    QMenu* menu = menuBar()->addMenu(FromUtf8(model.caption));
    menus.push_back(menu);
    for (const view::MenuItem& item : model.items) {
      if (item.separatorBefore) menu->addSeparator();
      QAction* action = menu->addAction(FromUtf8(item.caption));
      if (!item.shortcut.Empty()) {
        action->setShortcut(QKeySequence(QString::fromStdString(item.shortcut.Text())));
      }
      action->setCheckable(item.checkable);
      action->setEnabled(!item.alwaysDisabled);
      const view::MenuCommand command = item.command;
      connect(action, &QAction::triggered, this,
              [this, command](bool checked) { MenuChosen(command, checked); });
      actions_[command] = action;
    }
  }
  programming_ = menus.at(0);
  help_ = menus.at(1);
}

void TFormFlash::MenuChosen(view::MenuCommand command, bool checked) {
  switch (command) {
    case view::MenuCommand::kOpen:
      return Forward(&update::Application::OpenClick);
    case view::MenuCommand::kProgram:
      return Forward(&update::Application::ProgramClick);
    case view::MenuCommand::kTest:
      return Forward(&update::Application::TestClick);
    case view::MenuCommand::kRestart:
      return Forward(&update::Application::RestartClick);
    case view::MenuCommand::kStop:
      return;  // never enabled: the key is handled by eventFilter
    case view::MenuCommand::kDoNotScan:
      return SetDoNotScanState(checked);
    case view::MenuCommand::kVerifyReadBack:
      return SetVerifyReadBack(checked);
    case view::MenuCommand::kBackUp:
      return SetBackUp(checked);
    case view::MenuCommand::kExit:
      if (close()) QCoreApplication::quit();
      return;
    case view::MenuCommand::kAbout:
      return Forward(&update::Application::AboutClick);
  }
}

TKVImage* TFormFlash::ImageButtonFor(view::ImageButton button) const {
  switch (button) {
    case view::ImageButton::kOpen:
      return iopen_;
    case view::ImageButton::kProgram:
      return iprogram_;
    case view::ImageButton::kTest:
      return itest_;
    case view::ImageButton::kRestart:
      return irestart_;
    case view::ImageButton::kStop:
      return istop_;
  }
  return nullptr;
}

void TFormFlash::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(view::kStatusBarHeight);
  statusFile_ = new QLabel(bar);
  statusFile_->setFixedWidth(view::kFilePanelWidth);
  statusFile_->setFrameShape(QFrame::Panel);
  statusFile_->setFrameShadow(QFrame::Sunken);
  statusFile_->setTextFormat(Qt::PlainText);
  statusPort_ = new QLabel(bar);
  statusPort_->setFrameShape(QFrame::Panel);
  statusPort_->setFrameShadow(QFrame::Sunken);
  statusPort_->setTextFormat(Qt::PlainText);
  bar->addWidget(statusFile_, 0);
  bar->addWidget(statusPort_, 1);
}

void TFormFlash::SetApplication(update::Application* app) {
  app_ = app;
  if (app_) app_->Link().FormFlashRS.SetDoNotScan(cbDoNotScan_->isChecked());
  ShowRunOptions();
}

void TFormFlash::ShowCentred() {
  show();
  const QRect available = AvailableArea(*this);
  if (!available.isValid()) return;
  const QRect frame = frameGeometry();
  // Centred on the available area, and on it entirely; a window larger than the area keeps
  // its title bar, menu and Open button on the screen.
  const view::Rect centred = view::CentredOver(RectOf(available), {frame.width(), frame.height()});
  const view::Rect placed = view::KeepInside(centred, RectOf(available));
  move(placed.left, placed.top);
}

void TFormFlash::Forward(void (update::Application::*operation)()) {
  if (app_) (app_->*operation)();
}

void TFormFlash::SetDoNotScanState(bool on) {
  // The check box and the menu item always show the same state.
  const QSignalBlocker blockBox(cbDoNotScan_);
  const QSignalBlocker blockItem(DoNotScan());
  cbDoNotScan_->setChecked(on);
  DoNotScan()->setChecked(on);
  if (app_) app_->Link().FormFlashRS.SetDoNotScan(on);
}

void TFormFlash::ShowRunOptions() {
  const shell::RunOptions options = app_ ? app_->Session().Options : shell::RunOptions{};
  MenuAction(view::MenuCommand::kVerifyReadBack)
      ->setChecked(options.verify == shell::VerifyMode::kReadBack);
  QAction* backUp = MenuAction(view::MenuCommand::kBackUp);
  backUp->setChecked(!options.backupDir.empty());
  backUp->setToolTip(QString::fromStdString(options.backupDir));
}

void TFormFlash::SetVerifyReadBack(bool on) {
  if (app_) {
    app_->Session().Options.verify =
        on ? shell::VerifyMode::kReadBack : shell::VerifyMode::kBlockChecks;
  }
  ShowRunOptions();
}

void TFormFlash::SetBackUp(bool on) {
  if (app_) {
    std::string folder;
    if (on) folder = ChooseBackupFolder().value_or(std::string());
    app_->Session().Options.backupDir = folder;
  }
  ShowRunOptions();
}

std::optional<std::string> TFormFlash::ChooseBackupFolder() {
  QFileDialog dialog(this, QString::fromLatin1(kBackupDialogTitle));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

void TFormFlash::SetOperationRunning(bool running, bool stopActive) {
  const view::MainWindowState state = view::MainWindowStateFor(running, stopActive);
  programming_->menuAction()->setEnabled(state.menusEnabled);
  help_->menuAction()->setEnabled(state.menusEnabled);
  for (const view::Menu& menu : view::MainMenu()) {
    for (const view::MenuItem& item : menu.items) {
      MenuAction(item.command)->setEnabled(state.menusEnabled && !item.alwaysDisabled);
    }
  }
  cbDoNotScan_->setVisible(state.doNotScanVisible);
  for (const view::ImageButtonState& button : state.buttons) {
    TKVImage* image = ImageButtonFor(button.button);
    const QString picture = QString::fromStdString(button.picture);
    if (button.enabled) {
      image->KVenable(picture);
    } else {
      image->KVdisable(picture);
    }
  }
}

bool TFormFlash::ShowMessageBox(const std::string& text, shell::MessageKind kind, bool okOnly) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title;
  switch (kind) {
    case shell::MessageKind::kError:
      icon = QMessageBox::Critical;
      title = QStringLiteral("Error");
      break;
    case shell::MessageKind::kInformation:
      icon = QMessageBox::Information;
      title = QStringLiteral("Information");
      break;
    case shell::MessageKind::kConfirmation:
      icon = QMessageBox::Question;
      title = QStringLiteral("Confirm");
      break;
    case shell::MessageKind::kWarning:
      icon = QMessageBox::Warning;
      title = QStringLiteral("Warning");
      break;
  }
  CentredMessageBox box(icon, title, MessageText(text), this);
  box.setTextFormat(Qt::PlainText);
  if (okOnly) {
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return false;
  }
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(QMessageBox::Yes);
  // The close box and Escape answer No.
  box.setEscapeButton(QMessageBox::No);
  box.exec();
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

void TFormFlash::ProcessMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::optional<std::string> TFormFlash::ChooseFirmwareFile(const std::string& presetName) {
  QFileDialog dialog(this, QString::fromLatin1(kFileDialogTitle));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QString::fromLatin1(kFileDialogFilter));
  const QFileInfo preset(QFile::decodeName(QByteArray::fromStdString(presetName)));
  dialog.setDirectory(preset.absolutePath());
  if (!preset.fileName().isEmpty() && !preset.fileName().contains(QLatin1Char('*'))) {
    dialog.selectFile(preset.fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

void TFormFlash::ShowDescription(const std::string& text) {
  lver_->setText(QString::fromStdString(text));
}

void TFormFlash::SetDescriptionEnabled(bool enabled) {
  lver_->setEnabled(enabled);
}

void TFormFlash::SetStatusBarFile(const std::string& text) {
  statusFile_->setText(QString::fromStdString(text));
}

void TFormFlash::SetStatusBarPort(const std::string& text) {
  statusPort_->setText(QString::fromStdString(text));
}

void TFormFlash::ShowWaitDialog(bool visible) {
  formWait_->ShowWait(visible);
}

std::optional<shell::PortChoice> TFormFlash::ChoosePort(shell::PortDialogState& state,
                                                        const shell::PortRescan& rescan) {
  return formFlashRS_->Choose(state, rescan);
}

void TFormFlash::StatusPanelChanged(const display::TKVStatus& panel) {
  info1_->ShowPanel(panel);
}

void TFormFlash::SetApplicationTitle(const std::string& title) {
  applicationTitle_ = QString::fromStdString(title);
  setWindowIconText(applicationTitle_);
  // Linux taskbars show the window title, not the icon text: the title carries the progress
  // and the latest line, so a minimised window still shows how the run goes.
  setWindowTitle(QString::fromStdString(view::WindowTitleFor(title)));
}

void TFormFlash::closeEvent(QCloseEvent* event) {
  if (app_ && !app_->CanClose()) {
    event->ignore();
    return;
  }
  event->accept();
}

bool TFormFlash::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && app_ && app_->OperationRunning()) {
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && TakesOperationKeys(*widget->window())) {
      if (const std::optional<char> ch = KeyChar(*static_cast<QKeyEvent*>(event))) {
        app_->KeyPress(*ch);
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TFormFlash::TakesOperationKeys(const QWidget& window) const {
  if (&window == this) return true;
  // The program's other non-modal windows (the wait dialog) pass the keys on too. A modal
  // box or dialog keeps them: Enter and Esc answer it.
  const QWidget* owner = window.parentWidget();
  return !window.isModal() && owner && owner->window() == this;
}

}  // namespace korvex::gui
