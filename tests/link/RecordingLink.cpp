#include "RecordingLink.h"

namespace korvane::test {

TRecordingLink::TRecordingLink() : Link(FixedPortList({})) {
  Link.SetObserver(this);
}

void TRecordingLink::ClearRecord() {
  Statuses.clear();
  Messages.clear();
  ProgressUpdates = 0;
}

void TRecordingLink::ProgramChip(const std::string& FileName, const TWorkflowOptions& Chosen,
                                 TImageFormat Format) {
  const uint16_t Size = ChipMemorySize(Link.TargetChip(), Chosen.MemorySize);
  Result = korvane::ProgramChip(Link, {Chosen, LoadProgramFile(FileName, Size, Format)});
}

void TRecordingLink::ReadToFile(const std::string& FileName, const TWorkflowOptions& Chosen,
                                TImageFormat Format) {
  Result = korvane::ReadToFile(Link, Chosen, FileName, Format);
}

void TRecordingLink::StatusChanged(TStatus /*Status*/, const std::string& Text) {
  Statuses.push_back(Text);
  FStopAsked = FStopAsked || (StopAtStatus && *StopAtStatus == Text);
}

bool TRecordingLink::StopRequested() {
  return FStopAsked || (StopAtStatus && StopAtStatus->empty());
}

void TRecordingLink::ProgressRangeChanged(int Min, int Max) {
  ProgressMin = Min;
  ProgressMax = Max;
}

void TRecordingLink::ProgressMoved(int Position) {
  ProgressPosition = Position;
  ++ProgressUpdates;
  FStopAsked = FStopAsked || (StopAtProgress >= 0 && Position >= StopAtProgress);
}

}  // namespace korvane::test
