// The main window's rules: everything the desktop window decides, with no
// window toolkit.
//
// TFrmMain owns the link to the board (TBoardLink) and drives it from the
// window's handlers: the once-a-second poll that finds the board and shows
// the chip, the code-memory choice of the 89C2051/4051, and the Send and Read
// workflows of its buttons. It observes the link (status, progress, the
// board's messages, the stop request) and keeps what only a window has: the
// poll timer, the busy flag, the wait cursor and the repaints. It draws
// through a TMainView (ui/UMainView.h), which each window toolkit implements
// with its own controls and the rule tests with a recorder. Every handler
// catches what the link raises and shows it in the error box; nothing is
// thrown back into the toolkit's event loop.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "UBoardLink.h"
#include "ULinkObserver.h"
#include "UMainDesign.h"
#include "UMainView.h"

namespace korvane {

// The error box's text for an exception message: the message, with a full
// stop appended when its last character sorts after "." (so "line:3" gets one
// and "(errno 5)" or "Failed!" do not).
std::string ErrorBoxText(const std::string& Message);

class TFrmMain final : public TLinkObserver {
 public:
  // View is the window's face and outlives the rules; Ports is where the
  // poll gets its list of ports to scan. The face calls FormCreate once its
  // controls exist and FormDestroy before they go.
  // Line, when given, is the line the link talks over instead of its own
  // serial port (the rule tests' board model); it outlives the rules.
  TFrmMain(TMainView& View, TPortListSource Ports, TBoardLine* Line = nullptr);
  ~TFrmMain() override;
  TFrmMain(const TFrmMain&) = delete;
  TFrmMain& operator=(const TFrmMain&) = delete;

  // --- Handlers -------------------------------------------------------------
  // Starts the poll, no chip shown.
  void FormCreate();
  // Stops the poll: no tick may reach a face that is being taken apart.
  void FormDestroy();
  // The poll, once a second: finds the board and shows the chip.
  void Timer1Timer();
  // The 89C2051/4051 code-memory choice: resizes both images.
  void rdoMemSizeClick();
  // Asks for a HEX file and programs it into the chip.
  void btnSendClick();
  // Asks for a file name and saves the chip's code memory there.
  void BtnReadClick();
  // Brings the face in line with the link's chip code: the label, the
  // buttons, the code-memory choice and Fast Verify.
  void UpdateTargetChip();

  // --- The poll's steps, delegated to the link --------------------------------
  // One poll's discovery with the poll timer stopped meanwhile; a board lost
  // during the known-chip check keeps the timer running.
  void DetectProgrammer();
  void IdentifyChip(const std::string& Banner) { FLink.IdentifyChip(Banner); }
  void SetTargetChip(uint8_t Code) { FLink.SetTargetChip(Code); }
  // Where the later polls get their list of ports to scan.
  void SetPortListSource(TPortListSource Ports) { FLink.SetPortListSource(std::move(Ports)); }

  // --- What a face asks -----------------------------------------------------
  // The window asks to close: refused while an operation runs, and the status
  // line then says so until the operation's outcome is shown again.
  bool CloseQuery();
  // True while a handler runs an operation (a poll or a workflow, with its
  // file dialog); the window cannot be closed meanwhile.
  bool OperationRunning() const { return FRunning > 0; }
  // The text on the status line.
  const std::string& StatusText() const { return FShownStatus; }
  // Where the workflows learn that the user asked to stop (SIGTERM, SIGINT):
  // they end at their next safe point, the board left at its prompt.
  void SetStopRequest(std::function<bool()> Requested) { FStopRequest = std::move(Requested); }
  // The options the workflows take from the face's controls.
  TWorkflowOptions ChosenOptions() const;

  // --- What the link holds ----------------------------------------------------
  // The chip the window shows (0: none).
  uint8_t TargetChip() const { return FTargetChip; }
  bool Busy() const { return FBusy; }
  const TBoardLine& Port() const { return FLink.Line(); }
  const THexFile& SourceImage() const { return FLink.SourceImage(); }
  const THexFile& ChipImage() const { return FLink.ChipImage(); }
  uint16_t ChosenMemorySize() const { return FLink.ChosenMemorySize(); }
  // The link, for what it recorded of the last workflow.
  const TBoardLink& Link() const { return FLink; }
  // The link's own serial port, for its settings and its release on a stop.
  TComPort& ComPort() { return FLink.ComPort(); }

 private:
  // --- The link's observer ----------------------------------------------------
  void StatusChanged(TStatus Status, const std::string& Text) override;
  void ProgressRangeChanged(int Min, int Max) override;
  void ProgressMoved(int Position) override;
  void BoardMessage(const std::string& Text) override;
  bool StopRequested() override { return FStopRequest && FStopRequest(); }
  void WriteTimingMeasured(const TWriteTiming& Timing) override {
    FView.WriteTimingMeasured(Timing);
  }

  // The poll: unless busy, DetectProgrammer with the busy flag set, and the
  // face brought in line when the chip code changed. Exceptions go on to
  // the caller after the flag and the face are settled.
  void Poll();
  // Shows the hourglass for the life of the scope, also when the workflow
  // ends by an exception.
  class TWaitCursorScope {
   public:
    explicit TWaitCursorScope(TFrmMain& Rules) : FRules(Rules) { FRules.ShowWaitCursor(); }
    ~TWaitCursorScope() { FRules.RestoreCursor(); }
    TWaitCursorScope(const TWaitCursorScope&) = delete;
    TWaitCursorScope& operator=(const TWaitCursorScope&) = delete;

   private:
    TFrmMain& FRules;
  };
  void ShowWaitCursor();
  void RestoreCursor();
  // Sets the busy flag for the life of the scope, exceptions included.
  class TBusyScope {
   public:
    explicit TBusyScope(bool& Busy) : FBusy(Busy) { FBusy = true; }
    ~TBusyScope() { FBusy = false; }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

   private:
    bool& FBusy;
  };
  // Puts Text on the status line as the reported status.
  void SetStatus(const std::string& Text);
  // Runs Body as a handler's operation and gives the error box's text for
  // what it raised, with the cursor back to normal; nothing when it succeeded.
  std::optional<std::string> RunOperation(const std::function<void()>& Body);
  // A button's workflow: busy from the file dialog to the workflow's end, the
  // error box for what either raises. AskFileName gets the folder used last.
  // A run that loses the board adds to the box what the chip now holds and
  // what to do; a refused file, how to put it right (UBoxAdvice.h).
  void RunWorkflow(const std::function<std::string(const std::string&)>& AskFileName,
                   const std::function<void(const std::string&)>& Workflow, bool Programs);
  // Runs Body with the face's input held; the controls come back as they
  // were, and a close refused meanwhile does not hide the outcome.
  void RunWithInputHeld(const std::function<void()>& Body);
  // After a workflow that the port failed: lets go of the port and forgets
  // the chip, as a poll that loses it does, so that the polls under the error
  // box scan quietly (instead of failing on the dead port with a box of their
  // own) and find the board again once it is back.
  void LetGoOfLostBoard();
  // The progress bar moved: painted at most once per FlushPeriod.
  void RepaintWindow();
  // After a poll that Scanned the ports: which it tried with no board
  // answering, which could not be opened and how to fix it; nothing once a
  // board is found.
  void UpdatePortNote(bool Scanned);
  // Puts Text on the status line; only SetStatus makes it the reported text.
  void ShowStatusText(const std::string& Text);
  // Lets the face paint and serve the window system, and restarts the
  // repaint rationing.
  void ProcessPendingEvents();

  TMainView& FView;
  TBoardLink FLink;
  // The chip the window shows, and whether a poll or a workflow runs.
  uint8_t FTargetChip = chipNone;
  bool FBusy = false;
  std::function<bool()> FStopRequest;
  int FRunning = 0;
  // The status text the link set last, shown again when a refused
  // close has covered it; and the text on the line now.
  std::string FReportedStatus;
  std::string FShownStatus;
  std::string FPortNote;
  int FWaitCursorDepth = 0;
  // Paint flushes during streams are rationed: at most one per FlushPeriod,
  // but at once after the status text changed.
  std::chrono::steady_clock::time_point FLastFlush;
  bool FStatusChanged = false;
  bool FPollErrorShown = false;
  // The folder of the file chosen last in this session, where the next file
  // dialog starts.
  std::string FLastFolder;
};

}  // namespace korvane
