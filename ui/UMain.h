// The main window: the whole user interface of the desktop program.
//
// TFrmMain is the programmer (TProgrammer) with a face: it shows the chip
// that the once-a-second poll finds, runs the Send and Read workflows from
// its buttons, and implements the programmer's view with its status line,
// progress bar, message boxes and wait cursor. Every handler catches what the
// programmer raises and shows it in the error box; nothing is thrown back into
// the Qt event loop.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "UProgrammer.h"

class QButtonGroup;
class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class QVBoxLayout;

namespace korvane {

class TStatusPanel;

// The caption of the program's message boxes.
inline constexpr const char* ApplicationTitle = "Korvane";
// The main window's caption.
inline constexpr const char* MainWindowCaption = "Korvane V4.1";

// The error box's text for an exception message: the message, with a full
// stop appended when its last character sorts after "." (so "line:3" gets one
// and "(errno 5)" or "Failed!" do not).
QString ErrorBoxText(const std::string& Message);

class TFrmMain : public QWidget, public TProgrammer {
 public:
  // Ports is where the poll gets its list of ports to scan.
  explicit TFrmMain(TPortListSource Ports, QWidget* Parent = nullptr);
  ~TFrmMain() override;

  // --- Handlers -------------------------------------------------------------
  // The poll, once a second: finds the board and shows the chip.
  void Timer1Timer();
  // The 89C2051/4051 code-memory choice: resizes both images.
  void rdoMemSizeClick();
  // Asks for a HEX file and programs it into the chip.
  void btnSendClick();
  // Asks for a file name and saves the chip's code memory there.
  void BtnReadClick();

  // The status line's text.
  QString StatusText() const;
  // True while a handler of this window is running an operation (a poll or a
  // workflow, with its file dialog); the window cannot be closed meanwhile.
  bool OperationRunning() const { return FRunning > 0; }
  // Where the workflows learn that the user asked to stop (SIGTERM, SIGINT):
  // they end at their next safe point, the board left at its prompt.
  void SetStopRequest(std::function<bool()> Requested) { FStopRequest = std::move(Requested); }

 protected:
  // --- Seams for the dialogs (tests replace them) ---------------------------
  // The file to program; empty when the user cancels.
  virtual QString AskOpenFileName();
  // The file to save the chip into; empty when the user cancels.
  virtual QString AskSaveFileName();
  // The error box: critical icon, OK, titled with the application's title.
  virtual void ShowError(const QString& Text);

  // --- The programmer's view ------------------------------------------------
  void SetStatus(const std::string& Text) override;
  void RepaintStatus() override;
  void RepaintWindow() override;
  void SetProgressRange(int Min, int Max) override;
  void SetProgressPosition(int Position) override;
  void ShowMessage(const std::string& Text) override;
  void StopPollTimer() override;
  void StartPollTimer() override;
  void ShowWaitCursor() override;
  void RestoreCursor() override;
  void TargetChipChanged() override { UpdateTargetChip(); }
  bool FastVerifyChosen() const override;
  bool LockChosen() const override;
  uint16_t CodeMemorySize() const override;
  bool StopRequested() const override { return FStopRequest && FStopRequest(); }

  // --- Qt events ------------------------------------------------------------
  // Refused while an operation runs, and the status line says so: the port
  // and the images are in use.
  void closeEvent(QCloseEvent* Event) override;
  // Enter presses the focused button, or else the default button (Send).
  void keyPressEvent(QKeyEvent* Event) override;

 private:
  std::function<bool()> FStopRequest;
  void FormCreate();
  void FormDestroy();
  void CreateComponents();
  // Sizes the window from the fonts in use so that no text is clipped, keeping
  // the proportions of the original layout, and fixes its size.
  void ArrangeComponents();
  // Brings the window in line with the chip code.
  void UpdateTargetChip();
  // The chip's name sits under the group's caption while the code-memory
  // choice is shown, and in the middle of the free room otherwise.
  void PlaceTargetChipLabel(bool UnderCaption);
  // Runs Body as a handler's operation and gives the error box's text for
  // what it raised, with the cursor back to normal; nothing when it succeeded.
  std::optional<QString> RunOperation(const std::function<void()>& Body);
  // A button's workflow: busy from the file dialog to the workflow's end, the
  // error box for what either raises.
  void RunWorkflow(const std::function<QString()>& AskFileName,
                   const std::function<void(const std::string&)>& Workflow);
  // Runs Body with the window's input held: the controls shown unavailable
  // and the user input aimed at the window dropped, not queued (the boxes
  // that Body opens still take theirs); the close request is refused. The
  // controls come back as they were.
  void RunWithInputHeld(const std::function<void()>& Body);
  void HoldInput();
  void ReleaseInput();
  // After a workflow that the port failed: lets go of the port and forgets
  // the chip, as a poll that loses it does, so that the polls under the error
  // box scan quietly (instead of failing on the dead port with a box of their
  // own) and find the board again once it is back.
  void LetGoOfLostBoard();
  // Lets Qt paint and deliver timer ticks and window-system requests while an
  // operation holds the thread. With the input held, user input is delivered
  // too, for the filter to drop; otherwise (a poll) it waits.
  void ProcessPendingEvents();
  // Puts Text on the status line; only SetStatus makes it the reported text.
  void ShowStatusText(const QString& Text);

  // Components, named as the window's design names them.
  QGroupBox* GroupBox1 = nullptr;
  QLabel* LblTargetChip = nullptr;
  QGroupBox* rdoMemSize = nullptr;
  QButtonGroup* FMemSizeItems = nullptr;
  TStatusPanel* pnlVerbose = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QCheckBox* chkLock = nullptr;
  QCheckBox* chkFastVerify = nullptr;
  QPushButton* btnSend = nullptr;
  QPushButton* BtnRead = nullptr;
  QProgressBar* pbLoading = nullptr;
  QTimer* Timer1 = nullptr;
  QVBoxLayout* FChipLayout = nullptr;

  int FRunning = 0;
  // Installed on the application while the input is held.
  std::unique_ptr<QObject> FInputFilter;
  bool FInputHeld = false;
  QPointer<QWidget> FFocusBeforeHold;
  // The status text the programmer set last, shown again when a refused
  // close has covered it.
  QString FReportedStatus;
  int FWaitCursorDepth = 0;
  // Paint flushes during streams are rationed: at most one per FlushPeriodMs,
  // but at once after the status text changed.
  QElapsedTimer FSinceFlush;
  bool FStatusChanged = false;
  bool FPollErrorShown = false;
};

}  // namespace korvane
