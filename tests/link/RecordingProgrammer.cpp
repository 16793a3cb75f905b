#include "RecordingProgrammer.h"

#include <algorithm>

namespace korvane::test {

TRecordingProgrammer::TRecordingProgrammer() : TProgrammer(FixedPortList({})) {}

void TRecordingProgrammer::ClearRecord() {
  Statuses.clear();
  Messages.clear();
  Events.clear();
  StatusRepaints = 0;
  WindowRepaints = 0;
  ProgressUpdates = 0;
}

int TRecordingProgrammer::CountEvents(const std::string& Event) const {
  return static_cast<int>(std::count(Events.begin(), Events.end(), Event));
}

void TRecordingProgrammer::SetStatus(const std::string& Text) {
  Statuses.push_back(Text);
  FStopAsked = FStopAsked || (StopAtStatus && *StopAtStatus == Text);
}

bool TRecordingProgrammer::StopRequested() const {
  return FStopAsked || (StopAtStatus && StopAtStatus->empty());
}

void TRecordingProgrammer::SetProgressRange(int Min, int Max) {
  ProgressMin = Min;
  ProgressMax = Max;
}

void TRecordingProgrammer::SetProgressPosition(int Position) {
  ProgressPosition = Position;
  ++ProgressUpdates;
  FStopAsked = FStopAsked || (StopAtProgress >= 0 && Position >= StopAtProgress);
}

}  // namespace korvane::test
