#include "UComPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>

#include "UComBinding.h"

namespace korvane {

namespace {

std::string FormatMessage(int32_t MessageCode, int32_t PlatformError) {
  return EComPort::MessageText(MessageCode) + binding::PlatformErrorSuffix(PlatformError);
}

void Check(int Error, TComMessageCode Code) {
  if (Error != 0) {
    throw EComPort(Code, Error);
  }
}

// The longest single wait in the device: a port abandoned from another
// thread is noticed within it where the platform cannot end a wait from
// outside.
constexpr int32_t WaitSliceMs = 200;

static_assert(std::atomic<int32_t>::is_always_lock_free);

uint8_t Flag(bool Value) {
  return Value ? 1 : 0;
}

// Stores Value and reports the change to the port; an unchanged value is
// not applied again.
template <typename T>
void Change(T& Field, T Value, TCustomComPort& Port, void (TCustomComPort::*Changed)()) {
  if (Field != Value) {
    Field = Value;
    (Port.*Changed)();
  }
}

// Queue sizes are kept even, as the drivers want them.
int32_t EvenSize(int32_t Value) {
  return (Value > 0 && Value % 2 != 0) ? Value - 1 : Value;
}

}  // namespace

EComPort::EComPort(int32_t MessageCode, int32_t PlatformError)
    : std::runtime_error(FormatMessage(MessageCode, PlatformError)),
      FPlatformError(PlatformError),
      FMessageCode(MessageCode) {}

std::string EComPort::MessageText(int32_t MessageCode) {
  switch (MessageCode) {
    case ecOpenFailed:
      return "Unable to open com port";
    case ecReadFailed:
      return "ReadFile function failed";
    case ecPurgeFailed:
      return "PurgeComm function failed";
    case ecLineSettingsFailed:
      return "SetCommState function failed";
    case ecTimeoutsFailed:
      return "SetCommTimeouts failed";
    case ecQueueSizesFailed:
      return "SetupComm function failed";
    case ecInputCountFailed:
      return "ClearCommError function failed";
    case ecModemStatusFailed:
      return "GetCommModemStatus function failed";
    case ecSendCharFailed:
      return "TransmitCommChar function failed";
    case ecPortListFailed:
      return "Registry error";
    default:
      return "Serial port error " + std::to_string(MessageCode);
  }
}

// --- Settings groups --------------------------------------------------------

void TComParity::SetBits(TParityBits Value) {
  Change(FBits, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComParity::SetCheck(bool Value) {
  Change(FCheck, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComParity::SetReplace(bool Value) {
  Change(FReplace, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComParity::SetReplaceChar(uint8_t Value) {
  Change(FReplaceChar, Value, FPort, &TCustomComPort::LineSettingsChanged);
}

void TComFlowControl::SetOutCTSFlow(bool Value) {
  Change(FOutCTSFlow, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComFlowControl::SetOutDSRFlow(bool Value) {
  Change(FOutDSRFlow, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComFlowControl::SetControlDTR(TDTRFlowControl Value) {
  Change(FControlDTR, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComFlowControl::SetControlRTS(TRTSFlowControl Value) {
  Change(FControlRTS, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComFlowControl::SetXonXoffOut(bool Value) {
  Change(FXonXoffOut, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComFlowControl::SetXonXoffIn(bool Value) {
  Change(FXonXoffIn, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComFlowControl::SetDSRSensitivity(bool Value) {
  Change(FDSRSensitivity, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComFlowControl::SetTxContinueOnXoff(bool Value) {
  Change(FTxContinueOnXoff, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComFlowControl::SetXonChar(uint8_t Value) {
  Change(FXonChar, Value, FPort, &TCustomComPort::LineSettingsChanged);
}
void TComFlowControl::SetXoffChar(uint8_t Value) {
  Change(FXoffChar, Value, FPort, &TCustomComPort::LineSettingsChanged);
}

void TComTimeouts::SetReadInterval(int32_t Value) {
  Change(FReadInterval, Value, FPort, &TCustomComPort::TimeoutsChanged);
}
void TComTimeouts::SetReadTotalMultiplier(int32_t Value) {
  Change(FReadTotalMultiplier, Value, FPort, &TCustomComPort::TimeoutsChanged);
}
void TComTimeouts::SetReadTotalConstant(int32_t Value) {
  Change(FReadTotalConstant, Value, FPort, &TCustomComPort::TimeoutsChanged);
}
void TComTimeouts::SetWriteTotalMultiplier(int32_t Value) {
  Change(FWriteTotalMultiplier, Value, FPort, &TCustomComPort::TimeoutsChanged);
}
void TComTimeouts::SetWriteTotalConstant(int32_t Value) {
  Change(FWriteTotalConstant, Value, FPort, &TCustomComPort::TimeoutsChanged);
}

void TComBuffer::SetInputSize(int32_t Value) {
  Change(FInputSize, EvenSize(Value), FPort, &TCustomComPort::BufferChanged);
}
void TComBuffer::SetOutputSize(int32_t Value) {
  Change(FOutputSize, EvenSize(Value), FPort, &TCustomComPort::BufferChanged);
}

// --- The port ---------------------------------------------------------------

TCustomComPort::TCustomComPort() = default;

TCustomComPort::~TCustomComPort() {
  try {
    Close();
  } catch (...) {
    // The owner is going away and cannot act on the failure; the device
    // must still be given back.
    ReleaseDevice();
    FConnected = false;
  }
}

void TCustomComPort::SetPort(const std::string& Value) {
  if (Value == FPort) {
    return;
  }
  FPort = Value;
  if (FConnected) {
    Close();
    Open();
  }
}

void TCustomComPort::Open() {
  if (FConnected) {
    return;
  }
  OpenDevice();
  FAbandoned = 0;
  FConnected = true;
  try {
    ApplySettings();
  } catch (...) {
    ReleaseDevice();
    FConnected = false;
    throw;
  }
  // Nothing uses the modem lines' values; a device that cannot report them
  // fails here and is left open.
  ReadModemStatus();
}

void TCustomComPort::Close() {
  if (!FConnected) {
    return;
  }
  Check(binding::AbortTransfers(FHandle), ecPurgeFailed);
  ReleaseDevice();
  FConnected = false;
}

void TCustomComPort::OpenDevice() {
  TComHandle Handle = InvalidComHandle;
  Check(binding::OpenDevice(FPort, Handle), ecOpenFailed);
  FHandle = Handle;
  // A USB adapter that holds each byte for its latency timer slows the
  // board's handshake many times over. The timer is read before the
  // low-latency flag is set, which some drivers report as a 1 ms timer.
  binding::LowerLatencyTimer(FPort, FSysfsRoot, FStateDir, FLatency);
  binding::SetLowLatency(FHandle, FSerialFlags);
}

void TCustomComPort::ReleaseDevice() {
  if (FHandle != InvalidComHandle) {
    // The flags first: while the low-latency flag is set, some drivers
    // override the timer that is written back.
    binding::RestoreSerialFlags(FHandle, FSerialFlags);
    FSerialFlags.Changed = false;
    binding::RestoreLatencyTimer(FLatency);
    FLatency.Changed = false;
    binding::CloseDevice(FHandle);
    FHandle = InvalidComHandle;
  }
  FTaken.reset();
}

void TCustomComPort::ReleaseNow() const noexcept {
  if (FHandle != InvalidComHandle) {
    binding::RestoreSerialFlags(FHandle, FSerialFlags);
    binding::RestoreLatencyTimer(FLatency);
    binding::CloseDevice(FHandle);
  }
}

void TCustomComPort::Abandon() const noexcept {
  FAbandoned = binding::AbandonedError();
  if (FHandle != InvalidComHandle) {
    binding::CancelTransfers(FHandle);
  }
}

void TCustomComPort::RefuseAbandoned(TComMessageCode Code) const {
  if (const int32_t Error = FAbandoned.load(); Error != 0) {
    throw EComPort(Code, Error);
  }
}

void TCustomComPort::Checked(int Error, TComMessageCode Code) const {
  RefuseAbandoned(Code);
  Check(Error, Code);
}

void TCustomComPort::ApplySettings() {
  ApplyQueueSizes();
  ApplyLineSettings();
  ApplyTimeouts();
}

void TCustomComPort::ApplyQueueSizes() {
  Check(binding::SetupQueues(FHandle, FBuffer.InputSize(), FBuffer.OutputSize()),
        ecQueueSizesFailed);
}

void TCustomComPort::ApplyLineSettings() {
  Check(binding::ApplyLineSettings(FHandle, BuildLineSettings(*this)), ecLineSettingsFailed);
}

void TCustomComPort::ApplyTimeouts() {
  Check(binding::ApplyTimeouts(FHandle, BuildTimeoutRecord(*this)), ecTimeoutsFailed);
}

void TCustomComPort::ReadModemStatus() {
  for (binding::TModemLine Line :
       {binding::TModemLine::mlCTS, binding::TModemLine::mlDSR, binding::TModemLine::mlRLSD}) {
    bool Active = false;
    Check(binding::ReadModemLine(FHandle, Line, Active), ecModemStatusFailed);
  }
}

void TCustomComPort::LineSettingsChanged() {
  if (FConnected) {
    ApplyLineSettings();
  }
}

void TCustomComPort::TimeoutsChanged() {
  if (FConnected) {
    ApplyTimeouts();
  }
}

void TCustomComPort::BufferChanged() {
  if (FConnected) {
    ApplyQueueSizes();
  }
}

void TCustomComPort::ClearBuffer(bool Input, bool Output) {
  RefuseAbandoned(ecPurgeFailed);
  Checked(binding::Purge(FHandle, Input, Output), ecPurgeFailed);
  if (Input) {
    FTaken.reset();
  }
}

int32_t TCustomComPort::InputCount() {
  int32_t Count = 0;
  RefuseAbandoned(ecInputCountFailed);
  Checked(binding::InputCount(FHandle, Count), ecInputCountFailed);
  // While the wait holds the byte it took, that byte alone is counted: what
  // came after it is counted once it is read, so that a reply collected by
  // count ends where the wait found it, as it would with a device that waits
  // without reading (the board's first DC1 follows the echo of "w" at once).
  return FTaken ? 1 : Count;
}

int32_t TCustomComPort::Read(void* Buffer, int32_t Count) {
  if (Count < 0) {
    throw EComPort(ecReadFailed, EINVAL);
  }
  RefuseAbandoned(ecReadFailed);
  int32_t Transferred = 0;
  if (FTaken && Count > 0) {
    // The byte the wait took comes first; the rest only as far as the
    // device already holds it, so that a read of waiting input never waits.
    *static_cast<uint8_t*>(Buffer) = *FTaken;
    FTaken.reset();
    int32_t Queued = 0;
    Checked(binding::InputCount(FHandle, Queued), ecReadFailed);
    int32_t More = 0;
    if (Queued > 0 && Count > 1) {
      Checked(binding::Read(FHandle, static_cast<uint8_t*>(Buffer) + 1, std::min(Count - 1, Queued),
                            BuildTimeoutRecord(*this), More),
              ecReadFailed);
    }
    Transferred = 1 + More;
  } else {
    Checked(binding::Read(FHandle, Buffer, Count, BuildTimeoutRecord(*this), Transferred),
            ecReadFailed);
  }
  // The device is asked once more after every read, as a watcher would be
  // told of what is left; a device that no longer answers fails here.
  InputCount();
  return Transferred;
}

int32_t TCustomComPort::ReadStr(std::string& Text, int32_t Count) {
  if (Count <= 0) {
    Text.clear();
    return 0;
  }
  std::string Received(static_cast<size_t>(Count), '\0');
  int32_t Transferred = Read(Received.data(), Count);
  Received.resize(static_cast<size_t>(Transferred));
  Text.swap(Received);
  return Transferred;
}

void TCustomComPort::SendChar(uint8_t Ch) {
  RefuseAbandoned(ecSendCharFailed);
  Checked(binding::SendChar(FHandle, Ch, BuildTimeoutRecord(*this)), ecSendCharFailed);
}

bool TCustomComPort::WaitForInput(int32_t TimeoutMs) {
  if (FTaken) {
    return true;
  }
  const auto Deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(TimeoutMs, 0));
  for (;;) {
    RefuseAbandoned(ecReadFailed);
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
        Deadline - std::chrono::steady_clock::now());
    const auto Slice = static_cast<int32_t>(std::clamp<int64_t>(Left.count(), 0, WaitSliceMs));
    bool Ready = false;
    Checked(binding::WaitForInput(FHandle, Slice, BuildTimeoutRecord(*this), Ready, FTaken),
            ecReadFailed);
    if (Ready || FTaken.has_value()) {
      return true;
    }
    if (Left.count() <= WaitSliceMs) {
      return false;
    }
  }
}

void TCustomComPort::SetBaudRate(TBaudRate Value) {
  Change(FBaudRate, Value, *this, &TCustomComPort::LineSettingsChanged);
}
void TCustomComPort::SetCustomBaudRate(int32_t Value) {
  Change(FCustomBaudRate, Value, *this, &TCustomComPort::LineSettingsChanged);
}
void TCustomComPort::SetDataBits(TDataBits Value) {
  Change(FDataBits, Value, *this, &TCustomComPort::LineSettingsChanged);
}
void TCustomComPort::SetStopBits(TStopBits Value) {
  Change(FStopBits, Value, *this, &TCustomComPort::LineSettingsChanged);
}
void TCustomComPort::SetDiscardNull(bool Value) {
  Change(FDiscardNull, Value, *this, &TCustomComPort::LineSettingsChanged);
}
void TCustomComPort::SetEventChar(uint8_t Value) {
  Change(FEventChar, Value, *this, &TCustomComPort::LineSettingsChanged);
}

// --- Records ----------------------------------------------------------------

void AssignBoardSettings(TCustomComPort& Port) {
  Port.SetBaudRate(TBaudRate::br9600);
  Port.SetDataBits(TDataBits::dbEight);
  Port.SetStopBits(TStopBits::sbOneStopBit);
  Port.SetEvents({TComEvent::evRxChar});
  Port.Parity().SetBits(TParityBits::prNone);
  TComFlowControl& Flow = Port.FlowControl();
  Flow.SetOutCTSFlow(false);
  Flow.SetOutDSRFlow(false);
  Flow.SetControlDTR(TDTRFlowControl::dtrDisable);
  Flow.SetControlRTS(TRTSFlowControl::rtsDisable);
  Flow.SetXonXoffOut(false);
  Flow.SetXonXoffIn(false);
  Port.Buffer().SetInputSize(4096);
  Port.Buffer().SetOutputSize(4096);
  Port.Timeouts().SetReadInterval(-1);
  Port.Timeouts().SetReadTotalMultiplier(100);
  Port.Timeouts().SetReadTotalConstant(1000);
}

uint32_t BaudRateValue(TBaudRate Rate, int32_t CustomRate) {
  switch (Rate) {
    case TBaudRate::brCustom:
      return static_cast<uint32_t>(CustomRate);
    case TBaudRate::br110:
      return 110;
    case TBaudRate::br300:
      return 300;
    case TBaudRate::br600:
      return 600;
    case TBaudRate::br1200:
      return 1200;
    case TBaudRate::br2400:
      return 2400;
    case TBaudRate::br4800:
      return 4800;
    case TBaudRate::br9600:
      return 9600;
    case TBaudRate::br14400:
      return 14400;
    case TBaudRate::br19200:
      return 19200;
    case TBaudRate::br38400:
      return 38400;
    case TBaudRate::br56000:
      return 56000;
    case TBaudRate::br57600:
      return 57600;
    case TBaudRate::br115200:
      return 115200;
    case TBaudRate::br128000:
      return 128000;
    case TBaudRate::br256000:
      return 256000;
  }
  return 0;
}

uint32_t TLineSettings::Flags() const {
  return (fBinary & 1u) | (fParity & 1u) << 1 | (fOutxCtsFlow & 1u) << 2 |
         (fOutxDsrFlow & 1u) << 3 | (fDtrControl & 3u) << 4 | (fDsrSensitivity & 1u) << 6 |
         (fTXContinueOnXoff & 1u) << 7 | (fOutX & 1u) << 8 | (fInX & 1u) << 9 |
         (fErrorChar & 1u) << 10 | (fNull & 1u) << 11 | (fRtsControl & 3u) << 12 |
         (fAbortOnError & 1u) << 14;
}

TLineSettings BuildLineSettings(const TCustomComPort& Port) {
  const TComParity& Parity = Port.Parity();
  const TComFlowControl& Flow = Port.FlowControl();
  TLineSettings Record;
  Record.BaudRate = BaudRateValue(Port.BaudRate(), Port.CustomBaudRate());
  Record.fBinary = 1;
  Record.fParity = Flag(Parity.Check());
  Record.fOutxCtsFlow = Flag(Flow.OutCTSFlow());
  Record.fOutxDsrFlow = Flag(Flow.OutDSRFlow());
  Record.fDtrControl = static_cast<uint8_t>(Flow.ControlDTR());
  Record.fDsrSensitivity = Flag(Flow.DSRSensitivity());
  Record.fTXContinueOnXoff = Flag(Flow.TxContinueOnXoff());
  Record.fOutX = Flag(Flow.XonXoffOut());
  Record.fInX = Flag(Flow.XonXoffIn());
  Record.fErrorChar = Flag(Parity.Check() && Parity.Replace());
  Record.fNull = Flag(Port.DiscardNull());
  Record.fRtsControl = static_cast<uint8_t>(Flow.ControlRTS());
  // The record's limits are 16-bit; a queue beyond 256 KiB saturates
  // instead of wrapping to a small number.
  int32_t Limit =
      std::clamp<int32_t>(Port.Buffer().InputSize() / 4, 0, std::numeric_limits<uint16_t>::max());
  Record.XonLim = static_cast<uint16_t>(Limit);
  Record.XoffLim = static_cast<uint16_t>(Limit);
  Record.ByteSize = static_cast<uint8_t>(5 + static_cast<int>(Port.DataBits()));
  Record.Parity = static_cast<uint8_t>(Parity.Bits());
  Record.StopBits = static_cast<uint8_t>(Port.StopBits());
  Record.XonChar = Flow.XonChar();
  Record.XoffChar = Flow.XoffChar();
  Record.ErrorChar = Record.fErrorChar ? Parity.ReplaceChar() : 0;
  Record.EvtChar = Port.EventChar();
  return Record;
}

TTimeoutRecord BuildTimeoutRecord(const TCustomComPort& Port) {
  const TComTimeouts& Timeouts = Port.Timeouts();
  TTimeoutRecord Record;
  Record.ReadIntervalTimeout = static_cast<uint32_t>(Timeouts.ReadInterval());
  Record.ReadTotalTimeoutMultiplier = static_cast<uint32_t>(Timeouts.ReadTotalMultiplier());
  Record.ReadTotalTimeoutConstant = static_cast<uint32_t>(Timeouts.ReadTotalConstant());
  Record.WriteTotalTimeoutMultiplier = static_cast<uint32_t>(Timeouts.WriteTotalMultiplier());
  Record.WriteTotalTimeoutConstant = static_cast<uint32_t>(Timeouts.WriteTotalConstant());
  return Record;
}

std::string TCustomComPort::StateDirFromSettings(const char* RuntimeDir, const char* CacheHome,
                                                 const char* Home) {
  const auto Set = [](const char* Value) { return Value != nullptr && *Value != '\0'; };
  if (Set(RuntimeDir)) {
    return std::string(RuntimeDir) + "/korvane";
  }
  if (Set(CacheHome)) {
    return std::string(CacheHome) + "/korvane";
  }
  if (Set(Home)) {
    return std::string(Home) + "/.cache/korvane";
  }
  return {};
}

}  // namespace korvane
