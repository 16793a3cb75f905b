// program --repeat: chip after chip on a board, each swap seen by the
// poll, each chip recorded, each with its own serial number. Several boards
// each run this from a thread of their own, sharing the files.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "UBoardLink.h"
#include "UChipProgress.h"
#include "UCliOptions.h"
#include "UEnterLines.h"
#include "UInterrupt.h"
#include "UProductionLog.h"
#include "UProductionView.h"
#include "USerialCounter.h"
#include "UWorkflows.h"

namespace korvane::cli {

struct TProductionSummary {
  int Programmed = 0;
  int Failed = 0;
  int Skipped = 0;
  // The run ended because the board was gone, or the user stopped it.
  bool BoardGone = false;
  bool Interrupted = false;
  // The stop came while a chip was being programmed (else between chips).
  bool StoppedMidChip = false;
  // A second stop took the port away mid-chip: the board is left in its
  // stream and needs a reset.
  bool Abandoned = false;
  // The standard input ended where the run waited for Enter (89C2051/4051).
  bool InputEnded = false;
  // The port failed while a chip was being programmed: its words.
  std::string PortError;
  // The run stopped on a file it could not use (the log, the serial file,
  // FILE for this chip): the error, naming the file.
  std::string FileError;
};

// What a production run reads and checks before any port is opened. FILE is
// read once: every chip gets the image of these bytes, whatever happens to
// the file during the run. The boards of a run share them.
struct TProductionFiles {
  std::string FileBytes;
  std::string FileSha256;
  std::optional<TSerialCounter> Serial;
  std::optional<TProductionLog> Log;
  // Held by the board that takes or gives back a number or appends a record.
  std::mutex Guard;
};

// Reads FILE into Files and checks it as programming would (and lockable
// with --lock, FF where the serial number goes). Raises EHexFile or
// EInOutError.
void PrepareProduction(const TCliOptions& Options, TProductionFiles& Files);
// Reads the first serial number and checks that the serial file and the log
// can be written. Raises EHexFile or EInOutError naming their own files.
void OpenProductionRecords(const TCliOptions& Options, TProductionFiles& Files);

// One board of a production run: its link, which has found the board and
// its chip, and where its chips are shown.
struct TProductionBoard {
  TBoardLink& Link;
  TProductionView& View;
  // Where the 89C2051/4051 boards hear that their next chip is in.
  TEnterLines& Enter;
  // The board's number in a run of several (in its records); 0 when it is
  // the only one.
  int Number = 0;
};

// Programs the chip in the socket and, with Options.Repeat, every chip put
// in after it, until the user stops, the input ends, the board is gone or a
// file fails; every chip started gets its line and its record, and how the
// run ended is in the summary. Watch (may be nullptr) defers stops for the
// whole run.
TProductionSummary RunProduction(const TCliOptions& Options, TProductionFiles& Files,
                                 const TProductionBoard& Board, TInterruptWatch* Watch);

}  // namespace korvane::cli
