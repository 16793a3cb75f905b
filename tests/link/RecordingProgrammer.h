// A programmer whose view records everything the operations report, with
// the workflows' options as plain fields.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "UProgrammer.h"

namespace korvane::test {

class TRecordingProgrammer : public TProgrammer {
 public:
  // Scans no port until UsePorts names some.
  TRecordingProgrammer();
  // The ports every later poll scans.
  void UsePorts(std::vector<std::string> Names) {
    SetPortListSource(FixedPortList(std::move(Names)));
  }

  // The options the workflows read.
  bool FastVerify = false;
  bool Lock = false;
  uint16_t MemorySize = 2048;
  TWorkflowOptions Options() const { return {Lock, FastVerify, MemorySize}; }
  // The user asks to stop once this status text is set ("" asks from the
  // start), or once the progress reaches StopAtProgress; neither by default.
  std::optional<std::string> StopAtStatus;
  int StopAtProgress = -1;

  // Every status text, in order.
  std::vector<std::string> Statuses;
  // Every message box text, in order.
  std::vector<std::string> Messages;
  // Timer, cursor and chip-change calls, in order: "StopPollTimer",
  // "StartPollTimer", "ShowWaitCursor", "RestoreCursor", "TargetChipChanged".
  std::vector<std::string> Events;
  int StatusRepaints = 0;
  int WindowRepaints = 0;
  int ProgressMin = 0;
  int ProgressMax = 100;
  int ProgressPosition = 0;
  int ProgressUpdates = 0;

  // The status line as it stands ("" before any status).
  std::string Status() const { return Statuses.empty() ? std::string() : Statuses.back(); }
  // Forgets everything recorded so far.
  void ClearRecord();
  // How often Event occurs in Events.
  int CountEvents(const std::string& Event) const;

  using TProgrammer::FChipImage;
  using TProgrammer::FSourceImage;
  using TProgrammer::FTargetChip;

 protected:
  void SetStatus(const std::string& Text) override;
  void RepaintStatus() override { ++StatusRepaints; }
  void RepaintWindow() override { ++WindowRepaints; }
  void SetProgressRange(int Min, int Max) override;
  void SetProgressPosition(int Position) override;
  void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
  void StopPollTimer() override { Events.push_back("StopPollTimer"); }
  void StartPollTimer() override { Events.push_back("StartPollTimer"); }
  void ShowWaitCursor() override { Events.push_back("ShowWaitCursor"); }
  void RestoreCursor() override { Events.push_back("RestoreCursor"); }
  void TargetChipChanged() override { Events.push_back("TargetChipChanged"); }
  bool StopRequested() const override;

 private:
  bool FStopAsked = false;
};

}  // namespace korvane::test
