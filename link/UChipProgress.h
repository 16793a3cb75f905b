// Where a programming run left the chip, in words: a clause for the summary
// of a run that was stopped, and two sentences for a board lost in the
// middle of a run, with what to do about it. Both word one reading of the
// run's record (TChipStage), so that they cannot disagree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ULinkRecords.h"

namespace korvane {

// How far a programming run got with the chip.
enum class TChipStage : uint8_t {
  csUntouched,        // no erase was started
  csEraseUnfinished,  // the erase was started and did not finish
  csErased,           // erased, and nothing to write
  csPartlyWritten,    // some of the bytes to write are written
  csWritten,          // every byte written, not verified
  csVerified,         // written and verified; the lock, if asked, not done
  csDone,             // written, verified, and locked when asked
};

// The stage Progress records; LockAsked says whether the run was to lock.
TChipStage ChipStage(const TChipProgress& Progress, bool LockAsked);

// One clause: "written 600 of 6300 bytes; the chip is not verified".
std::string ChipProgressText(const TChipProgress& Progress, bool LockAsked);

// Two sentences from the run's record, e.g. "The chip is partly written (1500
// of 5572 bytes). Reconnect the board and press Send again." Action is the
// front's way of running again: "press Send again", "run the command again".
std::string LostBoardAdvice(const TChipProgress& Progress, std::string_view Action);

}  // namespace korvane
