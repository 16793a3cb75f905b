// The Win32 binding of the serial port: kernel32's communications calls on
// a device handle opened for overlapped transfers.
//
// Every function returns 0 or the GetLastError() of the call that failed.
// Three answers of wine's serial layer over a pseudo-terminal are taken
// into account without changing what happens on a real port:
// - GetCommModemStatus fails there as not supported (ERROR_NOT_SUPPORTED,
//   or with no error number at all); as for a Windows driver that refuses
//   the request, the device has no modem lines, which is no failure. Every
//   other error still fails the call.
// - A read that the time-outs end before any byte came completes there with
//   ERROR_TIMEOUT rather than with success and 0 bytes; either way it is a
//   time-out, not a failure.
// - WaitCommEvent is aborted at once there; the wait for input then falls
//   back to asking for the input count every millisecond.
#include <algorithm>
#include <cstring>
#include <string>

#include "UComBinding.h"
#include "UWin32Records.h"

namespace korvane::binding {

static_assert(sizeof(DCB) == 28, "the line-settings record is the 28-byte DCB");
static_assert(sizeof(TComHandle) == sizeof(HANDLE));

namespace {

// How often the input count is asked for when the device cannot signal the
// arrival of a byte.
constexpr DWORD PollIntervalMs = 1;

// A manual-reset event for one overlapped transfer, released on every path.
class TEvent {
 public:
  explicit TEvent(bool Signalled) : FEvent(CreateEventA(nullptr, TRUE, Signalled, nullptr)) {}
  ~TEvent() {
    if (FEvent != nullptr) {
      CloseHandle(FEvent);
    }
  }
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;
  HANDLE Get() const { return FEvent; }

 private:
  HANDLE FEvent;
};

int QueuedInput(HANDLE Device, DWORD& Queued) {
  DWORD Errors = 0;
  COMSTAT Status{};
  if (!ClearCommError(Device, &Errors, &Status)) {
    return FailedCallError();
  }
  Queued = Status.cbInQue;
  return 0;
}

// A driver without modem lines refuses the status request as one it does
// not support; wine's serial layer over a pseudo-terminal answers so, or
// fails without setting an error number at all.
bool NoModemLines(DWORD Error) {
  return Error == ERROR_SUCCESS || Error == ERROR_NOT_SUPPORTED || Error == ERROR_INVALID_FUNCTION;
}

enum class TEventWait { ewSignalled, ewTimedOut, ewUnsupported };

// Waits up to TimeoutMs for the device to report a received character.
// ewUnsupported: the device ended the wait at once without an event, as a
// driver that cannot wait for events does.
int WaitForRxEvent(HANDLE Device, DWORD TimeoutMs, TEventWait& Outcome) {
  TEvent Event(false);
  if (Event.Get() == nullptr) {
    return FailedCallError();
  }
  OVERLAPPED Pending{};
  Pending.hEvent = Event.Get();
  DWORD Mask = 0;
  if (WaitCommEvent(Device, &Mask, &Pending)) {
    Outcome = TEventWait::ewSignalled;
    return 0;
  }
  DWORD Error = GetLastError();
  if (Error == ERROR_INVALID_FUNCTION || Error == ERROR_NOT_SUPPORTED) {
    Outcome = TEventWait::ewUnsupported;
    return 0;
  }
  if (Error != ERROR_IO_PENDING) {
    return FailedCallError();
  }
  DWORD Waited = WaitForSingleObject(Event.Get(), TimeoutMs);
  if (Waited == WAIT_TIMEOUT) {
    // The record must outlive the request: cancel it and wait until the
    // driver has let go of it.
    CancelIoEx(Device, &Pending);
    DWORD Ignored = 0;
    GetOverlappedResult(Device, &Pending, &Ignored, TRUE);
    Outcome = TEventWait::ewTimedOut;
    return 0;
  }
  if (Waited != WAIT_OBJECT_0) {
    int Failure = FailedCallError();
    CancelIoEx(Device, &Pending);
    DWORD Ignored = 0;
    GetOverlappedResult(Device, &Pending, &Ignored, TRUE);
    return Failure;
  }
  DWORD Ignored = 0;
  if (GetOverlappedResult(Device, &Pending, &Ignored, FALSE)) {
    Outcome = TEventWait::ewSignalled;
    return 0;
  }
  // Nothing here cancels a wait that has not timed out, and nothing else
  // changes the event mask: an aborted wait means the device does not wait.
  if (GetLastError() == ERROR_OPERATION_ABORTED) {
    Outcome = TEventWait::ewUnsupported;
    return 0;
  }
  return FailedCallError();
}

}  // namespace

int FailedCallError() {
  DWORD Error = GetLastError();
  return Error != 0 ? static_cast<int>(Error) : ERROR_GEN_FAILURE;
}

DCB ToDcb(const TLineSettings& Settings) {
  DCB Block;
  std::memset(&Block, 0, sizeof Block);
  Block.DCBlength = Settings.DCBlength;
  Block.BaudRate = Settings.BaudRate;
  Block.fBinary = Settings.fBinary & 1u;
  Block.fParity = Settings.fParity & 1u;
  Block.fOutxCtsFlow = Settings.fOutxCtsFlow & 1u;
  Block.fOutxDsrFlow = Settings.fOutxDsrFlow & 1u;
  Block.fDtrControl = Settings.fDtrControl & 3u;
  Block.fDsrSensitivity = Settings.fDsrSensitivity & 1u;
  Block.fTXContinueOnXoff = Settings.fTXContinueOnXoff & 1u;
  Block.fOutX = Settings.fOutX & 1u;
  Block.fInX = Settings.fInX & 1u;
  Block.fErrorChar = Settings.fErrorChar & 1u;
  Block.fNull = Settings.fNull & 1u;
  Block.fRtsControl = Settings.fRtsControl & 3u;
  Block.fAbortOnError = Settings.fAbortOnError & 1u;
  Block.XonLim = Settings.XonLim;
  Block.XoffLim = Settings.XoffLim;
  Block.ByteSize = Settings.ByteSize;
  Block.Parity = Settings.Parity;
  Block.StopBits = Settings.StopBits;
  Block.XonChar = static_cast<char>(Settings.XonChar);
  Block.XoffChar = static_cast<char>(Settings.XoffChar);
  Block.ErrorChar = static_cast<char>(Settings.ErrorChar);
  Block.EofChar = static_cast<char>(Settings.EofChar);
  Block.EvtChar = static_cast<char>(Settings.EvtChar);
  return Block;
}

COMMTIMEOUTS ToCommTimeouts(const TTimeoutRecord& Timeouts) {
  COMMTIMEOUTS Record{};
  Record.ReadIntervalTimeout = Timeouts.ReadIntervalTimeout;
  Record.ReadTotalTimeoutMultiplier = Timeouts.ReadTotalTimeoutMultiplier;
  Record.ReadTotalTimeoutConstant = Timeouts.ReadTotalTimeoutConstant;
  Record.WriteTotalTimeoutMultiplier = Timeouts.WriteTotalTimeoutMultiplier;
  Record.WriteTotalTimeoutConstant = Timeouts.WriteTotalTimeoutConstant;
  return Record;
}

int OpenDevice(const std::string& Port, TComHandle& Handle) {
  const std::string Path = "\\\\.\\" + Port;
  HANDLE Device = CreateFileA(Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (Device == INVALID_HANDLE_VALUE) {
    return FailedCallError();
  }
  Handle = reinterpret_cast<TComHandle>(Device);
  return 0;
}

void CloseDevice(TComHandle Handle) {
  CloseHandle(ToHandle(Handle));
}

// The FTDI driver keeps its latency timer among the port's advanced
// properties, where no program can reach it.
void LowerLatencyTimer(const std::string&, const std::string&, const std::string&,
                       TAdapterLatency& Latency) {
  Latency = {};
}

void RestoreLatencyTimer(const TAdapterLatency&) {}

void SetLowLatency(TComHandle, TSerialFlags& Flags) {
  Flags = {};
}

void RestoreSerialFlags(TComHandle, const TSerialFlags&) {}

int SetupQueues(TComHandle Handle, int32_t InputSize, int32_t OutputSize) {
  if (!SetupComm(ToHandle(Handle), static_cast<DWORD>(InputSize), static_cast<DWORD>(OutputSize))) {
    return FailedCallError();
  }
  return 0;
}

int ApplyLineSettings(TComHandle Handle, const TLineSettings& Settings) {
  DCB Block = ToDcb(Settings);
  if (!SetCommState(ToHandle(Handle), &Block)) {
    return FailedCallError();
  }
  return 0;
}

int ApplyTimeouts(TComHandle Handle, const TTimeoutRecord& Timeouts) {
  COMMTIMEOUTS Record = ToCommTimeouts(Timeouts);
  if (!SetCommTimeouts(ToHandle(Handle), &Record)) {
    return FailedCallError();
  }
  return 0;
}

int ReadModemLine(TComHandle Handle, TModemLine Line, bool& Active) {
  Active = false;
  DWORD Status = 0;
  SetLastError(ERROR_SUCCESS);
  if (!GetCommModemStatus(ToHandle(Handle), &Status)) {
    DWORD Error = GetLastError();
    return NoModemLines(Error) ? 0 : static_cast<int>(Error);
  }
  switch (Line) {
    case TModemLine::mlCTS:
      Active = (Status & MS_CTS_ON) != 0;
      break;
    case TModemLine::mlDSR:
      Active = (Status & MS_DSR_ON) != 0;
      break;
    case TModemLine::mlRLSD:
      Active = (Status & MS_RLSD_ON) != 0;
      break;
  }
  return 0;
}

int AbortTransfers(TComHandle Handle) {
  if (!PurgeComm(ToHandle(Handle), PURGE_TXABORT | PURGE_RXABORT)) {
    return FailedCallError();
  }
  return 0;
}

int Purge(TComHandle Handle, bool Input, bool Output) {
  const DWORD Flags = (Input ? PURGE_RXCLEAR : 0u) | (Output ? PURGE_TXCLEAR : 0u);
  if (Flags == 0) {
    return 0;  // nothing asked for, nothing to discard
  }
  if (!PurgeComm(ToHandle(Handle), Flags)) {
    return FailedCallError();
  }
  return 0;
}

int InputCount(TComHandle Handle, int32_t& Count) {
  DWORD Queued = 0;
  if (int Error = QueuedInput(ToHandle(Handle), Queued); Error != 0) {
    return Error;
  }
  Count = static_cast<int32_t>(std::min<DWORD>(Queued, 0x7FFFFFFF));
  return 0;
}

// The time-outs were given to the driver when they were applied; the driver
// ends the read by them, so the wait for it needs no limit of its own.
int Read(TComHandle Handle, void* Buffer, int32_t Count, const TTimeoutRecord&,
         int32_t& Transferred) {
  Transferred = 0;
  HANDLE Device = ToHandle(Handle);
  TEvent Event(true);
  if (Event.Get() == nullptr) {
    return FailedCallError();
  }
  OVERLAPPED Pending{};
  Pending.hEvent = Event.Get();
  if (!ReadFile(Device, Buffer, static_cast<DWORD>(std::max(Count, 0)), nullptr, &Pending) &&
      GetLastError() != ERROR_IO_PENDING) {
    return FailedCallError();
  }
  if (WaitForSingleObject(Event.Get(), INFINITE) != WAIT_OBJECT_0) {
    int Failure = FailedCallError();
    CancelIoEx(Device, &Pending);
    DWORD Ignored = 0;
    GetOverlappedResult(Device, &Pending, &Ignored, TRUE);
    return Failure;
  }
  DWORD Got = 0;
  if (!GetOverlappedResult(Device, &Pending, &Got, FALSE)) {
    if (GetLastError() != ERROR_TIMEOUT) {
      return FailedCallError();
    }
    // Wine's report of a read the time-outs ended with nothing received.
  }
  Transferred = static_cast<int32_t>(std::min<DWORD>(Got, static_cast<DWORD>(std::max(Count, 0))));
  return 0;
}

// The driver puts the byte ahead of any queued output and does not wait for
// it to leave; a byte still waiting to go refuses the next one.
int SendChar(TComHandle Handle, uint8_t Ch, const TTimeoutRecord&) {
  if (!TransmitCommChar(ToHandle(Handle), static_cast<char>(Ch))) {
    return FailedCallError();
  }
  return 0;
}

// Waits for the received-character event. The mask is set before the input
// count is asked for, so a byte that arrives between the two still ends the
// wait at once. A device that cannot wait for events is asked for its input
// count every millisecond instead.
int WaitForInput(TComHandle Handle, int32_t TimeoutMs, bool& Ready) {
  Ready = false;
  HANDLE Device = ToHandle(Handle);
  if (!SetCommMask(Device, EV_RXCHAR)) {
    return FailedCallError();
  }
  const ULONGLONG Deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(TimeoutMs, 0));
  bool EventsWork = true;
  for (;;) {
    DWORD Queued = 0;
    if (int Error = QueuedInput(Device, Queued); Error != 0) {
      return Error;
    }
    if (Queued > 0) {
      Ready = true;
      return 0;
    }
    const ULONGLONG Now = GetTickCount64();
    if (Now >= Deadline) {
      return 0;
    }
    const DWORD Left = static_cast<DWORD>(std::min<ULONGLONG>(Deadline - Now, INFINITE - 1));
    if (EventsWork) {
      TEventWait Outcome = TEventWait::ewTimedOut;
      if (int Error = WaitForRxEvent(Device, Left, Outcome); Error != 0) {
        return Error;
      }
      EventsWork = Outcome != TEventWait::ewUnsupported;
    } else {
      Sleep(std::min(Left, PollIntervalMs));
    }
  }
}

}  // namespace korvane::binding
