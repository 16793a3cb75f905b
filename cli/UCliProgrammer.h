// The programmer as the command-line tool drives it: the view operations
// write to the terminal instead of widgets, and the options come from the
// command line instead of check boxes.
#pragma once

#include <ostream>
#include <string>

#include "UCliOptions.h"
#include "UInterrupt.h"
#include "UProgrammer.h"
#include "UProgressMeter.h"

namespace korvane::cli {

class TCliProgrammer : public TProgrammer {
 public:
  // Status texts go to Out, one a line. Err takes the port scan's texts,
  // message boxes and, when ErrIsTerminal, the progress bar. Watch (may be
  // nullptr) tells when the user asked to stop.
  TCliProgrammer(const TCliOptions& Options, TPortListSource Ports, std::ostream& Out,
                 std::ostream& Err, bool ErrIsTerminal, const TInterruptWatch* Watch = nullptr);

  // Where status texts go: the port scan reports on Err, so that the output
  // of detect stays one line; the workflows report on Out.
  void ReportStatusOn(std::ostream& Stream) { FStatusStream = &Stream; }

 protected:
  void SetStatus(const std::string& Text) override;
  void RepaintStatus() override {}
  void RepaintWindow() override {}
  void SetProgressRange(int Min, int Max) override;
  void SetProgressPosition(int Position) override;
  void ShowMessage(const std::string& Text) override;
  void StopPollTimer() override {}
  void StartPollTimer() override {}
  void ShowWaitCursor() override {}
  void RestoreCursor() override {}
  void TargetChipChanged() override;

  bool FastVerifyChosen() const override;
  bool LockChosen() const override { return FOptions.Lock; }
  uint16_t CodeMemorySize() const override { return FOptions.MemorySize; }
  bool StopRequested() const override { return FWatch != nullptr && FWatch->Requested(); }

 private:
  const TCliOptions& FOptions;
  std::ostream& FErr;
  std::ostream* FStatusStream;
  bool FErrIsTerminal;
  const TInterruptWatch* FWatch;
  TProgressMeter FMeter;
  std::string FLastStatusText;
};

}  // namespace korvane::cli
