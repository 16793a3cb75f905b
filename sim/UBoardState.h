// What the virtual board holds and has counted. The board's thread changes it;
// a test's thread reads it while the board serves, so every access from
// another thread, and every change, goes through Lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "UBoardSimCounters.h"
#include "UBoardSimOptions.h"
#include "UChipModel.h"

namespace korvane::sim {

struct TBoardState {
  explicit TBoardState(const TBoardSimOptions& Options) : Chip(Options) {}

  mutable std::mutex Lock;
  // The chip in the socket, or its absence.
  TChipModel Chip;
  // The byte counter. It is the board's, not the chip's: a chip put into the
  // socket finds it as the one before left it.
  uint32_t Counter = 0;
  TBoardSimCounters Counters;
  std::string Received;
};

}  // namespace korvane::sim
