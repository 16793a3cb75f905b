// korvane-cli info: what a file holds and what programming it takes, without
// a board.
#pragma once

#include <ostream>

#include "UCliOptions.h"

namespace korvane::cli {

// Loads Options.FileName as programming would (into an image of
// Options.ImageSize bytes, or of 65535 when no chip or size was given) and
// prints its used ranges, its count, the checksum the board would answer for
// that count, the chip kinds it fits and the time programming takes at 9600
// baud. Raises what the loader raises.
void PrintFileInfo(const TCliOptions& Options, std::ostream& Out);

}  // namespace korvane::cli
