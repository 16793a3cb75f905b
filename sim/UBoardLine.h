// The firmware's side of the line: what the board's firmware may ask of the
// wire it talks on, whatever carries, paces and records it.
#pragma once

#include <string_view>

namespace korvane::sim {

class IBoardLine {
 public:
  virtual ~IBoardLine() = default;
  // Sends Bytes to the host in order; false once the line is gone.
  virtual bool Send(std::string_view Bytes) = 0;
  // Returns once the host has taken everything sent so far from its input
  // (bounded, so that a host that stopped reading cannot hold the board).
  virtual void AwaitTaken() = 0;
  // The board is busy for Ms milliseconds of simulated work.
  virtual void Busy(int Ms) = 0;
  // Closes the board's side: the host sees a hang-up.
  virtual void HangUp() = 0;
  // A line of commentary for the transcript (faults, refused bytes).
  virtual void Note(std::string_view Text) = 0;
};

}  // namespace korvane::sim
