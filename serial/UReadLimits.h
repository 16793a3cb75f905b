// The time-out rule of a read, as the bindings that wait for bytes
// themselves (POSIX, the page) apply it: when a read of Count bytes ends.
#pragma once

#include <cstdint>
#include <optional>

#include "UComRecords.h"

namespace korvane {

struct TReadLimits {
  // Ends with the first bytes that come (after waiting up to TotalMs for
  // them), however few.
  bool FirstByteOnly = false;
  // The limit of the whole read in ms from its start (0: what is waiting
  // now); none: no total limit.
  std::optional<uint64_t> TotalMs;
  // The limit between two bytes once the first has come; none: no limit.
  std::optional<uint32_t> GapMs;
};

// A read of Count bytes ends when they have all come, after
// ReadTotalTimeoutMultiplier * Count + ReadTotalTimeoutConstant ms (both 0:
// no total limit), or when ReadIntervalTimeout ms pass between two bytes (0
// or all ones: no interval limit). All ones for the interval with both
// totals 0 returns at once with what is waiting; all ones for the interval
// and the multiplier with a constant waits up to the constant for the first
// byte and returns with what has come then.
TReadLimits ReadLimits(const TTimeoutRecord& Timeouts, int32_t Count);

}  // namespace korvane
