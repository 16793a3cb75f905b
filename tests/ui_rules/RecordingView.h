// A face for the window's rules that records what they show and answers
// their questions from the test: the dialogs' file names, the ticks, the
// code-memory item.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "UMainView.h"

namespace korvane::test {

class TRecordingView : public TMainView {
 public:
  // --- What the test answers ------------------------------------------------
  std::function<std::string()> OnAskFileName = [] { return std::string(); };
  // Called inside the error box, as the box's own event loop would serve
  // timer ticks.
  std::function<void()> WhileErrorShown;
  std::function<void(int)> OnProgressPosition;
  bool Lock = false;
  bool FastVerify = false;
  int MemSizeItem = 0;

  // --- What the rules showed ------------------------------------------------
  std::string ChipLabel;
  std::string ChipToolTip;
  bool MemSizeChoiceShown = false;
  std::map<TMainControl, bool> Enabled;
  // Every status line text, in order, and the line as it stands.
  std::vector<std::string> Statuses;
  std::string StatusLine;
  std::string PortNote;
  std::vector<std::string> Errors;
  std::vector<std::string> Messages;
  // The folders the file dialogs were to start in, in order.
  std::vector<std::string> StartFolders;
  int ProgressPosition = 0;
  int CursorDepth = 0;
  bool InputHeld = false;
  bool PollTimerRunning = false;
  int EventPasses = 0;

  void SetChipLabel(const std::string& Name, const std::string& ToolTip) override;
  void ShowMemSizeChoice(bool Visible) override { MemSizeChoiceShown = Visible; }
  int MemSizeItemIndex() const override { return MemSizeItem; }
  bool LockTicked() const override { return Lock; }
  bool FastVerifyTicked() const override { return FastVerify; }
  void EnableControl(TMainControl Control, bool Value) override { Enabled[Control] = Value; }
  void HoldInput() override { InputHeld = true; }
  void ReleaseInput() override { InputHeld = false; }
  void SetStatusLine(const std::string& Text) override;
  void SetPortNote(const std::string& Text) override { PortNote = Text; }
  void SetProgressRange(int, int) override {}
  void SetProgressPosition(int Position) override;
  void ProcessPendingEvents() override { ++EventPasses; }
  std::string AskOpenFileName(const std::string& StartFolder) override;
  std::string AskSaveFileName(const std::string& StartFolder) override;
  void ShowError(const std::string& Text) override;
  void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
  void ShowWaitCursor() override { ++CursorDepth; }
  void RestoreCursor() override { --CursorDepth; }
  void StartPollTimer() override { PollTimerRunning = true; }
  void StopPollTimer() override { PollTimerRunning = false; }
};

}  // namespace korvane::test
