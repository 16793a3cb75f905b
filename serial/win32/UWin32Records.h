// The port's plain records as the Win32 communications structures, and the
// error number of a failed Win32 call.
#pragma once

#include <windows.h>

#include "UComPort.h"

namespace korvane::binding {

// The device-control block for a line-settings record, member for member.
DCB ToDcb(const TLineSettings& Settings);
// The time-out record as COMMTIMEOUTS, member for member.
COMMTIMEOUTS ToCommTimeouts(const TTimeoutRecord& Timeouts);

inline HANDLE ToHandle(TComHandle Handle) {
  return reinterpret_cast<HANDLE>(Handle);
}

// GetLastError() after a call that reported failure. A failure that leaves
// the error number at 0 still has to read as one, so it is given the
// generic "device not functioning" number instead.
int FailedCallError();

}  // namespace korvane::binding
