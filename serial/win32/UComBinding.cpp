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
// - WaitCommEvent is aborted there (wine polls the line for events and gives
//   up when it cannot read the modem lines); the wait for input therefore
//   waits by reading one byte, which blocks in the driver everywhere.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "UComBinding.h"
#include "UWin32Records.h"

namespace korvane::binding {

static_assert(sizeof(DCB) == 28, "the line-settings record is the 28-byte DCB");
static_assert(sizeof(TComHandle) == sizeof(HANDLE));

namespace {

// How often the input count is asked for while the time-outs make every
// read return at once, so that no read can wait for a byte.
constexpr DWORD PollIntervalMs = 1;

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

// Whether the time-outs end every read at once with what is queued, so that
// a read cannot serve as a wait.
bool ReadsReturnAtOnce(const TTimeoutRecord& Timeouts) {
  return Timeouts.ReadIntervalTimeout == MAXDWORD && Timeouts.ReadTotalTimeoutMultiplier == 0 &&
         Timeouts.ReadTotalTimeoutConstant == 0;
}

// Ends a pending transfer before its record and buffer go out of scope:
// cancels it and waits until the driver has let go of them. Got is what it
// transferred before the cancel took hold.
void CancelTransfer(HANDLE Device, OVERLAPPED& Pending, DWORD& Got) {
  CancelIoEx(Device, &Pending);
  Got = 0;
  if (!GetOverlappedResult(Device, &Pending, &Got, TRUE)) {
    Got = 0;
  }
}

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

// Starts an overlapped read whose end Event signals. Each read has an event
// of its own. Waiting on the device's handle instead would save wine two of
// the eight requests to its server that a read costs, but would trust wine
// to leave that handle unsignalled for the whole read, while its own
// requests on the device (the time-outs it asks for) signal it too.
int StartRead(HANDLE Device, void* Buffer, DWORD Count, HANDLE Event, OVERLAPPED& Pending) {
  Pending = OVERLAPPED{};
  Pending.hEvent = Event;
  if (!ReadFile(Device, Buffer, Count, nullptr, &Pending) && GetLastError() != ERROR_IO_PENDING) {
    return FailedCallError();
  }
  return 0;
}

// The count of a read that has ended, or ends within the time-outs when
// Wait is set. A read that the time-outs ended with nothing is 0 bytes and
// no failure (wine reports it as ERROR_TIMEOUT).
int FinishRead(HANDLE Device, OVERLAPPED& Pending, bool Wait, DWORD& Got) {
  Got = 0;
  if (GetOverlappedResult(Device, &Pending, &Got, Wait ? TRUE : FALSE)) {
    return 0;
  }
  const DWORD Error = GetLastError();
  if (Error == ERROR_TIMEOUT) {
    Got = 0;
    return 0;
  }
  const int Failure = Error != 0 ? static_cast<int>(Error) : ERROR_GEN_FAILURE;
  if (!HasOverlappedIoCompleted(&Pending)) {
    // The wait failed, not the read: the record and buffer must outlive it.
    CancelTransfer(Device, Pending, Got);
  }
  return Failure;
}

// Reads at most one byte, waiting for it no longer than WaitMs or than the
// time-outs let the read run, whichever ends first. Got is 0 or 1.
int ReadOneWithin(HANDLE Device, DWORD WaitMs, uint8_t& Byte, DWORD& Got) {
  Got = 0;
  TEvent Event(false);
  if (Event.Get() == nullptr) {
    return FailedCallError();
  }
  OVERLAPPED Pending;
  if (int Error = StartRead(Device, &Byte, 1, Event.Get(), Pending); Error != 0) {
    return Error;
  }
  if (!HasOverlappedIoCompleted(&Pending)) {
    const DWORD Waited = WaitForSingleObject(Event.Get(), WaitMs);
    if (Waited == WAIT_TIMEOUT) {
      // A byte that came while the read was being cancelled is kept.
      CancelTransfer(Device, Pending, Got);
      return 0;
    }
    if (Waited != WAIT_OBJECT_0) {
      const int Failure = FailedCallError();
      CancelTransfer(Device, Pending, Got);
      return Failure;
    }
  }
  return FinishRead(Device, Pending, false, Got);
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

// CancelIoEx may be called from any thread; the handle is left open for its
// owner to close.
void CancelTransfers(TComHandle Handle) noexcept {
  CancelIoEx(ToHandle(Handle), nullptr);
}

int AbandonedError() noexcept {
  return ERROR_OPERATION_ABORTED;
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
  const DWORD Wanted = static_cast<DWORD>(std::max(Count, 0));
  TEvent Event(true);
  if (Event.Get() == nullptr) {
    return FailedCallError();
  }
  OVERLAPPED Pending;
  if (int Error = StartRead(Device, Buffer, Wanted, Event.Get(), Pending); Error != 0) {
    return Error;
  }
  DWORD Got = 0;
  if (int Error = FinishRead(Device, Pending, true, Got); Error != 0) {
    return Error;
  }
  Transferred = static_cast<int32_t>(std::min(Got, Wanted));
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

// Waits by reading: an overlapped read of one byte ends in the driver when a
// byte arrives or when the time-outs end it, and is cancelled when the
// caller's time runs out first. Event waits are not used: wine's serial layer
// aborts them over a pseudo-terminal, and a byte taken off the line by the
// read is handed back to the port instead. Only when the time-outs make reads
// return at once is the input count asked for every millisecond.
int WaitForInput(TComHandle Handle, int32_t TimeoutMs, const TTimeoutRecord& Timeouts, bool& Ready,
                 std::optional<uint8_t>& Taken) {
  Ready = false;
  HANDLE Device = ToHandle(Handle);
  const ULONGLONG Deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(TimeoutMs, 0));
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
    if (ReadsReturnAtOnce(Timeouts)) {
      Sleep(std::min(Left, PollIntervalMs));
      continue;
    }
    uint8_t Byte = 0;
    DWORD Got = 0;
    if (int Error = ReadOneWithin(Device, Left, Byte, Got); Error != 0) {
      return Error;
    }
    if (Got == 1) {
      Taken = Byte;
      Ready = true;
      return 0;
    }
  }
}

}  // namespace korvane::binding
