// program --repeat: chip after chip on one board, each swap seen by the
// poll, each chip recorded, each with its own serial number.
#pragma once

#include <ostream>

#include "UCliOptions.h"
#include "UCliProgrammer.h"
#include "UInterrupt.h"
#include "UJsonLine.h"

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
};

// Programs the chip in the socket and, with Options.Repeat, every chip put
// in after it, until the user stops or the board is gone. Programmer has
// found the board; Watch (may be nullptr) defers stops for the whole run.
// Raises EHexFile or EInOutError for the file, the log or the serial file.
TProductionSummary RunProduction(const TCliOptions& Options, TCliProgrammer& Programmer,
                                 TInterruptWatch* Watch, std::ostream& Out, std::ostream& Err);

// Checks, before any port is opened, that the file's bytes where the serial
// number goes are FF, and reads the first number (the serial file, created
// with the start when missing). Raises EHexFile or EInOutError.
void CheckSerialPlace(const TCliOptions& Options, const THexFile& Image);

}  // namespace korvane::cli
