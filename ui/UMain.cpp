#include "UMain.h"

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
#include <exception>
#include <optional>
#include <utility>

#include "UComPort.h"
#include "UPictures.h"
#include "UStatusPanel.h"

namespace korvane {

namespace {

constexpr int PollIntervalMs = 1000;
// A stream repaints after every byte; painting more often than a screen
// refresh only slows the stream down.
constexpr qint64 FlushPeriodMs = 15;
// The line height of the font the layout was first drawn with; the layout
// grows with the font in use from there.
constexpr double DesignLineHeight = 13.0;

const char* const BusyStatus = "Please wait: an operation is running";

// The numbers and the port name the widest status texts carry, for sizing.
constexpr unsigned WidestStatusNumber = 20480;
const char* const WidestPortName = "/dev/ttyUSB0";

std::string LocalFileName(const QString& Name) {
  return QFile::encodeName(Name).toStdString();
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

QString ErrorBoxText(const std::string& Message) {
  QString Text = QString::fromStdString(Message);
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.') {
    Text += QLatin1Char('.');
  }
  return Text;
}

TFrmMain::TFrmMain(TPortListSource Ports, QWidget* Parent)
    : QWidget(Parent), TProgrammer(std::move(Ports)) {
  FormCreate();
}

TFrmMain::~TFrmMain() {
  FormDestroy();
}

void TFrmMain::FormCreate() {
  CreateComponents();
  ArrangeComponents();
  FTargetChip = chipNone;
  FBusy = false;
  FSinceFlush.start();
  Timer1->start();
}

void TFrmMain::FormDestroy() {
  // The images, the port list and the port go with the programmer; only the
  // poll must not tick into a window that is being taken apart.
  Timer1->stop();
}

void TFrmMain::CreateComponents() {
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
  auto* Item2KB = new QRadioButton("2KB", rdoMemSize);
  auto* Item4KB = new QRadioButton("4KB", rdoMemSize);
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
      rdoMemSizeClick();
    }
  });

  pnlVerbose = new TStatusPanel(GroupBox1);
  pnlVerbose->setObjectName("pnlVerbose");
  SetTextColour(pnlVerbose, Qt::blue);

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
  btnSend->setEnabled(false);
  connect(btnSend, &QPushButton::clicked, this, &TFrmMain::btnSendClick);

  BtnRead = new QPushButton(FloppyPencilIcon(), "&Read", GroupBox2);
  BtnRead->setObjectName("BtnRead");
  BtnRead->setIconSize(QSize(17, 17));
  BtnRead->setEnabled(false);
  connect(BtnRead, &QPushButton::clicked, this, &TFrmMain::BtnReadClick);

  pbLoading = new QProgressBar(this);
  pbLoading->setObjectName("pbLoading");
  pbLoading->setRange(0, 100);
  pbLoading->setValue(0);
  pbLoading->setTextVisible(false);

  FInputFilter = std::make_unique<TWindowInputFilter>(this);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(PollIntervalMs);
  connect(Timer1, &QTimer::timeout, this, &TFrmMain::Timer1Timer);

  setTabOrder(Item2KB, Item4KB);
  setTabOrder(Item4KB, chkLock);
  setTabOrder(chkLock, chkFastVerify);
  setTabOrder(chkFastVerify, btnSend);
  setTabOrder(btnSend, BtnRead);
}

void TFrmMain::ArrangeComponents() {
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

  int StatusWidth = pnlVerbose->SizeFor(BusyStatus).width();
  for (auto Status = static_cast<int>(FirstStatus); Status <= static_cast<int>(LastStatus);
       ++Status) {
    const std::string Text =
        korvane::StatusText(static_cast<TStatus>(Status), WidestStatusNumber, WidestPortName);
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
  Window->addWidget(pbLoading);

  // The size is taken with the code-memory choice in place, so that showing
  // it later never needs more room than the window has.
  const QSize Needed = layout()->sizeHint().expandedTo(QSize(Px(302), Px(118)));
  setFixedSize(Needed);
  rdoMemSize->hide();
  PlaceTargetChipLabel(false);
  move(220, 108);
}

void TFrmMain::PlaceTargetChipLabel(bool UnderCaption) {
  FChipLayout->setStretch(0, UnderCaption ? 0 : 1);
}

// --- Handlers ---------------------------------------------------------------

std::optional<QString> TFrmMain::RunOperation(const std::function<void()>& Body) {
  ++FRunning;
  std::optional<std::string> Error;
  try {
    Body();
  } catch (const std::exception& E) {
    Error = E.what();
  } catch (...) {
    Error = "Unknown error";
  }
  --FRunning;
  if (!Error) {
    return std::nullopt;
  }
  // The box must not come up under an hourglass that the interrupted
  // operation left behind.
  while (FWaitCursorDepth > 0) {
    RestoreCursor();
  }
  return ErrorBoxText(*Error);
}

void TFrmMain::Timer1Timer() {
  // Ticks go on inside the error box's own event loop; a failure that repeats
  // must not stack one box on another.
  if (FPollErrorShown) {
    return;
  }
  // Poll() itself turns the tick away while a workflow or another poll is busy.
  if (const auto Error = RunOperation([this] { Poll(); })) {
    FPollErrorShown = true;
    ShowError(*Error);
    FPollErrorShown = false;
  }
}

void TFrmMain::rdoMemSizeClick() {
  if (const auto Error = RunOperation([this] { ApplyMemorySizeChoice(); })) {
    ShowError(*Error);
  }
}

void TFrmMain::RunWorkflow(const std::function<QString()>& AskFileName,
                           const std::function<void(const std::string&)>& Workflow) {
  bool PortFailed = false;
  const auto Error = RunOperation([&] {
    TBusyScope Busy(*this);
    const QString FileName = AskFileName();
    if (FileName.isEmpty()) {
      return;
    }
    try {
      RunWithInputHeld([&] { Workflow(LocalFileName(FileName)); });
    } catch (const EComPort&) {
      PortFailed = true;
      throw;
    }
  });
  if (PortFailed) {
    LetGoOfLostBoard();
  }
  if (Error) {
    ShowError(*Error);
  }
}

void TFrmMain::RunWithInputHeld(const std::function<void()>& Body) {
  HoldInput();
  try {
    Body();
  } catch (...) {
    ReleaseInput();
    throw;
  }
  ReleaseInput();
}

void TFrmMain::HoldInput() {
  FFocusBeforeHold = focusWidget();
  // The two groups hold every control an operation reads or that starts one;
  // each control inside keeps its own enabled state for afterwards.
  GroupBox2->setEnabled(false);
  rdoMemSize->setEnabled(false);
  QCoreApplication::instance()->installEventFilter(FInputFilter.get());
  FInputHeld = true;
}

void TFrmMain::ReleaseInput() {
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
  // A close refused meanwhile must not hide the outcome.
  ShowStatusText(FReportedStatus);
}

void TFrmMain::LetGoOfLostBoard() {
  try {
    Port().Close();
  } catch (const EComPort&) {
  }
  if (FTargetChip != chipNone) {
    SetTargetChip(chipNone);
    UpdateTargetChip();
  }
}

void TFrmMain::btnSendClick() {
  RunWorkflow([this] { return AskOpenFileName(); },
              [this](const std::string& FileName) { ProgramChip(FileName); });
}

void TFrmMain::BtnReadClick() {
  RunWorkflow([this] { return AskSaveFileName(); },
              [this](const std::string& FileName) { ReadToFile(FileName); });
}

void TFrmMain::UpdateTargetChip() {
  BtnRead->setEnabled(FTargetChip != chipNone);
  btnSend->setEnabled(FTargetChip != chipNone);
  if (FTargetChip == chipNone) {
    rdoMemSize->hide();
    PlaceTargetChipLabel(false);
    SetTextColour(LblTargetChip, Qt::red);
    LblTargetChip->clear();
    LblTargetChip->setToolTip(QString());
    return;
  }

  SetTextColour(LblTargetChip, QApplication::palette(LblTargetChip).color(QPalette::WindowText));
  const bool Choice = FTargetChip == chip89C2051;
  rdoMemSize->setVisible(Choice);
  PlaceTargetChipLabel(Choice);
  LblTargetChip->setText(QString::fromStdString(ChipName(FTargetChip)));
  LblTargetChip->setToolTip(QString::fromStdString("Found on " + Port().Port()));
  if (Choice) {
    ApplyMemorySizeChoice();
    SetStatus("");
    chkFastVerify->setEnabled(false);
  } else {
    SetStatus("");
    chkFastVerify->setEnabled(true);
  }
}

QString TFrmMain::StatusText() const {
  return pnlVerbose->Text();
}

// --- Dialogs ----------------------------------------------------------------

QString TFrmMain::AskOpenFileName() {
  QFileDialog Dialog(this);
  Dialog.setAcceptMode(QFileDialog::AcceptOpen);
  Dialog.setFileMode(QFileDialog::ExistingFile);
  Dialog.setNameFilter("Intel Hex File (*.hex *.ihx)");
  Dialog.setDefaultSuffix("Hex");
  if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return Dialog.selectedFiles().constFirst();
}

QString TFrmMain::AskSaveFileName() {
  QFileDialog Dialog(this);
  Dialog.setAcceptMode(QFileDialog::AcceptSave);
  Dialog.setFileMode(QFileDialog::AnyFile);
  Dialog.setNameFilter("Intel Hex File (*.hex)");
  Dialog.setDefaultSuffix("Hex");
  // Asking before overwriting is QFileDialog's default for saving.
  Dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return Dialog.selectedFiles().constFirst();
}

void TFrmMain::ShowError(const QString& Text) {
  QMessageBox::critical(this, ApplicationTitle, Text, QMessageBox::Ok);
}

// --- The programmer's view --------------------------------------------------

void TFrmMain::SetStatus(const std::string& Text) {
  FReportedStatus = QString::fromStdString(Text);
  ShowStatusText(FReportedStatus);
}

void TFrmMain::ShowStatusText(const QString& Text) {
  if (Text != pnlVerbose->Text()) {
    pnlVerbose->SetText(Text);
    FStatusChanged = true;
  }
}

void TFrmMain::RepaintStatus() {
  pnlVerbose->repaint();
  ProcessPendingEvents();
}

void TFrmMain::RepaintWindow() {
  // The progress bar repaints itself whenever its bar grows by a pixel; what
  // is left is to let the rest of the window and the desktop be served.
  if (FStatusChanged || FSinceFlush.elapsed() >= FlushPeriodMs) {
    ProcessPendingEvents();
  }
}

void TFrmMain::ProcessPendingEvents() {
  FStatusChanged = false;
  QCoreApplication::processEvents(FInputHeld ? QEventLoop::AllEvents
                                             : QEventLoop::ExcludeUserInputEvents);
  FSinceFlush.restart();
}

void TFrmMain::SetProgressRange(int Min, int Max) {
  // A bar whose range is empty is drawn busy (indeterminate), and stays so
  // after the operation; a one-byte stream asks for exactly that.
  pbLoading->setRange(Min, std::max(Max, Min + 1));
}

void TFrmMain::SetProgressPosition(int Position) {
  pbLoading->setValue(Position);
}

void TFrmMain::ShowMessage(const std::string& Text) {
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

void TFrmMain::StopPollTimer() {
  Timer1->stop();
}

void TFrmMain::StartPollTimer() {
  Timer1->start();
}

void TFrmMain::ShowWaitCursor() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  ++FWaitCursorDepth;
}

void TFrmMain::RestoreCursor() {
  if (FWaitCursorDepth > 0) {
    QApplication::restoreOverrideCursor();
    --FWaitCursorDepth;
  }
}

bool TFrmMain::FastVerifyChosen() const {
  // Its group is disabled while a workflow runs; the box's own state counts.
  return chkFastVerify->isEnabledTo(GroupBox2) && chkFastVerify->isChecked();
}

bool TFrmMain::LockChosen() const {
  return chkLock->isChecked();
}

uint16_t TFrmMain::CodeMemorySize() const {
  return static_cast<uint16_t>((FMemSizeItems->checkedId() + 1) * 2048);
}

// --- Qt events --------------------------------------------------------------

void TFrmMain::closeEvent(QCloseEvent* Event) {
  if (OperationRunning()) {
    Event->ignore();
    ShowStatusText(BusyStatus);
    return;
  }
  QWidget::closeEvent(Event);
}

void TFrmMain::keyPressEvent(QKeyEvent* Event) {
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
