// What the command-line tool shows of a board link's work: the link's
// observer, writing status lines, a progress bar or JSON events to the
// terminal, and answering the link's stop request from the interrupt watch.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

#include "UBoardLink.h"
#include "UCliOptions.h"
#include "UInterrupt.h"
#include "UJsonLine.h"
#include "ULinkObserver.h"
#include "UProgressMeter.h"

namespace korvane::cli {

class TCliObserver final : public TLinkObserver {
 public:
  // Out takes the status texts (one a line, or with --json one event a line)
  // and Err the port scan's texts, notes, message boxes and, when
  // ErrIsTerminal, the progress bar; -q keeps all but errors back. Watch (may
  // be nullptr) tells when the user asked to stop; an Out that can no longer
  // be written (its reader went away) is recorded there as a stop request.
  TCliObserver(const TCliOptions& Options, std::ostream& Out, std::ostream& Err, bool ErrIsTerminal,
               TInterruptWatch* Watch = nullptr);

  // Where status texts go in text mode: the port scan reports on Err, so
  // that the output of detect stays one line; the workflows report on Out.
  void ReportStatusOn(std::ostream& Stream) { FStatusStream = &Stream; }
  // The last status text set ("" before any).
  const std::string& LastStatusText() const { return FLastStatusText; }
  // Says on which port the chip was found: "PORT: CHIP" on Stream in text
  // mode, a "chip" event with --json, nothing with -q.
  void AnnounceChip(std::ostream& Stream, const TBoardLink& Link);
  // A note on Err ("note: ..."), kept back by -q.
  void Note(const std::string& Text);
  // Holds the status texts back (the polls while a production run waits for
  // the next chip) or lets them through again.
  void SetSilent(bool Silent) { FSilent = Silent; }

  // --- The link's observer ----------------------------------------------------
  void StatusChanged(TStatus Status, const std::string& Text) override;
  void ProgressRangeChanged(int Min, int Max) override;
  void ProgressMoved(int Position) override;
  void BoardMessage(const std::string& Text) override;
  void WriteTimingMeasured(const TWriteTiming& Timing) override;
  void StopNoticed(const TStopNotice& Notice) override;
  bool StopRequested() override;

 private:
  bool Json() const { return FOptions.Output == TOutputMode::Json; }
  // A "progress" event: at most ten a second, and always the stream's last.
  void EmitProgress(int Position);

  const TCliOptions& FOptions;
  std::ostream& FOut;
  std::ostream& FErr;
  std::ostream* FStatusStream;
  bool FMeterShown;
  TInterruptWatch* FWatch;
  TProgressMeter FMeter;
  std::string FLastStatusText;
  TStatus FStatus = TStatus::stNone;
  bool FSlowWriteWarned = false;
  bool FSilent = false;
  bool FStopSaid = false;
  // The stop came from Out failing, not from the user.
  bool FOutputLost = false;
  int FProgressMin = 0;
  int FProgressMax = 0;
  int FProgressEmitted = -1;
  // "write", "verify", "read", "checksum", "lock" or "erase".
  const char* FProgressPhase = "";
  std::chrono::steady_clock::time_point FProgressEmittedAt;
};

// The workflows' options as the command line gives them.
TWorkflowOptions WorkflowOptionsOf(const TCliOptions& Options);

// What the terminal shows of a link's reports, for every view of a board.
// The phase a stream belongs to ("write", "verify", "lock", "read",
// "checksum", "erase"), for the progress events of --json.
const char* StreamPhase(TStatus Status);
// A board's message as one printable line: control bytes and bytes above 7E
// shown as \xNN, since the board's unexpected byte may be any value.
std::string Printable(const std::string& Text);
// The warning for a write stream much slower than the wire, with its fix;
// nothing for one at the wire's pace.
std::optional<std::string> SlowWriteWarning(const TWriteTiming& Timing);
// The link's question whether to stop, answered from Watch (none: never);
// an output that failed (OutputFailed) is recorded there as a stop, and in
// OutputLost.
bool StopAsked(TInterruptWatch* Watch, bool OutputFailed, bool& OutputLost);
// What a deferred stop is waiting for, and its "stopping" event.
std::string StoppingText(const TStopNotice& Notice, bool OutputLost);
TJsonLine StoppingEvent(const TStopNotice& Notice, bool OutputLost);

}  // namespace korvane::cli
