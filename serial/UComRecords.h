// The plain records a platform binding works with: the device handle, and
// the line settings and time-outs as the port builds them for the binding to
// apply.
#pragma once

#include <cstdint>
#include <string>

namespace korvane {

// A USB serial adapter's latency timer: how long the adapter holds the bytes
// it received before it hands them to the host. The port lowers it to 1 ms
// while it is open and puts the old value back when it is given back.
struct TAdapterLatency {
  // The device has the attribute; the rest means something only then.
  bool Found = false;
  // Its path ("/sys/class/tty/ttyUSB0/device/latency_timer").
  std::string Attribute;
  // Milliseconds as found, and as the port left it.
  int Before = 0;
  int Now = 0;
  // The errno of a write that was refused (EACCES without the udev rule);
  // 0 when none was refused.
  int WriteError = 0;
  // The port wrote the attribute and owes it the old value.
  bool Changed = false;
  // Before as decimal text, ready for a signal handler, which may not
  // format it.
  char BeforeText[16] = {};
  // The note that the port lowered the timer, kept while it owes the old
  // value, so that a run killed before it could put it back is known for
  // what it was (and, when LeftLow, that run's note); empty without one.
  std::string Marker;
  // The timer reads 1 ms because an earlier run lowered it and was ended
  // (SIGKILL, a power cut of the host) before it could put it back; that
  // run's note said it was LeftBefore ms. The port then leaves it alone.
  bool LeftLow = false;
  int LeftBefore = 0;
  // The timer was left as found because no note could be written (no
  // folder for notes, or none that takes one).
  bool Unnoted = false;
};

// The driver's serial flags as the port found them. The port asks for low
// latency while it is open; a flag left set outlives the process and, with
// some USB drivers, pins the adapter's latency timer at 1 ms whatever is
// written to it, so the flags are put back as found.
struct TSerialFlags {
  // The port changed the flags and owes them the old value.
  bool Changed = false;
  int Before = 0;
};

// The platform's device handle: a file descriptor on POSIX. -1 while closed.
using TComHandle = std::intptr_t;
inline constexpr TComHandle InvalidComHandle = -1;

// The line-settings record: the members of the platform's device-control
// block, built afresh from the settings each time they are applied. Members
// whose condition does not hold are 0.
struct TLineSettings {
  uint32_t DCBlength = 28;
  uint32_t BaudRate = 0;
  uint8_t fBinary = 0;
  uint8_t fParity = 0;
  uint8_t fOutxCtsFlow = 0;
  uint8_t fOutxDsrFlow = 0;
  uint8_t fDtrControl = 0;  // 0 disable, 1 enable, 2 handshake
  uint8_t fDsrSensitivity = 0;
  uint8_t fTXContinueOnXoff = 0;
  uint8_t fOutX = 0;
  uint8_t fInX = 0;
  uint8_t fErrorChar = 0;
  uint8_t fNull = 0;
  uint8_t fRtsControl = 0;  // 0 disable, 1 enable, 2 handshake, 3 toggle
  uint8_t fAbortOnError = 0;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;  // 5 to 8
  uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  uint8_t XonChar = 0;
  uint8_t XoffChar = 0;
  uint8_t ErrorChar = 0;
  uint8_t EofChar = 0;
  uint8_t EvtChar = 0;

  // The flag members packed into the record's 32-bit flags word, in the
  // record's bit order (fBinary is bit 0, fAbortOnError bit 14).
  uint32_t Flags() const;
  bool operator==(const TLineSettings&) const = default;
};

// The time-out record: the five Timeouts values one for one, -1 passed as
// the all-ones 32-bit value.
struct TTimeoutRecord {
  uint32_t ReadIntervalTimeout = 0;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 0;
  uint32_t WriteTotalTimeoutConstant = 0;
  bool operator==(const TTimeoutRecord&) const = default;
};

}  // namespace korvane
