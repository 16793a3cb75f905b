// korvane-cli doctor: a check-up of the ports, the adapters, the programs
// that take serial adapters away and the board's pace, ending in a list of
// problems, each with its fix.
#pragma once

#include <ostream>
#include <string>

#include "UCliOptions.h"
#include "UInterrupt.h"
#include "UPortList.h"

namespace korvane::cli {

struct TDoctorResult {
  int Problems = 0;
  // A stop request ended the check-up early; what was found until then is
  // printed.
  bool Interrupted = false;
};

// Checks every port Ports lists and the board on them and prints the
// findings on Out, each part flushed as it ends, so that an end by a signal
// loses none of it. Watch (may be nullptr) guards every port the check-up
// opens: a stop gives it back with its latency timer and ends the check-up
// at the next part, or at once while the board is being looked for.
// Where the ports' facts are: the sysfs root and the ports' notes (see
// TComPort::SetStateDir).
struct TDoctorPlaces {
  std::string SysfsRoot;
  std::string StateDir;
};

TDoctorResult RunDoctor(const TCliOptions& Options, TPortListSource Ports,
                        const TDoctorPlaces& Places, std::ostream& Out,
                        TInterruptWatch* Watch = nullptr);

}  // namespace korvane::cli
