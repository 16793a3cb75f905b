// The programmer's construction and the bookkeeping the operations share.
#include "UProgrammer.h"

namespace korvane {

TProgrammer::TProgrammer(TPortListSource Ports) : FPortListSource(std::move(Ports)) {
  AssignBoardSettings(ComPort);
}

TProgrammer::~TProgrammer() = default;

void TProgrammer::ApplyMemorySizeChoice() {
  FSourceImage.SetSize(CodeMemorySize());
  FChipImage.SetSize(FSourceImage.Size());
}

void TProgrammer::Report(TStatus Status, unsigned Number) {
  FStatus = Status;
  SetStatus(StatusText(Status, Number, ComPort.Port()));
}

bool TProgrammer::Record(TStep Step, bool Result) {
  FOutcome = {Step, Result};
  return Result;
}

}  // namespace korvane
