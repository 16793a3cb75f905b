#include "UChipProgress.h"

namespace korvane {

TChipStage ChipStage(const TChipProgress& Progress, bool LockAsked) {
  if (!Progress.EraseStarted) {
    return TChipStage::csUntouched;
  }
  if (!Progress.Erased) {
    return TChipStage::csEraseUnfinished;
  }
  if (Progress.Count == 0) {
    return TChipStage::csErased;
  }
  if (Progress.Written < Progress.Count) {
    return TChipStage::csPartlyWritten;
  }
  if (!Progress.Verified) {
    return TChipStage::csWritten;
  }
  return LockAsked && !Progress.Locked ? TChipStage::csVerified : TChipStage::csDone;
}

std::string ChipProgressText(const TChipProgress& Progress, bool LockAsked) {
  const std::string Count = std::to_string(Progress.Count);
  switch (ChipStage(Progress, LockAsked)) {
    case TChipStage::csUntouched:
      return "the chip was not touched";
    case TChipStage::csEraseUnfinished:
      return "the erase did not finish; nothing was written";
    case TChipStage::csErased:
      return "the chip is erased; nothing was written";
    case TChipStage::csPartlyWritten:
    case TChipStage::csWritten:
      return "written " + std::to_string(Progress.Written) + " of " + Count +
             " bytes; the chip is not verified";
    case TChipStage::csVerified:
      return "written and verified " + Count + " bytes; the chip is not locked";
    case TChipStage::csDone:
      break;
  }
  return "written and verified " + Count + " bytes" + (Progress.Locked ? ", locked" : "");
}

namespace {

// What the chip holds, as the first sentence of the advice.
std::string ChipState(const TChipProgress& Progress) {
  const std::string Count = std::to_string(Progress.Count);
  // A board lost after the verification was lost while locking: the lock
  // bits may or may not be set, whatever the run asked for.
  switch (ChipStage(Progress, true)) {
    case TChipStage::csUntouched:
      return "The chip is unchanged.";
    case TChipStage::csEraseUnfinished:
      return "The chip may be partly erased.";
    case TChipStage::csErased:
      return "The chip is erased; nothing is written yet.";
    case TChipStage::csPartlyWritten:
      return "The chip is partly written (" + std::to_string(Progress.Written) + " of " + Count +
             " bytes).";
    case TChipStage::csWritten:
      return "The chip is written (" + Count + " bytes) but not verified.";
    case TChipStage::csVerified:
    case TChipStage::csDone:
      break;
  }
  return "The chip is written and verified (" + Count + " bytes); the lock did not finish.";
}

}  // namespace

std::string LostBoardAdvice(const TChipProgress& Progress, std::string_view Action) {
  return ChipState(Progress) + " Reconnect the board and " + std::string(Action) + ".";
}

}  // namespace korvane
