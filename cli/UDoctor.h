// korvane-cli doctor: a check-up of the ports, the adapters, the programs
// that take serial adapters away and the board's pace, ending in a list of
// problems, each with its fix.
#pragma once

#include <ostream>
#include <string>

#include "UCliOptions.h"
#include "UPortList.h"

namespace korvane::cli {

// Checks every port Ports lists and the board on them, prints the findings
// on Out and returns the number of problems found.
int RunDoctor(const TCliOptions& Options, TPortListSource Ports, const std::string& SysfsRoot,
              std::ostream& Out);

}  // namespace korvane::cli
