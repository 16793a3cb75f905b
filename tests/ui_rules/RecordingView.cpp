#include "RecordingView.h"

namespace korvane::test {

void TRecordingView::SetChipLabel(const std::string& Name, const std::string& ToolTip) {
  ChipLabel = Name;
  ChipToolTip = ToolTip;
}

void TRecordingView::SetStatusLine(const std::string& Text) {
  Statuses.push_back(Text);
  StatusLine = Text;
}

void TRecordingView::SetProgressPosition(int Position) {
  ProgressPosition = Position;
  if (OnProgressPosition) {
    OnProgressPosition(Position);
  }
}

std::string TRecordingView::AskOpenFileName(const std::string& StartFolder) {
  StartFolders.push_back(StartFolder);
  return OnAskFileName();
}

std::string TRecordingView::AskSaveFileName(const std::string& StartFolder) {
  StartFolders.push_back(StartFolder);
  return OnAskFileName();
}

void TRecordingView::ShowError(const std::string& Text) {
  Errors.push_back(Text);
  if (WhileErrorShown) {
    WhileErrorShown();
  }
}

}  // namespace korvane::test
