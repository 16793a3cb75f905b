// The serial port through which the programmer board is reached.
//
// TCustomComPort holds the line settings, opens the device named by Port()
// and applies the settings to it, and offers the few operations the link
// needs: discard what is queued, count the bytes waiting, wait for input,
// read with a time-out, send one byte at once, move to another device by
// changing the name. Every failure is raised as EComPort, carrying the
// number of its message and the platform's error number (errno on POSIX).
//
// The operating-system calls live in one binding per platform (see
// UComBinding.h); this part holds the settings and the sequences of
// opening, closing and reading, and builds the line-settings record that a
// binding applies.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>

#include "UComRecords.h"

namespace korvane {

// The number of an EComPort message; the numbers are fixed, and the gaps
// belong to facilities this port does not have.
enum TComMessageCode : int32_t {
  ecOpenFailed = 1,          // "Unable to open com port"
  ecReadFailed = 3,          // "ReadFile function failed"
  ecPurgeFailed = 5,         // "PurgeComm function failed"
  ecLineSettingsFailed = 7,  // "SetCommState function failed"
  ecTimeoutsFailed = 8,      // "SetCommTimeouts failed"
  ecQueueSizesFailed = 9,    // "SetupComm function failed"
  ecInputCountFailed = 10,   // "ClearCommError function failed"
  ecModemStatusFailed = 11,  // "GetCommModemStatus function failed"
  ecSendCharFailed = 13,     // "TransmitCommChar function failed"
  ecPortListFailed = 23,     // "Registry error"
};

// A failed port operation. The message is the text of MessageCode followed
// by the platform's error: " (win error code: 2: The system cannot find the
// file specified.)" on Windows (the words in the user's language), the errno and
// its words on POSIX, e.g. "Unable to open com port (error 2: No such file or
// directory)", so that the number is not taken for a Windows code.
class EComPort : public std::runtime_error {
 public:
  EComPort(int32_t MessageCode, int32_t PlatformError);
  // The platform's error number of the failed call (errno on POSIX), or -1.
  int32_t PlatformError() const { return FPlatformError; }
  int32_t MessageCode() const { return FMessageCode; }
  // The fixed text of a message number, without the suffix.
  static std::string MessageText(int32_t MessageCode);

 private:
  int32_t FPlatformError;
  int32_t FMessageCode;
};

enum class TBaudRate : uint8_t {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000,
};
enum class TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum class TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum class TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum class TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
// How an event watcher would hand its events over; stored for completeness,
// this port runs no watcher.
enum class TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };

enum class TComEvent : uint8_t {
  evRxChar,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full,
};

// A set of TComEvent values, one bit each.
class TComEvents {
 public:
  constexpr TComEvents() = default;
  constexpr TComEvents(std::initializer_list<TComEvent> Events) {
    for (TComEvent Event : Events) {
      FBits |= Bit(Event);
    }
  }
  // All ten events.
  static constexpr TComEvents All() { return FromBits(0x03FF); }
  static constexpr TComEvents FromBits(uint16_t Bits) {
    TComEvents Events;
    Events.FBits = Bits & 0x03FF;
    return Events;
  }

  constexpr bool Contains(TComEvent Event) const { return (FBits & Bit(Event)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint16_t Bits() const { return FBits; }
  constexpr bool operator==(const TComEvents&) const = default;

 private:
  static constexpr uint16_t Bit(TComEvent Event) {
    return static_cast<uint16_t>(1u << static_cast<unsigned>(Event));
  }
  uint16_t FBits = 0;
};

class TCustomComPort;

// Parity: which parity bit the line carries and what is done with errors.
class TComParity {
 public:
  explicit TComParity(TCustomComPort& Port) : FPort(Port) {}
  TParityBits Bits() const { return FBits; }
  void SetBits(TParityBits Value);
  // Check incoming parity.
  bool Check() const { return FCheck; }
  void SetCheck(bool Value);
  // Replace a byte with a parity error by ReplaceChar (only with Check).
  bool Replace() const { return FReplace; }
  void SetReplace(bool Value);
  uint8_t ReplaceChar() const { return FReplaceChar; }
  void SetReplaceChar(uint8_t Value);

 private:
  TCustomComPort& FPort;
  TParityBits FBits = TParityBits::prNone;
  bool FCheck = false;
  bool FReplace = false;
  uint8_t FReplaceChar = 0;
};

// Hardware and software flow control, and the DTR and RTS lines.
class TComFlowControl {
 public:
  explicit TComFlowControl(TCustomComPort& Port) : FPort(Port) {}
  bool OutCTSFlow() const { return FOutCTSFlow; }
  void SetOutCTSFlow(bool Value);
  bool OutDSRFlow() const { return FOutDSRFlow; }
  void SetOutDSRFlow(bool Value);
  TDTRFlowControl ControlDTR() const { return FControlDTR; }
  void SetControlDTR(TDTRFlowControl Value);
  TRTSFlowControl ControlRTS() const { return FControlRTS; }
  void SetControlRTS(TRTSFlowControl Value);
  bool XonXoffOut() const { return FXonXoffOut; }
  void SetXonXoffOut(bool Value);
  bool XonXoffIn() const { return FXonXoffIn; }
  void SetXonXoffIn(bool Value);
  bool DSRSensitivity() const { return FDSRSensitivity; }
  void SetDSRSensitivity(bool Value);
  bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
  void SetTxContinueOnXoff(bool Value);
  uint8_t XonChar() const { return FXonChar; }
  void SetXonChar(uint8_t Value);
  uint8_t XoffChar() const { return FXoffChar; }
  void SetXoffChar(uint8_t Value);

 private:
  TCustomComPort& FPort;
  bool FOutCTSFlow = false;
  bool FOutDSRFlow = false;
  TDTRFlowControl FControlDTR = TDTRFlowControl::dtrDisable;
  TRTSFlowControl FControlRTS = TRTSFlowControl::rtsDisable;
  bool FXonXoffOut = false;
  bool FXonXoffIn = false;
  bool FDSRSensitivity = false;
  bool FTxContinueOnXoff = false;
  uint8_t FXonChar = 17;   // DC1
  uint8_t FXoffChar = 19;  // DC3
};

// Read and write time-outs in milliseconds. A read of Count bytes ends after
// ReadTotalMultiplier * Count + ReadTotalConstant ms at most (both 0: no
// total limit); ReadInterval bounds the gap between two bytes (0 or -1: no
// gap limit; -1 with both read totals 0: a read returns at once with what
// is waiting). One byte is sent within WriteTotalMultiplier +
// WriteTotalConstant ms or the send fails.
class TComTimeouts {
 public:
  explicit TComTimeouts(TCustomComPort& Port) : FPort(Port) {}
  int32_t ReadInterval() const { return FReadInterval; }
  void SetReadInterval(int32_t Value);
  int32_t ReadTotalMultiplier() const { return FReadTotalMultiplier; }
  void SetReadTotalMultiplier(int32_t Value);
  int32_t ReadTotalConstant() const { return FReadTotalConstant; }
  void SetReadTotalConstant(int32_t Value);
  int32_t WriteTotalMultiplier() const { return FWriteTotalMultiplier; }
  void SetWriteTotalMultiplier(int32_t Value);
  int32_t WriteTotalConstant() const { return FWriteTotalConstant; }
  void SetWriteTotalConstant(int32_t Value);

 private:
  TCustomComPort& FPort;
  int32_t FReadInterval = -1;
  int32_t FReadTotalMultiplier = 0;
  int32_t FReadTotalConstant = 0;
  int32_t FWriteTotalMultiplier = 100;
  int32_t FWriteTotalConstant = 1000;
};

// The input and output queue sizes in bytes. A positive odd size is stored
// one lower (4097 becomes 4096).
class TComBuffer {
 public:
  explicit TComBuffer(TCustomComPort& Port) : FPort(Port) {}
  int32_t InputSize() const { return FInputSize; }
  void SetInputSize(int32_t Value);
  int32_t OutputSize() const { return FOutputSize; }
  void SetOutputSize(int32_t Value);

 private:
  TCustomComPort& FPort;
  int32_t FInputSize = 1024;
  int32_t FOutputSize = 1024;
};

class TCustomComPort {
 public:
  // Closed, named "COM1", with every default: 9600 8N1, no flow control,
  // DTR and RTS disabled, 1024-byte queues, no read time-outs, all events.
  TCustomComPort();
  // Closes the port; never throws. A device whose close fails is still
  // released.
  virtual ~TCustomComPort();
  TCustomComPort(const TCustomComPort&) = delete;
  TCustomComPort& operator=(const TCustomComPort&) = delete;

  // The device name: a path ("/dev/ttyUSB0"); a bare name ("ttyS0") is
  // taken under /dev.
  const std::string& Port() const { return FPort; }
  // Another name (letter case counts) closes an open port and opens the new
  // device; the same name does nothing; a closed port only stores it. When
  // the reopening fails the new name stays stored and the port is closed.
  void SetPort(const std::string& Value);

  bool Connected() const { return FConnected; }
  TComHandle Handle() const { return FHandle; }

  // Where the operating system describes its devices (/sys on Linux): the
  // USB adapter's latency timer is looked up there when the port opens.
  void SetSysfsRoot(const std::string& Root) { FSysfsRoot = Root; }
  // Where the port keeps notes that must outlive the process (that it
  // lowered a latency timer); none when empty, the default.
  void SetStateDir(const std::string& Dir) { FStateDir = Dir; }
  // The folder for those notes, from the settings the entries read:
  // XDG_RUNTIME_DIR, else XDG_CACHE_HOME, else HOME's .cache (each may be
  // null or empty), with "/korvane" added; empty when none is set.
  static std::string StateDirFromSettings(const char* RuntimeDir, const char* CacheHome,
                                          const char* Home);
  // The adapter's latency timer as the last open found and left it.
  const TAdapterLatency& AdapterLatency() const { return FLatency; }
  // Gives the device back (the serial flags, the latency timer, the
  // exclusive claim, the handle) and nothing else: for a process about to end, from a signal
  // handler, where only such calls are safe.
  void ReleaseNow() const noexcept;
  // Gives up the board without releasing anything: from another thread or a
  // signal handler, while the owner's thread may be inside any call. A
  // transfer in progress is ended; that call and every later read, wait,
  // input count, send and purge raise the EComPort of a failed call, until
  // the owner closes the port as usual (which still works) and opens it
  // again. The handle stays open, so that no file opened meanwhile can take
  // its number.
  void Abandon() const noexcept;

  // Opens the device exclusively and applies every setting; nothing when
  // already open. Raises code 1 when the device cannot be opened, 9, 7 or 8
  // when a setting is refused (the device is then released again), 11 when
  // the modem lines cannot be read (the port then stays open).
  void Open();
  // Releases the device; nothing when closed. Raises code 5 when pending
  // transfers cannot be ended (the port then stays open).
  void Close();

  // Discards what was received and not read (Input) and what is queued and
  // not sent (Output). Code 5.
  void ClearBuffer(bool Input, bool Output);
  // The received bytes waiting to be read. Code 10 (also on a closed port).
  // While WaitForInput holds a byte it took off the line, 1: that byte.
  int32_t InputCount();
  // Reads at most Count bytes within the read time-outs and returns how many
  // arrived; positions past that keep their contents. A time-out is no
  // failure. Code 3 on failure, a hung-up device included.
  int32_t Read(void* Buffer, int32_t Count);
  // Like Read into Text, which ends up holding exactly the bytes that
  // arrived. Count <= 0 gives an empty Text and 0 without a read. On failure
  // Text keeps its previous contents.
  int32_t ReadStr(std::string& Text, int32_t Count);
  // Puts one byte on the line at once without waiting for it to leave.
  // Code 13.
  void SendChar(uint8_t Ch);
  // Waits in the kernel until input is waiting or TimeoutMs (>= 0) has
  // passed; true when input waits. A hung-up device (pseudo-terminal master
  // closed, USB adapter pulled) raises code 3 instead of returning at once,
  // so that no caller spins.
  bool WaitForInput(int32_t TimeoutMs);

  // --- Settings. A change on an open port is applied at once. -----------
  TBaudRate BaudRate() const { return FBaudRate; }
  void SetBaudRate(TBaudRate Value);
  // The speed used when BaudRate is brCustom.
  int32_t CustomBaudRate() const { return FCustomBaudRate; }
  void SetCustomBaudRate(int32_t Value);
  TDataBits DataBits() const { return FDataBits; }
  void SetDataBits(TDataBits Value);
  TStopBits StopBits() const { return FStopBits; }
  void SetStopBits(TStopBits Value);
  bool DiscardNull() const { return FDiscardNull; }
  void SetDiscardNull(bool Value);
  uint8_t EventChar() const { return FEventChar; }
  void SetEventChar(uint8_t Value);
  TComEvents Events() const { return FEvents; }
  void SetEvents(TComEvents Value) { FEvents = Value; }
  TSyncMethod SyncMethod() const { return FSyncMethod; }
  void SetSyncMethod(TSyncMethod Value) { FSyncMethod = Value; }

  TComParity& Parity() { return FParity; }
  const TComParity& Parity() const { return FParity; }
  TComFlowControl& FlowControl() { return FFlowControl; }
  const TComFlowControl& FlowControl() const { return FFlowControl; }
  TComTimeouts& Timeouts() { return FTimeouts; }
  const TComTimeouts& Timeouts() const { return FTimeouts; }
  TComBuffer& Buffer() { return FBuffer; }
  const TComBuffer& Buffer() const { return FBuffer; }

 protected:
  // The steps Open and Close are built from.
  // Opens the device named by Port and keeps its handle; code 1.
  virtual void OpenDevice();
  // Releases the device and forgets its handle; never fails.
  virtual void ReleaseDevice();
  // Queue sizes (code 9), line settings (code 7), time-outs (code 8).
  virtual void ApplySettings();

 private:
  friend class TComParity;
  friend class TComFlowControl;
  friend class TComTimeouts;
  friend class TComBuffer;

  void ApplyQueueSizes();
  void ApplyLineSettings();
  void ApplyTimeouts();
  void ReadModemStatus();
  // Called by the setters: re-applies a group on an open port.
  void LineSettingsChanged();
  void TimeoutsChanged();
  void BufferChanged();

  // Raises Code when the port was abandoned.
  void RefuseAbandoned(TComMessageCode Code) const;
  // The platform's error of a failed Error, or Code when abandoned meanwhile.
  void Checked(int Error, TComMessageCode Code) const;

  TComHandle FHandle = InvalidComHandle;
  bool FConnected = false;
  // 0, or the platform's error number that calls on an abandoned port report.
  mutable std::atomic<int32_t> FAbandoned{0};
  std::string FSysfsRoot = "/sys";
  std::string FStateDir;
  TAdapterLatency FLatency;
  TSerialFlags FSerialFlags;
  // A byte that WaitForInput took off the line (a device that can only wait
  // by reading); the next read gives it out first.
  std::optional<uint8_t> FTaken;
  TBaudRate FBaudRate = TBaudRate::br9600;
  int32_t FCustomBaudRate = 9600;
  std::string FPort = "COM1";
  TStopBits FStopBits = TStopBits::sbOneStopBit;
  TDataBits FDataBits = TDataBits::dbEight;
  bool FDiscardNull = false;
  uint8_t FEventChar = 0;
  TComEvents FEvents = TComEvents::All();
  TComParity FParity{*this};
  TComFlowControl FFlowControl{*this};
  TComTimeouts FTimeouts{*this};
  TComBuffer FBuffer{*this};
  TSyncMethod FSyncMethod = TSyncMethod::smThreadSync;
};

// The port with its settings published for the owner to store.
class TComPort : public TCustomComPort {};

// The values the main window stores for its port: 9600 baud, 8 data bits,
// no parity, one stop bit, no flow control, DTR and RTS disabled, 4096-byte
// queues, read time-outs -1/100/1000 (one byte or nothing after 1100 ms),
// Events [evRxChar]. The name is left as it is.
void AssignBoardSettings(TCustomComPort& Port);

// The numeric line speed of a TBaudRate; brCustom gives CustomRate.
uint32_t BaudRateValue(TBaudRate Rate, int32_t CustomRate);
// The line-settings record for the port's settings as they stand.
TLineSettings BuildLineSettings(const TCustomComPort& Port);
// The time-out record for the port's Timeouts.
TTimeoutRecord BuildTimeoutRecord(const TCustomComPort& Port);

}  // namespace korvane
