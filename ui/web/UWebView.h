// The page's face of the main window: TMainView drawn in plain DOM by the
// page's script (page.js, the object KorvanePage), which owns the controls.
// The file dialogs are the page's too: the file to program is chosen (or
// dropped) before Send reaches the rules, and the file read is offered as a
// download once Read is done.
#pragma once

#include <string>

#include "UMainView.h"

namespace korvane {

class TWebView final : public TMainView {
 public:
  // The file that the next AskOpenFileName gives, once; empty for none.
  void SetChosenFile(const std::string& FileName) { FChosenFile = FileName; }
  // The file that AskSaveFileName gives: the folder where the page collects
  // the files it offers, and the chip's name.
  std::string SaveFileName() const;
  // The chip shown now; empty for none.
  const std::string& ChipName() const { return FChipName; }
  // Once a write stream shows an adapter's latency timer: a note that says
  // so and how to set it, which a page cannot do as the command line does.
  void WriteTimingMeasured(const TWriteTiming& Timing) override;

  void SetChipLabel(const std::string& Name, const std::string& ToolTip) override;
  void ShowMemSizeChoice(bool Visible) override;
  int MemSizeItemIndex() const override;
  bool LockTicked() const override;
  bool FastVerifyTicked() const override;
  void EnableControl(TMainControl Control, bool Enabled) override;
  void HoldInput() override;
  void ReleaseInput() override;
  void SetStatusLine(const std::string& Text) override;
  void SetPortNote(const std::string& Text) override;
  void SetProgressRange(int Min, int Max) override;
  void SetProgressPosition(int Position) override;
  void ProcessPendingEvents() override;
  std::string AskOpenFileName(const std::string& StartFolder) override;
  std::string AskSaveFileName(const std::string& StartFolder) override;
  void ShowError(const std::string& Text) override;
  void ShowMessage(const std::string& Text) override;
  void ShowWaitCursor() override;
  void RestoreCursor() override;
  void StartPollTimer() override;
  void StopPollTimer() override;

 private:
  std::string FChosenFile;
  std::string FChipName;
  bool FLatencyNoted = false;
};

// Where the page's files live in its memory file system.
inline constexpr const char* PageFileFolder = "/korvane";

}  // namespace korvane
