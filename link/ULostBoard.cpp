#include "ULostBoard.h"

namespace korvane {

namespace {

// What the chip holds, as the first sentence.
std::string ChipState(const TChipProgress& Progress) {
  const std::string Count = std::to_string(Progress.Count);
  if (!Progress.EraseStarted) {
    return "The chip is unchanged.";
  }
  if (!Progress.Erased) {
    return "The chip may be partly erased.";
  }
  if (Progress.Count == 0) {
    return "The chip is erased; nothing is written yet.";
  }
  if (Progress.Written < Progress.Count) {
    return "The chip is partly written (" + std::to_string(Progress.Written) + " of " + Count +
           " bytes).";
  }
  if (!Progress.Verified) {
    return "The chip is written (" + Count + " bytes) but not verified.";
  }
  // Lost while locking: the lock bits may or may not be set.
  return "The chip is written and verified (" + Count + " bytes); the lock did not finish.";
}

}  // namespace

std::string LostBoardAdvice(const TChipProgress& Progress, std::string_view Action) {
  return ChipState(Progress) + " Reconnect the board and " + std::string(Action) + ".";
}

}  // namespace korvane
