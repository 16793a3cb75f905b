// The virtual board inside the page: the board model of sim/ (its firmware
// and the chip in its socket) as a device of the page's serial binding, so
// that the whole flow can be tried with nothing attached.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "UBoardFirmware.h"
#include "UBoardLine.h"
#include "UBoardSimOptions.h"
#include "UBoardState.h"
#include "UInPagePort.h"

namespace korvane {

// The name the port list gives it.
inline constexpr const char* VirtualBoardName = "Virtual board";

class TVirtualBoard final : public binding::TInPageDevice, private sim::IBoardLine {
 public:
  // A board with a blank chip of the kind Options.Chip in its socket.
  explicit TVirtualBoard(const sim::TBoardSimOptions& Options);

  // --- The device -----------------------------------------------------------
  void Receive(uint8_t Byte) override;
  int32_t Take(uint8_t* Buffer, int32_t Count) override;
  int32_t Ready() const override;
  double ReadyInMs() const override;
  void Discard() override { FOutput.clear(); }
  bool HungUp() const override { return FHungUp; }

  // What the chip holds.
  const sim::TChipModel& Chip() const { return FState.Chip; }

 private:
  // --- The firmware's line --------------------------------------------------
  bool Send(std::string_view Bytes) override;
  // What the board sends next is seen by the host only once it has taken
  // what was sent before, as over a wire.
  void AwaitTaken() override;
  void Busy(int Ms) override;
  void HangUp() override { FHungUp = true; }
  void Note(std::string_view) override {}

  sim::TBoardSimOptions FOptions;
  sim::TBoardState FState;
  sim::TBoardFirmware FFirmware;
  // What the board sent and the host has not taken, one piece per
  // AwaitTaken; the host sees the first piece only.
  std::deque<std::string> FOutput;
  // What the board sends is held back until its simulated work is done.
  double FBusyUntil = 0;
  bool FHungUp = false;
};

}  // namespace korvane
