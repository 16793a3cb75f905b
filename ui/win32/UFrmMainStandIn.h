// The window's rules for the Win32 face until the toolkit-free TFrmMain of
// ui/ takes their place: the poll, the chip's display, the two workflows with
// the input held, the refused close and the error box, over TMainView.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "UMainView.h"
#include "UProgrammer.h"

namespace korvane::win32ui {

// The error box's text for an exception message: a full stop appended when
// the last character sorts after ".".
std::string ErrorBoxText(const std::string& Message);

class TFrmMainStandIn : public TProgrammer {
 public:
  TFrmMainStandIn(TMainView& View, TPortListSource Ports);
  ~TFrmMainStandIn() override;

  void Timer1Timer();
  void rdoMemSizeClick();
  void btnSendClick();
  void BtnReadClick();
  // Whether the window may close: not while an operation runs, and the
  // status line says why.
  bool CloseQuery();

 protected:
  void SetStatus(const std::string& Text) override;
  void RepaintStatus() override { FView.ProcessPendingEvents(); }
  void RepaintWindow() override;
  void SetProgressRange(int Min, int Max) override { FView.SetProgressRange(Min, Max); }
  void SetProgressPosition(int Position) override { FView.SetProgressPosition(Position); }
  void ShowMessage(const std::string& Text) override { FView.ShowMessage(Text); }
  void StopPollTimer() override { FView.StopPollTimer(); }
  void StartPollTimer() override { FView.StartPollTimer(); }
  void ShowWaitCursor() override;
  void RestoreCursor() override;
  void TargetChipChanged() override { UpdateTargetChip(); }
  bool FastVerifyChosen() const override { return FFastVerifyEnabled && FView.FastVerifyTicked(); }
  bool LockChosen() const override { return FView.LockTicked(); }
  uint16_t CodeMemorySize() const override;

 private:
  void UpdateTargetChip();
  std::optional<std::string> RunOperation(const std::function<void()>& Body);
  void RunWorkflow(const std::function<std::string()>& AskFileName,
                   const std::function<void(const std::string&)>& Workflow);
  void LetGoOfLostBoard();

  TMainView& FView;
  int FRunning = 0;
  int FWaitCursorDepth = 0;
  bool FFastVerifyEnabled = true;
  bool FPollErrorShown = false;
  std::string FReportedStatus;
  std::string FStartFolder;
  unsigned FRepaints = 0;
};

}  // namespace korvane::win32ui
