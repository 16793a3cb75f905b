// The adapter's latency timer and the driver's low-latency flag, on the
// systems where a program cannot reach them: on Windows the adapter's driver
// keeps its timer among the port's advanced properties, and a page reaches
// neither. Nothing is found and nothing is changed.
#include "UComBinding.h"

namespace korvane::binding {

void LowerLatencyTimer(const std::string&, const std::string&, const std::string&,
                       TAdapterLatency& Latency) {
  Latency = {};
}

void RestoreLatencyTimer(const TAdapterLatency&) {}

void SetLowLatency(TComHandle, TSerialFlags& Flags) {
  Flags = {};
}

void RestoreSerialFlags(TComHandle, const TSerialFlags&) {}

}  // namespace korvane::binding
