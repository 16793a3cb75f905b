// A board link whose observer records everything the operations report, with
// the workflows' options as plain fields and the workflows at hand.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "UBoardLink.h"
#include "UWorkflows.h"

namespace korvane::test {

class TRecordingLink final : public TLinkObserver {
 public:
  // Scans no port until UsePorts names some.
  TRecordingLink();
  // The ports every later poll scans.
  void UsePorts(std::vector<std::string> Names) {
    Link.SetPortListSource(FixedPortList(std::move(Names)));
  }

  // The options the workflows read.
  bool FastVerify = false;
  bool Lock = false;
  uint16_t MemorySize = ChosenMemorySizeDefault;
  TWorkflowOptions Options() const { return {Lock, FastVerify, MemorySize}; }
  // The user asks to stop once this status text is set ("" asks from the
  // start), or once the progress reaches StopAtProgress; neither by default.
  std::optional<std::string> StopAtStatus;
  int StopAtProgress = -1;

  // Every status text, in order.
  std::vector<std::string> Statuses;
  // Every message of the board, in order.
  std::vector<std::string> Messages;
  int ProgressMin = 0;
  int ProgressMax = 100;
  int ProgressPosition = 0;
  int ProgressUpdates = 0;
  // The result of the last workflow run here.
  TWorkflowResult Result;

  // The status line as it stands ("" before any status).
  std::string Status() const { return Statuses.empty() ? std::string() : Statuses.back(); }
  // Forgets everything recorded so far.
  void ClearRecord();

  // The workflows on a file, as the window runs them: loaded at the chip's
  // size, then programmed or saved.
  void ProgramChip(const std::string& FileName, const TWorkflowOptions& Chosen,
                   TImageFormat Format = TImageFormat::Hex);
  void ReadToFile(const std::string& FileName, const TWorkflowOptions& Chosen,
                  TImageFormat Format = TImageFormat::Hex);

  TBoardLink Link;

 private:
  void StatusChanged(TStatus Status, const std::string& Text) override;
  void ProgressRangeChanged(int Min, int Max) override;
  void ProgressMoved(int Position) override;
  void BoardMessage(const std::string& Text) override { Messages.push_back(Text); }
  bool StopRequested() override;

  bool FStopAsked = false;
};

}  // namespace korvane::test
