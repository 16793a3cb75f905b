#include "UMainWindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <utility>

#include "UDisplayLink.h"
#include "UPictures.h"
#include "UStatusPanel.h"

namespace korvane {

namespace {

// The port name the widest status text carries, for sizing.
const char* const WidestPortName = "/dev/ttyUSB0";

// A dialog's filter as Qt writes it: "Intel Hex File (*.hex *.ihx)".
QString NameFilter(const TFileFilter& Filter) {
  QStringList Patterns;
  for (const std::string& Pattern : Filter.Patterns) {
    Patterns << QString::fromStdString(Pattern);
  }
  return QString::fromStdString(Filter.Name) + " (" + Patterns.join(' ') + ")";
}

std::string LocalFileName(const QString& Name) {
  return QFile::encodeName(Name).toStdString();
}

QString FromLocalFileName(const std::string& Name) {
  return QFile::decodeName(QByteArray::fromStdString(Name));
}

void SetTextColour(QWidget* Widget, const QColor& Colour) {
  QPalette Palette = Widget->palette();
  Palette.setColor(QPalette::WindowText, Colour);
  Widget->setPalette(Palette);
}

bool IsUserInput(QEvent::Type Type) {
  switch (Type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

// Installed on the application, drops the user input aimed at one window:
// at its window-system window or any widget inside it. Other windows, such
// as the boxes a workflow opens with the window as their parent, keep theirs.
class TWindowInputFilter : public QObject {
 public:
  explicit TWindowInputFilter(QWidget* Window) : FWindow(Window) {}

  bool eventFilter(QObject* Watched, QEvent* Event) override {
    return IsUserInput(Event->type()) && AimsAtWindow(Watched);
  }

 private:
  bool AimsAtWindow(const QObject* Watched) const {
    if (Watched->isWidgetType()) {
      return static_cast<const QWidget*>(Watched)->window() == FWindow;
    }
    return Watched->isWindowType() && Watched == FWindow->windowHandle();
  }

  QWidget* FWindow;
};

}  // namespace

TMainWindow::TMainWindow(TPortListSource Ports, QWidget* Parent)
    : QWidget(Parent), FRules(*this, std::move(Ports)) {
  CreateComponents();
  ArrangeComponents();
  FRules.FormCreate();
}

TMainWindow::~TMainWindow() {
  FRules.FormDestroy();
}

void TMainWindow::CreateComponents() {
  setObjectName("FrmMain");
  setWindowTitle(MainWindowCaption);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

  GroupBox1 = new QGroupBox("Target Chip", this);
  GroupBox1->setObjectName("GroupBox1");

  LblTargetChip = new QLabel(GroupBox1);
  LblTargetChip->setObjectName("LblTargetChip");
  LblTargetChip->setAlignment(Qt::AlignCenter);

  rdoMemSize = new QGroupBox("Code Memory", GroupBox1);
  rdoMemSize->setObjectName("rdoMemSize");
  const std::vector<std::string> MemSizeLabels = MemSizeItemLabels();
  auto* Item2KB = new QRadioButton(QString::fromStdString(MemSizeLabels.at(0)), rdoMemSize);
  auto* Item4KB = new QRadioButton(QString::fromStdString(MemSizeLabels.at(1)), rdoMemSize);
  Item2KB->setObjectName("rdoMemSize2KB");
  Item4KB->setObjectName("rdoMemSize4KB");
  FMemSizeItems = new QButtonGroup(this);
  FMemSizeItems->addButton(Item2KB, 0);
  FMemSizeItems->addButton(Item4KB, 1);
  Item2KB->setChecked(true);
  auto* Columns = new QHBoxLayout(rdoMemSize);
  Columns->setContentsMargins(4, 0, 4, 0);
  Columns->addWidget(Item2KB, 1);
  Columns->addWidget(Item4KB, 1);
  // Arrow keys move the choice as well as clicks do.
  connect(FMemSizeItems, &QButtonGroup::idToggled, this, [this](int, bool Checked) {
    if (Checked) {
      FRules.rdoMemSizeClick();
    }
  });

  pnlVerbose = new TStatusPanel(GroupBox1);
  pnlVerbose->setObjectName("pnlVerbose");
  SetTextColour(pnlVerbose, Qt::blue);

  LblPortNote = new QLabel(this);
  LblPortNote->setObjectName("LblPortNote");
  LblPortNote->setWordWrap(true);
  LblPortNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
  SetTextColour(LblPortNote, Qt::darkRed);
  LblPortNote->hide();

  GroupBox2 = new QGroupBox("Option", this);
  GroupBox2->setObjectName("GroupBox2");
  chkLock = new QCheckBox("&Lock", GroupBox2);
  chkLock->setObjectName("chkLock");
  chkFastVerify = new QCheckBox("&Fast Verify", GroupBox2);
  chkFastVerify->setObjectName("chkFastVerify");

  btnSend = new QPushButton(LightningBoltIcon(), "&Send", GroupBox2);
  btnSend->setObjectName("btnSend");
  btnSend->setIconSize(QSize(15, 14));
  btnSend->setDefault(true);
  connect(btnSend, &QPushButton::clicked, this, [this] { FRules.btnSendClick(); });

  BtnRead = new QPushButton(FloppyPencilIcon(), "&Read", GroupBox2);
  BtnRead->setObjectName("BtnRead");
  BtnRead->setIconSize(QSize(17, 17));
  connect(BtnRead, &QPushButton::clicked, this, [this] { FRules.BtnReadClick(); });

  pbLoading = new QProgressBar(this);
  pbLoading->setObjectName("pbLoading");
  pbLoading->setRange(0, 100);
  pbLoading->setValue(0);
  pbLoading->setTextVisible(false);

  FInputFilter = std::make_unique<TWindowInputFilter>(this);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(PollIntervalMs);
  connect(Timer1, &QTimer::timeout, this, [this] { FRules.Timer1Timer(); });

  setTabOrder(Item2KB, Item4KB);
  setTabOrder(Item4KB, chkLock);
  setTabOrder(chkLock, chkFastVerify);
  setTabOrder(chkFastVerify, btnSend);
  setTabOrder(btnSend, BtnRead);
}

void TMainWindow::ArrangeComponents() {
  // The style may change fonts and metrics when it polishes the widgets.
  ensurePolished();
  const QFontMetrics Metrics(font());
  const double Scale = std::max(1.0, Metrics.height() / DesignLineHeight);
  const auto Px = [Scale](int Pixels) { return static_cast<int>(std::lround(Pixels * Scale)); };

  QFont ChipFont = font();
  ChipFont.setBold(true);
  ChipFont.setPixelSize(Px(24));
  LblTargetChip->setFont(ChipFont);
  QSize ChipNameNeeds;
  for (const TChipKind& Kind : ChipKinds()) {
    LblTargetChip->setText(QString::fromUtf8(Kind.Name.data(), static_cast<int>(Kind.Name.size())));
    ChipNameNeeds = ChipNameNeeds.expandedTo(LblTargetChip->minimumSizeHint());
  }
  LblTargetChip->clear();
  LblTargetChip->setMinimumSize(std::max(Px(213), ChipNameNeeds.width() + Px(8)),
                                std::max(Px(26), ChipNameNeeds.height()));

  int StatusWidth = 0;
  for (const std::string& Text : StatusTextsToFit(WidestPortName)) {
    StatusWidth = std::max(StatusWidth, pnlVerbose->SizeFor(QString::fromStdString(Text)).width());
  }
  pnlVerbose->setMinimumSize(StatusWidth, std::max(Px(20), pnlVerbose->SizeFor("Ag").height()));
  // Explicit minimums replace the ones the contents need: keep the larger.
  rdoMemSize->setMinimumHeight(std::max(Px(35), rdoMemSize->minimumSizeHint().height()));

  FChipLayout = new QVBoxLayout(GroupBox1);
  FChipLayout->setContentsMargins(Px(2), Px(2), Px(2), Px(2));
  FChipLayout->setSpacing(Px(2));
  FChipLayout->addStretch(0);
  FChipLayout->addWidget(LblTargetChip);
  FChipLayout->addStretch(1);
  FChipLayout->addWidget(rdoMemSize);
  FChipLayout->addWidget(pnlVerbose);

  btnSend->setMinimumSize(QSize(Px(77), Px(25)).expandedTo(btnSend->minimumSizeHint()));
  BtnRead->setMinimumSize(QSize(Px(77), Px(23)).expandedTo(BtnRead->minimumSizeHint()));
  auto* Options = new QVBoxLayout(GroupBox2);
  Options->setContentsMargins(Px(3), Px(2), Px(3), Px(3));
  Options->setSpacing(0);
  Options->addWidget(chkLock);
  Options->addWidget(chkFastVerify);
  Options->addStretch(1);
  Options->addSpacing(Px(2));
  Options->addWidget(btnSend);
  Options->addSpacing(Px(2));
  Options->addWidget(BtnRead);
  GroupBox2->setMinimumWidth(std::max(Px(85), GroupBox2->minimumSizeHint().width()));

  pbLoading->setFixedHeight(Px(20));

  auto* Groups = new QHBoxLayout;
  Groups->setSpacing(Px(2));
  Groups->addWidget(GroupBox1, 217);
  Groups->addWidget(GroupBox2, 85);
  auto* Window = new QVBoxLayout(this);
  Window->setContentsMargins(Px(2), Px(2), Px(2), Px(2));
  Window->setSpacing(Px(2));
  Window->addLayout(Groups, 1);
  // The note sits above the progress bar, which keeps the window's bottom edge.
  Window->addWidget(LblPortNote);
  Window->addWidget(pbLoading);

  // The size is taken with the code-memory choice in place, so that showing
  // it later never needs more room than the window has.
  FBaseSize = layout()->sizeHint().expandedTo(QSize(Px(302), Px(118)));
  setFixedSize(FBaseSize);
  ShowMemSizeChoice(false);
  SetChipLabel("", "");
  move(220, 108);
}

// --- The face ---------------------------------------------------------------

void TMainWindow::SetChipLabel(const std::string& Name, const std::string& ToolTip) {
  // No chip is shown in red: the colour the label keeps for the next name.
  SetTextColour(LblTargetChip,
                Name.empty() ? QColor(Qt::red)
                             : QApplication::palette(LblTargetChip).color(QPalette::WindowText));
  LblTargetChip->setText(QString::fromStdString(Name));
  LblTargetChip->setToolTip(QString::fromStdString(ToolTip));
}

void TMainWindow::ShowMemSizeChoice(bool Visible) {
  rdoMemSize->setVisible(Visible);
  // The chip's name sits under the group's caption while the choice is
  // shown, and in the middle of the free room otherwise.
  FChipLayout->setStretch(0, Visible ? 0 : 1);
}

int TMainWindow::MemSizeItemIndex() const {
  return FMemSizeItems->checkedId();
}

bool TMainWindow::LockTicked() const {
  return chkLock->isChecked();
}

bool TMainWindow::FastVerifyTicked() const {
  // The tick as it stands; the chip's kind decides whether it applies.
  return chkFastVerify->isChecked();
}

void TMainWindow::EnableControl(TMainControl Control, bool Enabled) {
  switch (Control) {
    case TMainControl::btnSend:
      btnSend->setEnabled(Enabled);
      break;
    case TMainControl::BtnRead:
      BtnRead->setEnabled(Enabled);
      break;
    case TMainControl::chkFastVerify:
      chkFastVerify->setEnabled(Enabled);
      break;
  }
}

void TMainWindow::HoldInput() {
  FFocusBeforeHold = focusWidget();
  // The two groups hold every control an operation reads or that starts one;
  // each control inside keeps its own enabled state for afterwards.
  GroupBox2->setEnabled(false);
  rdoMemSize->setEnabled(false);
  QCoreApplication::instance()->installEventFilter(FInputFilter.get());
  FInputHeld = true;
}

void TMainWindow::ReleaseInput() {
  // Input still on its way from the window system came during the operation
  // as well: take it in and drop it before the controls come back.
  QGuiApplication::sync();
  FInputHeld = false;
  QCoreApplication::instance()->removeEventFilter(FInputFilter.get());
  GroupBox2->setEnabled(true);
  rdoMemSize->setEnabled(true);
  if (FFocusBeforeHold && FFocusBeforeHold->isEnabled() && FFocusBeforeHold->isVisible()) {
    FFocusBeforeHold->setFocus();
  }
  FFocusBeforeHold = nullptr;
}

void TMainWindow::SetStatusLine(const std::string& Text) {
  pnlVerbose->SetText(QString::fromStdString(Text));
}

void TMainWindow::SetPortNote(const std::string& Text) {
  LblPortNote->setText(QString::fromStdString(Text));
  LblPortNote->setVisible(!Text.empty());
  // The window's size is fixed; it grows by the note's lines and back.
  if (Text.empty()) {
    setFixedSize(FBaseSize);
    return;
  }
  const QMargins Margins = layout()->contentsMargins();
  const int NoteWidth = FBaseSize.width() - Margins.left() - Margins.right();
  setFixedSize(FBaseSize.width(),
               FBaseSize.height() + layout()->spacing() + LblPortNote->heightForWidth(NoteWidth));
}

void TMainWindow::ProcessPendingEvents() {
  // Qt would end the process on the broken connection's events, with the
  // board in its stream; the workflow is told to stop instead (DisplayLost).
  if (DisplayLost()) {
    return;
  }
  pnlVerbose->repaint();
  QCoreApplication::processEvents(FInputHeld ? QEventLoop::AllEvents
                                             : QEventLoop::ExcludeUserInputEvents);
}

// --- Dialogs ----------------------------------------------------------------

std::string TMainWindow::AskOpenFileName(const std::string& StartFolder) {
  QFileDialog Dialog(this, QString(), FromLocalFileName(StartFolder));
  Dialog.setAcceptMode(QFileDialog::AcceptOpen);
  Dialog.setFileMode(QFileDialog::ExistingFile);
  Dialog.setNameFilter(NameFilter(OpenFileFilter()));
  Dialog.setDefaultSuffix(QString::fromStdString(OpenFileFilter().DefaultExtension));
  if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return LocalFileName(Dialog.selectedFiles().constFirst());
}

std::string TMainWindow::AskSaveFileName(const std::string& StartFolder) {
  QFileDialog Dialog(this, QString(), FromLocalFileName(StartFolder));
  Dialog.setAcceptMode(QFileDialog::AcceptSave);
  Dialog.setFileMode(QFileDialog::AnyFile);
  Dialog.setNameFilter(NameFilter(SaveFileFilter()));
  Dialog.setDefaultSuffix(QString::fromStdString(SaveFileFilter().DefaultExtension));
  // Asking before overwriting is QFileDialog's default for saving.
  Dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return LocalFileName(Dialog.selectedFiles().constFirst());
}

void TMainWindow::ShowError(const std::string& Text) {
  QMessageBox::critical(this, ApplicationTitle, QString::fromStdString(Text), QMessageBox::Ok);
}

// --- Progress, boxes, cursor and timer -----------------------------------------

void TMainWindow::SetProgressRange(int Min, int Max) {
  // A bar whose range is empty is drawn busy (indeterminate), and stays so
  // after the operation; a one-byte stream asks for exactly that.
  pbLoading->setRange(Min, std::max(Max, Min + 1));
}

void TMainWindow::SetProgressPosition(int Position) {
  pbLoading->setValue(Position);
}

void TMainWindow::ShowMessage(const std::string& Text) {
  // The box waits for a click: show the ordinary arrow over it, not the
  // operation's hourglass.
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  // The text is raw bytes from the board, not UTF-8: each byte is one
  // character.
  QMessageBox Box(QMessageBox::NoIcon, ApplicationTitle,
                  QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size())),
                  QMessageBox::Ok, this);
  Box.exec();
  QApplication::restoreOverrideCursor();
}

void TMainWindow::StopPollTimer() {
  Timer1->stop();
}

void TMainWindow::StartPollTimer() {
  Timer1->start();
}

void TMainWindow::ShowWaitCursor() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TMainWindow::RestoreCursor() {
  QApplication::restoreOverrideCursor();
}

// --- Qt events --------------------------------------------------------------

void TMainWindow::closeEvent(QCloseEvent* Event) {
  if (!FRules.CloseQuery()) {
    Event->ignore();
    return;
  }
  QWidget::closeEvent(Event);
}

void TMainWindow::keyPressEvent(QKeyEvent* Event) {
  const bool Enter = Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter;
  if (Enter && (Event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    auto* Focused = qobject_cast<QPushButton*>(focusWidget());
    QPushButton* Target = Focused != nullptr ? Focused : btnSend;
    if (Target->isEnabled()) {
      Target->click();
      return;
    }
  }
  QWidget::keyPressEvent(Event);
}

}  // namespace korvane
