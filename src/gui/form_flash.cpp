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

#include "shell/session.h"
#include "update/application.h"

namespace korvex::gui {

namespace {

// Positions in the client area, left and top.
constexpr int kButtonTop = 8;
constexpr int kOpenLeft = 8;
constexpr int kProgramLeft = 48;
constexpr int kTestLeft = 88;
constexpr int kRestartLeft = 128;
constexpr int kStopLeft = 168;
constexpr QRect kLverRect(200, 16, 598, 25);
constexpr QRect kInfo1Rect(8, 52, kStatusPanelWidth, kStatusPanelHeight);
constexpr QRect kDoNotScanRect(8, 322, 233, 17);

QString Picture(const char* look, const char* picture) {
  return QString::fromLatin1(look) + QString::fromLatin1(picture);
}

// A button's hint is its menu caption without the accelerator mark.
QString HintOf(const char* caption) {
  return QString::fromLatin1(caption).remove(QLatin1Char('&'));
}

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
  client->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
  setCentralWidget(client);

  auto makeButton = [client](int left, const char* caption) {
    auto* button = new TKVImage(client);
    button->move(left, kButtonTop);
    button->setToolTip(HintOf(caption));
    return button;
  };
  iopen_ = makeButton(kOpenLeft, "&Open File");
  iprogram_ = makeButton(kProgramLeft, "&Program");
  itest_ = makeButton(kTestLeft, "&Test");
  irestart_ = makeButton(kRestartLeft, "&Restart");
  istop_ = makeButton(kStopLeft, "&Stop");
  connect(iopen_, &TKVImage::clicked, this, [this] { Forward(&update::Application::OpenClick); });
  connect(iprogram_, &TKVImage::clicked, this,
          [this] { Forward(&update::Application::ProgramClick); });
  connect(itest_, &TKVImage::clicked, this, [this] { Forward(&update::Application::TestClick); });
  connect(irestart_, &TKVImage::clicked, this,
          [this] { Forward(&update::Application::RestartClick); });
  connect(istop_, &TKVImage::clicked, this, [this] { Forward(&update::Application::StopClick); });

  lver_ = new QLabel(client);
  lver_->setGeometry(kLverRect);
  lver_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QFont lverFont(QStringLiteral("Courier New"));
  lverFont.setStyleHint(QFont::TypeWriter);
  lverFont.setFixedPitch(true);
  lverFont.setBold(true);
  lverFont.setPixelSize(16);
  lver_->setFont(lverFont);
  lver_->setTextFormat(Qt::PlainText);

  info1_ = new StatusPanelView(client);
  info1_->setGeometry(kInfo1Rect);

  cbDoNotScan_ = new QCheckBox(QString::fromLatin1(kDoNotScanCaption), client);
  cbDoNotScan_->setGeometry(kDoNotScanRect);
  connect(cbDoNotScan_, &QCheckBox::toggled, this, &TFormFlash::SetDoNotScanState);
}

void TFormFlash::BuildMenu() {
  programming_ = menuBar()->addMenu(QStringLiteral("&Programming"));
  open2_ = programming_->addAction(QStringLiteral("&Open File"));
  open2_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  program2_ = programming_->addAction(QStringLiteral("&Program"));
  program2_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  test2_ = programming_->addAction(QStringLiteral("&Test"));
  test2_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  restart2_ = programming_->addAction(QStringLiteral("&Restart"));
  restart2_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  // Only shows the key that stops an operation; the key itself is handled by eventFilter.
  stop2_ = programming_->addAction(QStringLiteral("&Stop\tCtrl+S"));
  stop2_->setEnabled(false);
  programming_->addSeparator();
  doNotScan_ = programming_->addAction(QString::fromLatin1(kDoNotScanCaption));
  doNotScan_->setCheckable(true);
  doNotScan_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  programming_->addSeparator();
  koniec2_ = programming_->addAction(QStringLiteral("&Exit"));
  koniec2_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));

  help_ = menuBar()->addMenu(QStringLiteral("&Help"));
  about2_ = help_->addAction(QStringLiteral("&About"));

  connect(open2_, &QAction::triggered, this, [this] { Forward(&update::Application::OpenClick); });
  connect(program2_, &QAction::triggered, this,
          [this] { Forward(&update::Application::ProgramClick); });
  connect(test2_, &QAction::triggered, this, [this] { Forward(&update::Application::TestClick); });
  connect(restart2_, &QAction::triggered, this,
          [this] { Forward(&update::Application::RestartClick); });
  connect(doNotScan_, &QAction::toggled, this, &TFormFlash::SetDoNotScanState);
  connect(koniec2_, &QAction::triggered, this, [this] {
    if (close()) QCoreApplication::quit();
  });
  connect(about2_, &QAction::triggered, this,
          [this] { Forward(&update::Application::AboutClick); });
}

void TFormFlash::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(kStatusBarHeight);
  statusFile_ = new QLabel(bar);
  statusFile_->setFixedWidth(kFilePanelWidth);
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
}

void TFormFlash::ShowCentred() {
  show();
  if (const QScreen* where = screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(where->availableGeometry().center());
    move(frame.topLeft());
  }
}

void TFormFlash::Forward(void (update::Application::*operation)()) {
  if (app_) (app_->*operation)();
}

void TFormFlash::SetDoNotScanState(bool on) {
  // The check box and the menu item always show the same state.
  const QSignalBlocker blockBox(cbDoNotScan_);
  const QSignalBlocker blockItem(doNotScan_);
  cbDoNotScan_->setChecked(on);
  doNotScan_->setChecked(on);
  if (app_) app_->Link().FormFlashRS.SetDoNotScan(on);
}

void TFormFlash::SetOperationRunning(bool running, bool stopActive) {
  const bool idle = !running;
  programming_->menuAction()->setEnabled(idle);
  help_->menuAction()->setEnabled(idle);
  for (QAction* item : {open2_, program2_, test2_, restart2_, doNotScan_, koniec2_, about2_}) {
    item->setEnabled(idle);
  }
  stop2_->setEnabled(false);
  cbDoNotScan_->setVisible(idle);
  if (running) {
    iopen_->KVdisable(Picture("II_", kOpenPicture));
    iprogram_->KVdisable(Picture("II_", kProgramPicture));
    itest_->KVdisable(Picture("II_", kTestPicture));
    irestart_->KVdisable(Picture("II_", kRestartPicture));
    if (stopActive) {
      istop_->KVenable(Picture("IA_", kStopPicture));
    } else {
      istop_->KVdisable(Picture("II_", kStopPicture));
    }
  } else {
    iopen_->KVenable(Picture("IA_", kOpenPicture));
    iprogram_->KVenable(Picture("IA_", kProgramPicture));
    itest_->KVenable(Picture("IA_", kTestPicture));
    irestart_->KVenable(Picture("IA_", kRestartPicture));
    istop_->KVdisable(Picture("II_", kStopPicture));
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
  QMessageBox box(icon, title, MessageText(text), QMessageBox::NoButton, this);
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

void TFormFlash::ShowNotice(const std::string& text) {
  // The status bar shows the note for a while; the port panel keeps it as its tool tip.
  constexpr int kNoticeShownMs = 20000;
  statusPort_->setToolTip(QString::fromStdString(text));
  statusBar()->showMessage(QString::fromStdString(text), kNoticeShownMs);
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
    if (widget && widget->window() == this) {
      if (const std::optional<char> ch = KeyChar(*static_cast<QKeyEvent*>(event))) {
        app_->KeyPress(*ch);
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace korvex::gui
