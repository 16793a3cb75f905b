// What to tell the user when the board is lost in the middle of a
// programming run: what the chip holds now, and what to do about it. The
// window and the command line say the same, each with its own way of
// starting the run again.
#pragma once

#include <string>
#include <string_view>

#include "UProgrammer.h"

namespace korvane {

// Two sentences from the run's record, e.g. "The chip is partly written (1500
// of 5572 bytes). Reconnect the board and press Send again." Action is the
// front's way of running again: "press Send again", "run the command again".
std::string LostBoardAdvice(const TChipProgress& Progress, std::string_view Action);

}  // namespace korvane
