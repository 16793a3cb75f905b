// The link's construction and the bookkeeping the operations share.
#include "UBoardLink.h"

#include <string>
#include <utility>

namespace korvane {

TBoardLink::TBoardLink(TPortListSource Ports, TBoardLine* Line)
    : FLine(Line), FPortListSource(std::move(Ports)) {
  AssignBoardSettings(FComPort);
  if (FLine == nullptr) {
    FOwnLine = std::make_unique<TComPortLine>(FComPort);
    FLine = FOwnLine.get();
  }
}

TBoardLink::~TBoardLink() = default;

void TBoardLink::ApplyMemorySizeChoice(uint16_t Size) {
  FMemorySize = Size;
  if (ChipSizeIsChosen(FTargetChip)) {
    FSourceImage.SetSize(Size);
    FChipImage.SetSize(FSourceImage.Size());
  }
}

void TBoardLink::Report(TStatus Status, unsigned Number) {
  FStatus = Status;
  if (FObserver != nullptr) {
    FObserver->StatusChanged(Status, StatusText(Status, Number, FLine->Port()));
  }
}

bool TBoardLink::Record(TStep Step, bool Result) {
  FOutcome = {Step, Result};
  return Result;
}

void TBoardLink::StopPoint(TStep Step) {
  if (StopRequested()) {
    FOutcome = {Step, false, true};
    throw TStopped{};
  }
}

void TBoardLink::ClearRecord() {
  FOutcome = {};
  FProgress = {};
  FDifference.reset();
}

void TBoardLink::SetProgressRange(int Min, int Max) {
  if (FObserver != nullptr) {
    FObserver->ProgressRangeChanged(Min, Max);
  }
}

void TBoardLink::MoveProgress(int Position) {
  if (FObserver != nullptr) {
    FObserver->ProgressMoved(Position);
  }
}

}  // namespace korvane
