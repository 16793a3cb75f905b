// What the virtual board holds and has counted. The board's thread changes it;
// a test's thread reads it while the board serves, so every access from
// another thread, and every change, goes through Lock.
#pragma once

#include <mutex>
#include <string>

#include "UBoardSimCounters.h"
#include "UBoardSimOptions.h"
#include "UChipModel.h"

namespace korvane::sim {

struct TBoardState {
  explicit TBoardState(const TBoardSimOptions& Options) : Chip(Options) {}

  mutable std::mutex Lock;
  TChipModel Chip;
  TBoardSimCounters Counters;
  std::string Received;
};

}  // namespace korvane::sim
