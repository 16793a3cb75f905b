// What the virtual board has counted, for the wire model: a run's wire time is
// (BytesFromHost + BytesToHost) byte times plus EraseMsSpent.
#pragma once

#include <cstdint>

namespace korvane::sim {

struct TBoardSimCounters {
  uint64_t BytesFromHost = 0;
  uint64_t BytesToHost = 0;
  uint64_t EraseCount = 0;
  // Simulated erase time spent, in milliseconds.
  uint64_t EraseMsSpent = 0;
};

}  // namespace korvane::sim
