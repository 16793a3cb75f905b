// The programmer as the command-line tool drives it: the view operations
// write to the terminal instead of widgets, and the options come from the
// command line instead of check boxes.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

#include "UCliOptions.h"
#include "UInterrupt.h"
#include "UProgrammer.h"
#include "UProgressMeter.h"

namespace korvane::cli {

class TCliProgrammer : public TProgrammer {
 public:
  // Out takes the status texts (one a line, or with --json one event a line)
  // and Err the port scan's texts, notes, message boxes and, when
  // ErrIsTerminal, the progress bar; -q keeps all but errors back. Watch (may
  // be nullptr) tells when the user asked to stop.
  TCliProgrammer(const TCliOptions& Options, TPortListSource Ports, std::ostream& Out,
                 std::ostream& Err, bool ErrIsTerminal, const TInterruptWatch* Watch = nullptr);

  // Where status texts go in text mode: the port scan reports on Err, so
  // that the output of detect stays one line; the workflows report on Out.
  void ReportStatusOn(std::ostream& Stream) { FStatusStream = &Stream; }
  // The last status text set ("" before any).
  const std::string& LastStatusText() const { return FLastStatusText; }
  // Says on which port the chip was found: "PORT: CHIP" on Stream in text
  // mode, a "chip" event with --json, nothing with -q.
  void AnnounceChip(std::ostream& Stream);
  // A note on Err ("note: ..."), kept back by -q.
  void Note(const std::string& Text);
  // Holds the status texts back (the polls while a production run waits for
  // the next chip) or lets them through again.
  void SetSilent(bool Silent) { FSilent = Silent; }
  // The workflows' options as the command line gives them.
  TWorkflowOptions WorkflowOptions() const {
    return {FOptions.Lock, FOptions.FastVerify, FOptions.MemorySize};
  }

 protected:
  void SetStatus(const std::string& Text) override;
  void SetProgressRange(int Min, int Max) override;
  void SetProgressPosition(int Position) override;
  void ShowMessage(const std::string& Text) override;
  void WriteTimingMeasured(const TWriteTiming& Timing) override;

  bool StopRequested() const override { return FWatch != nullptr && FWatch->Requested(); }

 private:
  bool Json() const { return FOptions.Output == TOutputMode::Json; }
  // A "progress" event: at most ten a second, and always the stream's last.
  void EmitProgress(int Position);

  const TCliOptions& FOptions;
  std::ostream& FOut;
  std::ostream& FErr;
  std::ostream* FStatusStream;
  bool FMeterShown;
  const TInterruptWatch* FWatch;
  TProgressMeter FMeter;
  std::string FLastStatusText;
  bool FSlowWriteWarned = false;
  bool FSilent = false;
  int FProgressMin = 0;
  int FProgressMax = 0;
  int FProgressEmitted = -1;
  std::chrono::steady_clock::time_point FProgressEmittedAt;
};

}  // namespace korvane::cli
