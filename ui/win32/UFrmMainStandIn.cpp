#include "UFrmMainStandIn.h"

#include <exception>
#include <utility>

namespace korvane::win32ui {

namespace {
const char BusyStatus[] = "Please wait: an operation is running";
// A stream repaints after every byte; serving the window every few bytes is
// enough to keep it painted.
constexpr unsigned RepaintEvery = 8;

std::string FolderOf(const std::string& FileName) {
  const auto Slash = FileName.find_last_of("\\/");
  return Slash == std::string::npos ? std::string() : FileName.substr(0, Slash);
}
}  // namespace

std::string ErrorBoxText(const std::string& Message) {
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.') {
    return Message + ".";
  }
  return Message;
}

TFrmMainStandIn::TFrmMainStandIn(TMainView& View, TPortListSource Ports)
    : TProgrammer(std::move(Ports)), FView(View) {
  FTargetChip = chipNone;
  FBusy = false;
  FView.StartPollTimer();
}

TFrmMainStandIn::~TFrmMainStandIn() {
  FView.StopPollTimer();
}

std::optional<std::string> TFrmMainStandIn::RunOperation(const std::function<void()>& Body) {
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
  while (FWaitCursorDepth > 0) {
    RestoreCursor();
  }
  return ErrorBoxText(*Error);
}

void TFrmMainStandIn::Timer1Timer() {
  if (FPollErrorShown) {
    return;
  }
  if (const auto Error = RunOperation([this] { Poll(); })) {
    FPollErrorShown = true;
    FView.ShowError(*Error);
    FPollErrorShown = false;
  }
}

void TFrmMainStandIn::rdoMemSizeClick() {
  if (const auto Error = RunOperation([this] { ApplyMemorySizeChoice(); })) {
    FView.ShowError(*Error);
  }
}

void TFrmMainStandIn::RunWorkflow(const std::function<std::string()>& AskFileName,
                                  const std::function<void(const std::string&)>& Workflow) {
  if (FBusy) {
    return;
  }
  bool PortFailed = false;
  const auto Error = RunOperation([&] {
    TBusyScope Busy(*this);
    const std::string FileName = AskFileName();
    if (FileName.empty()) {
      return;
    }
    FStartFolder = FolderOf(FileName);
    FView.HoldInput();
    try {
      Workflow(FileName);
    } catch (const EComPort&) {
      PortFailed = true;
      FView.ReleaseInput();
      throw;
    } catch (...) {
      FView.ReleaseInput();
      throw;
    }
    FView.ReleaseInput();
  });
  // A close refused meanwhile must not hide the outcome.
  FView.SetStatusLine(FReportedStatus);
  if (PortFailed) {
    LetGoOfLostBoard();
  }
  if (Error) {
    FView.ShowError(*Error);
  }
}

void TFrmMainStandIn::LetGoOfLostBoard() {
  try {
    Port().Close();
  } catch (const EComPort&) {
  }
  if (FTargetChip != chipNone) {
    SetTargetChip(chipNone);
    UpdateTargetChip();
  }
}

void TFrmMainStandIn::btnSendClick() {
  RunWorkflow([this] { return FView.AskOpenFileName(FStartFolder); },
              [this](const std::string& FileName) { ProgramChip(FileName); });
}

void TFrmMainStandIn::BtnReadClick() {
  RunWorkflow([this] { return FView.AskSaveFileName(FStartFolder); },
              [this](const std::string& FileName) { ReadToFile(FileName); });
}

bool TFrmMainStandIn::CloseQuery() {
  if (FRunning > 0 || FBusy) {
    FView.SetStatusLine(BusyStatus);
    return false;
  }
  return true;
}

void TFrmMainStandIn::UpdateTargetChip() {
  const bool Found = FTargetChip != chipNone;
  FView.EnableControl(TMainControl::BtnRead, Found);
  FView.EnableControl(TMainControl::btnSend, Found);
  if (!Found) {
    FView.ShowMemSizeChoice(false);
    FView.SetChipLabel("", "");
    return;
  }
  const bool Choice = FTargetChip == chip89C2051;
  FView.ShowMemSizeChoice(Choice);
  FView.SetChipLabel(ChipName(FTargetChip), "Found on " + Port().Port());
  if (Choice) {
    ApplyMemorySizeChoice();
  }
  SetStatus("");
  FFastVerifyEnabled = !Choice;
  FView.EnableControl(TMainControl::chkFastVerify, FFastVerifyEnabled);
}

void TFrmMainStandIn::SetStatus(const std::string& Text) {
  FReportedStatus = Text;
  FView.SetStatusLine(Text);
}

void TFrmMainStandIn::RepaintWindow() {
  if (++FRepaints % RepaintEvery == 0) {
    FView.ProcessPendingEvents();
  }
}

void TFrmMainStandIn::ShowWaitCursor() {
  ++FWaitCursorDepth;
  FView.ShowWaitCursor();
}

void TFrmMainStandIn::RestoreCursor() {
  if (FWaitCursorDepth > 0) {
    --FWaitCursorDepth;
    FView.RestoreCursor();
  }
}

uint16_t TFrmMainStandIn::CodeMemorySize() const {
  return static_cast<uint16_t>((FView.MemSizeItemIndex() + 1) * 2048);
}

}  // namespace korvane::win32ui
