// The programmer's construction and the bookkeeping the operations share.
#include "UProgrammer.h"

#include <string>

namespace korvane {

TProgrammer::TProgrammer(TPortListSource Ports) : FPortListSource(std::move(Ports)) {
  AssignBoardSettings(ComPort);
}

TProgrammer::~TProgrammer() = default;

void TProgrammer::ApplyMemorySizeChoice(uint16_t Size) {
  FMemorySize = Size;
  if (ChipSizeIsChosen(FTargetChip)) {
    FSourceImage.SetSize(Size);
    FChipImage.SetSize(FSourceImage.Size());
  }
}

void TProgrammer::Report(TStatus Status, unsigned Number) {
  FStatus = Status;
  SetStatus(StatusText(Status, Number, ComPort.Port()));
}

bool TProgrammer::Record(TStep Step, bool Result) {
  FOutcome = {Step, Result};
  return Result;
}

void TProgrammer::StopPoint(TStep Step) {
  if (StopRequested()) {
    FOutcome = {Step, false, true};
    throw TStopped{};
  }
}

std::string ChipProgressText(const TChipProgress& Progress, bool LockChosen) {
  const std::string Count = std::to_string(Progress.Count);
  if (!Progress.EraseStarted) {
    return "the chip was not touched";
  }
  if (!Progress.Erased) {
    return "the erase did not finish; nothing was written";
  }
  if (Progress.Count == 0) {
    return "the chip is erased; nothing was written";
  }
  if (!Progress.Verified) {
    return "written " + std::to_string(Progress.Written) + " of " + Count +
           " bytes; the chip is not verified";
  }
  if (LockChosen && !Progress.Locked) {
    return "written and verified " + Count + " bytes; the chip is not locked";
  }
  return "written and verified " + Count + " bytes" + (Progress.Locked ? ", locked" : "");
}

}  // namespace korvane
