#include "UMain.h"

#include <exception>
#include <filesystem>
#include <utility>

#include "UBoardSearchNote.h"
#include "UBoxAdvice.h"
#include "UChipProgress.h"
#include "UComPort.h"
#include "UPortAccess.h"
#include "UWorkflows.h"

namespace korvane {

namespace {

// A stream repaints after every byte; painting more often than a screen
// refresh only slows the stream down.
constexpr std::chrono::milliseconds FlushPeriod{15};

}  // namespace

std::string ErrorBoxText(const std::string& Message) {
  std::string Text = Message;
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.') {
    Text += '.';
  }
  return Text;
}

TFrmMain::TFrmMain(TMainView& View, TPortListSource Ports, TBoardLine* Line)
    : FView(View), FLink(std::move(Ports), Line) {
  FLink.SetObserver(this);
}

TFrmMain::~TFrmMain() = default;

void TFrmMain::FormCreate() {
  FBusy = false;
  FLastFlush = std::chrono::steady_clock::now();
  UpdateTargetChip();
  FView.StartPollTimer();
}

void TFrmMain::FormDestroy() {
  // The images, the port list and the port go with the link; only the
  // poll must not tick into a face that is being taken apart.
  FView.StopPollTimer();
}

// --- Handlers ---------------------------------------------------------------

std::optional<std::string> TFrmMain::RunOperation(const std::function<void()>& Body) {
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
  const bool Polls = !FBusy;
  // A poll scans the ports only while no chip is known; one that checks the
  // known chip has no scan to tell of.
  const bool Scans = FTargetChip == chipNone;
  const auto Error = RunOperation([this] { Poll(); });
  if (Polls) {
    UpdatePortNote(Scans);
  }
  if (Error) {
    FPollErrorShown = true;
    // A poll that checked a known chip lost it on a failed port: the board
    // is gone.
    const bool Lost = Polls && !Scans && FTargetChip == chipNone;
    FView.ShowError(Lost ? WithAdvice(*Error, LostIdleBoardAdvice()) : *Error);
    FPollErrorShown = false;
  }
}

void TFrmMain::Poll() {
  if (FBusy) {
    return;
  }
  FBusy = true;
  try {
    DetectProgrammer();
  } catch (...) {
    // The poll is over either way. Only a port lost during the known-chip
    // check keeps polling, and the face then shows that the chip is gone.
    FBusy = false;
    if (FLink.BoardLost() && FLink.TargetChip() != FTargetChip) {
      UpdateTargetChip();
    }
    throw;
  }
  FBusy = false;
  if (FLink.TargetChip() != FTargetChip) {
    UpdateTargetChip();
  }
}

void TFrmMain::DetectProgrammer() {
  FView.StopPollTimer();
  try {
    FLink.DetectProgrammer();
  } catch (...) {
    if (FLink.BoardLost()) {
      FView.StartPollTimer();
    }
    throw;
  }
  FView.StartPollTimer();
}

void TFrmMain::UpdatePortNote(bool Scanned) {
  const std::string Note =
      FTargetChip != chipNone || !Scanned
          ? std::string()
          : BoardSearchNote(FLink.PortList(), FLink.RefusedPorts(), FLink.BannerSeen());
  if (Note != FPortNote) {
    FPortNote = Note;
    FView.SetPortNote(Note);
  }
}

void TFrmMain::rdoMemSizeClick() {
  if (const auto Error =
          RunOperation([this] { FLink.ApplyMemorySizeChoice(ChosenOptions().MemorySize); })) {
    FView.ShowError(*Error);
  }
}

TWorkflowOptions TFrmMain::ChosenOptions() const {
  TWorkflowOptions Options;
  Options.Lock = FView.LockTicked();
  Options.FastVerify = FView.FastVerifyTicked();
  Options.MemorySize = FLink.ChosenMemorySize();
  const TChipKind* Kind = FindChipKind(FTargetChip);
  const int Item = FView.MemSizeItemIndex();
  if (Kind != nullptr && Item >= 0 && static_cast<size_t>(Item) < Kind->SizeChoices.size()) {
    Options.MemorySize = Kind->SizeChoices[static_cast<size_t>(Item)];
  }
  return Options;
}

void TFrmMain::RunWorkflow(const std::function<std::string(const std::string&)>& AskFileName,
                           const std::function<void(const std::string&)>& Workflow, bool Programs) {
  bool PortFailed = false;
  std::string Advice;
  const auto Error = RunOperation([&] {
    TBusyScope Busy(FBusy);
    const std::string FileName = AskFileName(FLastFolder);
    if (FileName.empty()) {
      return;
    }
    FLastFolder = std::filesystem::path(FileName).parent_path().string();
    try {
      RunWithInputHeld([&] { Workflow(FileName); });
    } catch (const EComPort&) {
      PortFailed = true;
      Advice =
          LostBoardAdvice(FLink.ChipProgress(), Programs ? "press Send again" : "press Read again");
      throw;
    } catch (const EHexFile& Refused) {
      Advice = FileRefusalAdvice(Refused, FileName, FTargetChip, ChosenOptions().MemorySize);
      throw;
    }
  });
  // A run that failed part-way leaves no half-full bar behind.
  FView.SetProgressPosition(0);
  if (PortFailed) {
    LetGoOfLostBoard();
  }
  if (Error) {
    FView.ShowError(WithAdvice(*Error, Advice));
  }
}

void TFrmMain::RunWithInputHeld(const std::function<void()>& Body) {
  FView.HoldInput();
  try {
    Body();
  } catch (...) {
    FView.ReleaseInput();
    ShowStatusText(FReportedStatus);
    throw;
  }
  FView.ReleaseInput();
  // A close refused meanwhile must not hide the outcome.
  ShowStatusText(FReportedStatus);
}

void TFrmMain::LetGoOfLostBoard() {
  FLink.LetGoOfBoard();
  if (FTargetChip != chipNone) {
    UpdateTargetChip();
  }
}

void TFrmMain::btnSendClick() {
  if (!WorkflowPossible(FTargetChip)) {
    return;
  }
  RunWorkflow([this](const std::string& Folder) { return FView.AskOpenFileName(Folder); },
              [this](const std::string& FileName) {
                const TWorkflowOptions Options = ChosenOptions();
                // A bad file ends here, before anything is sent to the board.
                TWorkflowRequest Request{
                    Options,
                    LoadProgramFile(FileName, ChipMemorySize(FTargetChip, Options.MemorySize))};
                TWaitCursorScope Cursor(*this);
                ProgramChip(FLink, Request);
              },
              true);
}

void TFrmMain::BtnReadClick() {
  if (!WorkflowPossible(FTargetChip)) {
    return;
  }
  RunWorkflow([this](const std::string& Folder) { return FView.AskSaveFileName(Folder); },
              [this](const std::string& FileName) {
                TWaitCursorScope Cursor(*this);
                ReadToFile(FLink, ChosenOptions(), FileName);
              },
              false);
}

void TFrmMain::UpdateTargetChip() {
  FTargetChip = FLink.TargetChip();
  const bool Found = WorkflowPossible(FTargetChip);
  FView.EnableControl(TMainControl::BtnRead, Found);
  FView.EnableControl(TMainControl::btnSend, Found);
  if (!Found) {
    FView.ShowMemSizeChoice(false);
    FView.SetChipLabel("", "");
    return;
  }
  const bool Choice = ChipSizeIsChosen(FTargetChip);
  FView.ShowMemSizeChoice(Choice);
  FView.SetChipLabel(ChipName(FTargetChip), "Found on " + FLink.Line().Port());
  SetStatus("");
  FView.EnableControl(TMainControl::chkFastVerify, ChipHasFastVerify(FTargetChip));
}

bool TFrmMain::CloseQuery() {
  if (OperationRunning()) {
    ShowStatusText(BusyStatus);
    return false;
  }
  return true;
}

// --- The link's observer ----------------------------------------------------

void TFrmMain::StatusChanged(TStatus /*Status*/, const std::string& Text) {
  SetStatus(Text);
  // A status paints at once: the link may block on the board right after.
  ProcessPendingEvents();
}

void TFrmMain::SetStatus(const std::string& Text) {
  FReportedStatus = Text;
  ShowStatusText(FReportedStatus);
}

void TFrmMain::ShowStatusText(const std::string& Text) {
  if (Text != FShownStatus) {
    FShownStatus = Text;
    FView.SetStatusLine(Text);
    FStatusChanged = true;
  }
}

void TFrmMain::RepaintWindow() {
  // The progress bar repaints itself whenever its bar grows by a pixel; what
  // is left is to let the rest of the window and the desktop be served.
  if (FStatusChanged || std::chrono::steady_clock::now() - FLastFlush >= FlushPeriod) {
    ProcessPendingEvents();
  }
}

void TFrmMain::ProcessPendingEvents() {
  FStatusChanged = false;
  FView.ProcessPendingEvents();
  FLastFlush = std::chrono::steady_clock::now();
}

void TFrmMain::ProgressRangeChanged(int Min, int Max) {
  FView.SetProgressRange(Min, Max);
}

void TFrmMain::ProgressMoved(int Position) {
  FView.SetProgressPosition(Position);
  RepaintWindow();
}

void TFrmMain::BoardMessage(const std::string& Text) {
  FView.ShowMessage(Text);
}

void TFrmMain::ShowWaitCursor() {
  FView.ShowWaitCursor();
  ++FWaitCursorDepth;
}

void TFrmMain::RestoreCursor() {
  if (FWaitCursorDepth > 0) {
    FView.RestoreCursor();
    --FWaitCursorDepth;
  }
}

}  // namespace korvane
