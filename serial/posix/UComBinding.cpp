// The POSIX binding of the serial port: termios, ioctl and poll on a file
// descriptor.
//
// The descriptor stays non-blocking for its whole life. Every wait is a
// poll(2) with the time the settings allow, so that no call can hang on a
// silent line, and a hung-up device (pseudo-terminal master closed, USB
// adapter pulled) is reported as EIO instead of a read that returns nothing
// at once, again and again.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "UComBinding.h"
#include "UCustomSpeed.h"
#include "UReadLimits.h"
#include "USysfsFiles.h"
#include "UTtyPorts.h"

namespace korvane::binding {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// No single wait is planned longer than this (about 24 days).
constexpr uint64_t LongestWaitMs = 0x7FFFFFFF;

int Descriptor(TComHandle Handle) {
  return static_cast<int>(Handle);
}

// A pseudo-terminal, or a driver without modem lines, refuses the modem
// ioctls with one of these; for such a device there is nothing to set.
bool NoModemLines(int Error) {
  return Error == ENOTTY || Error == EINVAL;
}

// A device that hung up reports itself readable; it is only while bytes
// received before the hang-up are still waiting.
bool StillReadable(int Fd, short Events) {
  int Waiting = 0;
  return (Events & POLLIN) != 0 && ioctl(Fd, FIONREAD, &Waiting) == 0 && Waiting > 0;
}

// Waits until Fd is ready for Events (POLLIN or POLLOUT) or Deadline has
// passed (no deadline: without limit). Ready tells which. A device that
// hung up fails with EIO once nothing is left to read.
int WaitFor(int Fd, short Events, std::optional<Clock::time_point> Deadline, bool& Ready) {
  Ready = false;
  for (;;) {
    int TimeoutMs = -1;
    if (Deadline) {
      auto Left = std::chrono::ceil<milliseconds>(*Deadline - Clock::now()).count();
      TimeoutMs = static_cast<int>(std::clamp<int64_t>(Left, 0, LongestWaitMs));
    }
    pollfd Entry{Fd, Events, 0};
    int Result = poll(&Entry, 1, TimeoutMs);
    if (Result < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    if (Result == 0) {
      // poll may wake a little early; only the clock ends the wait.
      if (Deadline && Clock::now() >= *Deadline) {
        return 0;
      }
      continue;
    }
    if (Entry.revents & POLLNVAL) {
      return EBADF;
    }
    if ((Entry.revents & (POLLHUP | POLLERR)) != 0 && !StillReadable(Fd, Events)) {
      return EIO;
    }
    if (Entry.revents & Events) {
      Ready = true;
      return 0;
    }
    return EIO;
  }
}

std::optional<Clock::time_point> DeadlineAfter(uint64_t Ms) {
  return Clock::now() + milliseconds(std::min(Ms, LongestWaitMs));
}

speed_t StandardSpeed(uint32_t Rate) {
  switch (Rate) {
    case 110:
      return B110;
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return B0;
  }
}

// The record as termios: raw bytes both ways, the framing, and the flow
// control that POSIX can express. DSR flow control, DSR sensitivity,
// discarding NUL and the XON/XOFF limits have no termios counterpart.
int SetTermios(int Fd, const TLineSettings& Settings) {
  if (Settings.ByteSize < 5 || Settings.ByteSize > 8 || Settings.Parity > 4 ||
      Settings.StopBits > 2) {
    return EINVAL;
  }
  termios Line{};
  if (tcgetattr(Fd, &Line) != 0) {
    return errno;
  }
  cfmakeraw(&Line);
  Line.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR);
  Line.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
#ifdef CMSPAR
  Line.c_cflag &= ~CMSPAR;
#endif
  Line.c_cflag |= CREAD | CLOCAL;

  static constexpr tcflag_t Sizes[] = {CS5, CS6, CS7, CS8};
  Line.c_cflag |= Sizes[Settings.ByteSize - 5];
  // One and a half stop bits is what a UART sends for "two" with 5-bit
  // characters; POSIX knows only one or two.
  if (Settings.StopBits != 0) {
    Line.c_cflag |= CSTOPB;
  }
  switch (Settings.Parity) {
    case 1:
      Line.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      Line.c_cflag |= PARENB;
      break;
    case 3:
    case 4:
#ifdef CMSPAR
      Line.c_cflag |= PARENB | CMSPAR | (Settings.Parity == 3 ? PARODD : 0);
      break;
#else
      return EINVAL;
#endif
  }
  // Checked parity: a byte that fails the check is read as NUL.
  if (Settings.fParity) {
    Line.c_iflag |= INPCK;
  }
  if (Settings.fOutxCtsFlow || Settings.fRtsControl == 2) {
    Line.c_cflag |= CRTSCTS;
  }
  if (Settings.fOutX) {
    Line.c_iflag |= IXON;
  }
  if (Settings.fInX) {
    Line.c_iflag |= IXOFF;
  }
  Line.c_cc[VSTART] = static_cast<cc_t>(Settings.XonChar);
  Line.c_cc[VSTOP] = static_cast<cc_t>(Settings.XoffChar);
  // Reads never block in the driver: every wait is a poll with a deadline.
  Line.c_cc[VMIN] = 0;
  Line.c_cc[VTIME] = 0;

  speed_t Speed = StandardSpeed(Settings.BaudRate);
  if (Speed != B0 && (cfsetispeed(&Line, Speed) != 0 || cfsetospeed(&Line, Speed) != 0)) {
    return errno;
  }
  if (tcsetattr(Fd, TCSANOW, &Line) != 0) {
    return errno;
  }
  if (Speed == B0) {
    return SetCustomSpeed(Fd, Settings.BaudRate);
  }
  return 0;
}

// DTR and RTS as the record says; the kernel raises both when a device is
// opened, and the board expects them inactive.
int SetModemLines(int Fd, const TLineSettings& Settings) {
  int Raise = 0;
  int Drop = 0;
  // There is no DTR handshake on POSIX; the line is held active instead.
  (Settings.fDtrControl == 0 ? Drop : Raise) |= TIOCM_DTR;
  // RTS handshake is CRTSCTS, driven by the kernel; toggling RTS around
  // each transmission is left inactive between them.
  if (Settings.fRtsControl == 1) {
    Raise |= TIOCM_RTS;
  } else if (Settings.fRtsControl != 2) {
    Drop |= TIOCM_RTS;
  }
  if (Drop != 0 && ioctl(Fd, TIOCMBIC, &Drop) != 0 && !NoModemLines(errno)) {
    return errno;
  }
  if (Raise != 0 && ioctl(Fd, TIOCMBIS, &Raise) != 0 && !NoModemLines(errno)) {
    return errno;
  }
  return 0;
}

}  // namespace

int OpenDevice(const std::string& Port, TComHandle& Handle) {
  std::string Path = Port.find('/') == std::string::npos ? "/dev/" + Port : Port;
  int Fd = open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Fd < 0) {
    return errno;
  }
  // TIOCEXCL does not stop root, so the lock is what keeps a second opener
  // out; the flag still stops other users' programs that take no lock.
  if (flock(Fd, LOCK_EX | LOCK_NB) != 0) {
    int Error = errno == EWOULDBLOCK ? EBUSY : errno;
    close(Fd);
    return Error;
  }
  ioctl(Fd, TIOCEXCL);
  Handle = Fd;
  return 0;
}

void CloseDevice(TComHandle Handle) {
  int Fd = Descriptor(Handle);
  // The exclusive flag belongs to the device, not to the descriptor.
  ioctl(Fd, TIOCNXCL);
  close(Fd);
}

// USB adapters otherwise hold received bytes back for up to 16 ms, which
// every DC1/DC3 turnaround of the board's handshake would pay. Drivers that
// have no such flag (pseudo-terminals among them) refuse; nothing is lost.
void SetLowLatency(TComHandle Handle, TSerialFlags& Flags) {
  Flags = {};
#ifdef __linux__
  serial_struct Serial{};
  const int Fd = Descriptor(Handle);
  if (ioctl(Fd, TIOCGSERIAL, &Serial) != 0 || (Serial.flags & ASYNC_LOW_LATENCY) != 0) {
    return;
  }
  const int Before = Serial.flags;
  Serial.flags |= ASYNC_LOW_LATENCY;
  if (ioctl(Fd, TIOCSSERIAL, &Serial) == 0) {
    Flags.Changed = true;
    Flags.Before = Before;
  }
#else
  (void)Handle;
#endif
}

void RestoreSerialFlags(TComHandle Handle, const TSerialFlags& Flags) {
#ifdef __linux__
  if (!Flags.Changed) {
    return;
  }
  // Read afresh: only the flags are the port's to put back.
  serial_struct Serial{};
  const int Fd = Descriptor(Handle);
  if (ioctl(Fd, TIOCGSERIAL, &Serial) == 0) {
    Serial.flags = Flags.Before;
    ioctl(Fd, TIOCSSERIAL, &Serial);
  }
#else
  (void)Handle;
  (void)Flags;
#endif
}

namespace {

// The boot the note was written in: a timer outlives no reboot, and a note
// from before one says nothing about it.
std::string BootId() {
  std::ifstream In("/proc/sys/kernel/random/boot_id");
  std::string Id;
  std::getline(In, Id);
  return Id;
}

// StateDir/latency-<the attribute's path with '/' as '%'>.
std::string MarkerPath(const std::string& StateDir, const std::string& Attribute) {
  std::string Name = Attribute;
  std::replace(Name.begin(), Name.end(), '/', '%');
  return StateDir + "/latency-" + Name;
}

// The note's "before" when it was written in this boot; nothing otherwise.
std::optional<int> ReadMarker(const std::string& Path) {
  std::ifstream In(Path);
  std::string Key;
  std::string Value;
  std::optional<int> Before;
  std::string Boot;
  while (In >> Key >> Value) {
    if (Key == "before") {
      Before = std::atoi(Value.c_str());
    } else if (Key == "boot") {
      Boot = Value;
    }
  }
  return Boot == BootId() ? Before : std::nullopt;
}

bool WriteMarker(const std::string& Path, int Before) {
  std::ofstream Out(Path, std::ios::trunc);
  Out << "before " << Before << "\npid " << getpid() << "\nboot " << BootId() << "\n";
  Out.flush();
  return static_cast<bool>(Out);
}

}  // namespace

void LowerLatencyTimer(const std::string& Port, const std::string& SysfsRoot,
                       const std::string& StateDir, TAdapterLatency& Latency) {
  Latency = {};
  const std::optional<std::string> Attribute = LatencyTimerPath(Port, SysfsRoot);
  int Before = 0;
  if (!Attribute || ReadDecimalFile(*Attribute, Before) != 0) {
    return;
  }
  Latency.Found = true;
  Latency.Attribute = *Attribute;
  Latency.Before = Latency.Now = Before;
  std::snprintf(Latency.BeforeText, sizeof Latency.BeforeText, "%d\n", Before);
  const std::string Marker = StateDir.empty() ? "" : MarkerPath(StateDir, *Attribute);
  if (Before <= 1) {
    // At 1 with a note of this boot: lowered by a run that never put it
    // back. Anything else: the note is stale (the adapter was plugged in
    // again, or the user set the timer).
    if (const std::optional<int> Noted = Marker.empty() ? std::nullopt : ReadMarker(Marker);
        Noted && Before == 1) {
      Latency.LeftLow = true;
      Latency.LeftBefore = *Noted;
      Latency.Marker = Marker;
    } else if (!Marker.empty()) {
      unlink(Marker.c_str());
    }
    return;
  }
  // The note is written before the timer, so that no moment exists in
  // which the timer is low and nobody knows why.
  // Without a place for the note the timer stays as it is: a run killed
  // with it low would leave it so with nobody the wiser.
  std::error_code NoFolder;
  if (Marker.empty() || !(std::filesystem::create_directories(StateDir, NoFolder) || !NoFolder) ||
      !WriteMarker(Marker, Before)) {
    if (!Marker.empty()) {
      unlink(Marker.c_str());
    }
    Latency.Unnoted = true;
    return;
  }
  Latency.Marker = Marker;
  Latency.WriteError = WriteDecimalFile(*Attribute, 1);
  if (Latency.WriteError != 0) {
    if (!Latency.Marker.empty()) {
      unlink(Latency.Marker.c_str());
      Latency.Marker.clear();
    }
    return;
  }
  Latency.Changed = true;
  ReadDecimalFile(*Attribute, Latency.Now);
}

void RestoreLatencyTimer(const TAdapterLatency& Latency) {
  if (!Latency.Changed) {
    return;
  }
  // Only calls a signal handler may make.
  const int Fd = open(Latency.Attribute.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (Fd >= 0) {
    const size_t Length = std::strlen(Latency.BeforeText);
    const bool Restored = write(Fd, Latency.BeforeText, Length) == static_cast<ssize_t>(Length);
    close(Fd);
    if (Restored && !Latency.Marker.empty()) {
      unlink(Latency.Marker.c_str());
    }
  }
}

int SetupQueues(TComHandle Handle, int32_t, int32_t) {
  // The kernel sizes its own queues.
  return Descriptor(Handle) < 0 ? EBADF : 0;
}

int ApplyLineSettings(TComHandle Handle, const TLineSettings& Settings) {
  int Fd = Descriptor(Handle);
  if (int Error = SetTermios(Fd, Settings); Error != 0) {
    return Error;
  }
  return SetModemLines(Fd, Settings);
}

int ApplyTimeouts(TComHandle Handle, const TTimeoutRecord&) {
  // Every read and send takes the time-outs with it.
  return Descriptor(Handle) < 0 ? EBADF : 0;
}

int ReadModemLine(TComHandle Handle, TModemLine Line, bool& Active) {
  int Lines = 0;
  Active = false;
  if (ioctl(Descriptor(Handle), TIOCMGET, &Lines) != 0) {
    return NoModemLines(errno) ? 0 : errno;
  }
  switch (Line) {
    case TModemLine::mlCTS:
      Active = (Lines & TIOCM_CTS) != 0;
      break;
    case TModemLine::mlDSR:
      Active = (Lines & TIOCM_DSR) != 0;
      break;
    case TModemLine::mlRLSD:
      Active = (Lines & TIOCM_CAR) != 0;
      break;
  }
  return 0;
}

int AbortTransfers(TComHandle Handle) {
  // Transfers here are synchronous: when the port is closed none is pending.
  return Descriptor(Handle) < 0 ? EBADF : 0;
}

// A descriptor's transfers are synchronous and end by the port's own short
// waits; there is nothing to cancel from outside.
void CancelTransfers(TComHandle) noexcept {}

int AbandonedError() noexcept {
  return ECANCELED;
}

int Purge(TComHandle Handle, bool Input, bool Output) {
  int Fd = Descriptor(Handle);
  if (Fd < 0) {
    return EBADF;
  }
  if (!Input && !Output) {
    return 0;
  }
  int Queues = Input && Output ? TCIOFLUSH : (Input ? TCIFLUSH : TCOFLUSH);
  return tcflush(Fd, Queues) == 0 ? 0 : errno;
}

int InputCount(TComHandle Handle, int32_t& Count) {
  int Waiting = 0;
  if (ioctl(Descriptor(Handle), FIONREAD, &Waiting) != 0) {
    return errno;
  }
  Count = Waiting;
  return 0;
}

// The time-out rule of ReadLimits (UReadLimits.h).
int Read(TComHandle Handle, void* Buffer, int32_t Count, const TTimeoutRecord& Timeouts,
         int32_t& Transferred) {
  Transferred = 0;
  int Fd = Descriptor(Handle);
  if (Fd < 0) {
    return EBADF;
  }
  if (Count <= 0) {
    return 0;
  }
  const TReadLimits Limits = ReadLimits(Timeouts, Count);
  const bool FirstByteOnly = Limits.FirstByteOnly;
  std::optional<Clock::time_point> Deadline;
  if (Limits.TotalMs) {
    Deadline = DeadlineAfter(*Limits.TotalMs);
  }
  const bool GapLimited = Limits.GapMs.has_value();

  auto* Bytes = static_cast<uint8_t*>(Buffer);
  while (Transferred < Count) {
    std::optional<Clock::time_point> Until = Deadline;
    if (GapLimited && Transferred > 0) {
      Clock::time_point GapEnd = Clock::now() + milliseconds(*Limits.GapMs);
      Until = Until ? std::min(*Until, GapEnd) : GapEnd;
    }
    bool Ready = false;
    if (int Error = WaitFor(Fd, POLLIN, Until, Ready); Error != 0) {
      return Error;
    }
    if (!Ready) {
      break;
    }
    ssize_t Got = read(Fd, Bytes + Transferred, static_cast<size_t>(Count - Transferred));
    if (Got > 0) {
      Transferred += static_cast<int32_t>(Got);
      if (FirstByteOnly) {
        break;
      }
    } else if (Got == 0) {
      return EIO;  // readable yet empty: the device has hung up
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return errno;
    }
  }
  return 0;
}

int SendChar(TComHandle Handle, uint8_t Ch, const TTimeoutRecord& Timeouts) {
  int Fd = Descriptor(Handle);
  if (Fd < 0) {
    return EBADF;
  }
  // A full output queue is waited out for as long as the write time-outs
  // allow for one byte (both 0: without limit), in the kernel.
  std::optional<Clock::time_point> Deadline;
  uint64_t LimitMs =
      uint64_t{Timeouts.WriteTotalTimeoutMultiplier} + Timeouts.WriteTotalTimeoutConstant;
  if (LimitMs != 0) {
    Deadline = DeadlineAfter(LimitMs);
  }
  for (;;) {
    ssize_t Written = write(Fd, &Ch, 1);
    if (Written == 1) {
      return 0;
    }
    if (Written < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return errno;
    }
    bool Ready = false;
    if (int Error = WaitFor(Fd, POLLOUT, Deadline, Ready); Error != 0) {
      return Error;
    }
    if (!Ready) {
      return EAGAIN;
    }
  }
}

// poll waits without reading, so nothing is ever taken off the line here.
int WaitForInput(TComHandle Handle, int32_t TimeoutMs, const TTimeoutRecord&, bool& Ready,
                 std::optional<uint8_t>&) {
  Ready = false;
  int Fd = Descriptor(Handle);
  if (Fd < 0) {
    return EBADF;
  }
  return WaitFor(Fd, POLLIN, DeadlineAfter(static_cast<uint64_t>(std::max(TimeoutMs, 0))), Ready);
}

int ListPorts(std::vector<std::string>& Names) {
  return ScanTtyClass("/sys/class/tty", Names);
}

}  // namespace korvane::binding
