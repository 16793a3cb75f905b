// program --repeat: chip after chip on one board, each swap seen by the
// poll, each chip recorded, each with its own serial number.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "UChipProgress.h"
#include "UCliBoard.h"
#include "UCliOptions.h"
#include "UInterrupt.h"
#include "UJsonLine.h"
#include "UProductionLog.h"
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
// the file during the run.
struct TProductionFiles {
  std::string FileBytes;
  std::string FileSha256;
  std::optional<TSerialCounter> Serial;
  std::optional<TProductionLog> Log;
};

// Reads FILE and checks it as programming would (and lockable with --lock,
// FF where the serial number goes). Raises EHexFile or EInOutError.
TProductionFiles PrepareProduction(const TCliOptions& Options);
// Reads the first serial number and checks that the serial file and the log
// can be written. Raises EHexFile or EInOutError naming their own files.
void OpenProductionRecords(const TCliOptions& Options, TProductionFiles& Files);

// Programs the chip in the socket and, with Options.Repeat, every chip put
// in after it, until the user stops, the input ends, the board is gone or a
// file fails; every chip started gets its line and its record, and how the
// run ended is in the summary. Board has found the board; Watch (may be
// nullptr) defers stops for the whole run.
TProductionSummary RunProduction(const TCliOptions& Options, TProductionFiles& Files,
                                 TCliBoard& Board, TInterruptWatch* Watch, std::ostream& Out,
                                 std::ostream& Err);

}  // namespace korvane::cli
