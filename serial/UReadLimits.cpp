#include "UReadLimits.h"

namespace korvane {

namespace {

constexpr uint32_t NoLimit = 0xFFFFFFFF;

}  // namespace

TReadLimits ReadLimits(const TTimeoutRecord& Timeouts, int32_t Count) {
  const uint32_t Interval = Timeouts.ReadIntervalTimeout;
  const uint32_t Multiplier = Timeouts.ReadTotalTimeoutMultiplier;
  const uint32_t Constant = Timeouts.ReadTotalTimeoutConstant;
  TReadLimits Limits;
  Limits.FirstByteOnly =
      Interval == NoLimit && Multiplier == NoLimit && Constant != 0 && Constant != NoLimit;
  if (Interval == NoLimit && Multiplier == 0 && Constant == 0) {
    Limits.TotalMs = 0;
  } else if (Limits.FirstByteOnly) {
    Limits.TotalMs = Constant;
  } else if (Multiplier != 0 || Constant != 0) {
    Limits.TotalMs = uint64_t{Multiplier} * static_cast<uint64_t>(Count > 0 ? Count : 0) + Constant;
  }
  if (Interval != 0 && Interval != NoLimit) {
    Limits.GapMs = Interval;
  }
  return Limits;
}

}  // namespace korvane
