// The virtual board's line: a pseudo-terminal whose master end is served by a
// thread that feeds the firmware, paces the bytes like a 9600-baud wire when
// asked to, and keeps the transcript.
#include "UBoardSim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "UBoardFirmware.h"

namespace korvane::sim {

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// One byte at 9600 baud: a start bit, eight data bits, a stop bit.
constexpr auto CByteTime = std::chrono::nanoseconds(10 * 1000000000LL / 9600);
// How long the board looks for a sent piece to land in the host's input, and
// how long it then waits for the host to take it.
constexpr auto CLandingTime = 20ms;
constexpr auto CTakingTime = 1000ms;
constexpr auto CTakenPoll = 50us;
// How late this thread may wake from a paced wait and still act at the moment
// it meant to: the lateness is this machine's, the board's firmware reacts at
// once. Well under a byte time.
constexpr auto CWakeLateness = 500us;
// A timed sleep here wakes 50 to 100 us late (more under load). Where the
// host is waiting for the byte (the end of an output: each DC1 of a write
// stream, the prompt of an answer) that lateness would be the host's lost
// time, byte after byte, so such a wait sleeps until this long before its
// deadline and spins the rest.
constexpr auto CSpinLead = 150us;

std::runtime_error SystemError(const std::string& What) {
  return std::runtime_error(What + ": " + std::strerror(errno));
}

void CloseFd(int& Fd) {
  if (Fd >= 0) {
    ::close(Fd);
    Fd = -1;
  }
}

}  // namespace

struct TBoardSim::TImpl final : IBoardLine {
  explicit TImpl(TBoardSimOptions Opts)
      : Options(std::move(Opts)), State(Options), Firmware(Options, State, *this) {}

  TBoardSimOptions Options;
  TBoardState State;
  TBoardFirmware Firmware;

  int Master = -1;
  // The board's own hold on the slave: the line stays up between host
  // sessions, and bytes the host leaves behind are not lost when it closes.
  int KeepSlave = -1;
  int StopPipe[2] = {-1, -1};
  bool Stopping = false;
  bool Linked = false;
  std::string Device;
  std::thread Server;
  std::ofstream Transcript;
  // When each direction of the wire is next free (Realtime only).
  TClock::time_point RxFree{};
  TClock::time_point TxFree{};
  // The end of the last paced wait: the moment the board acted at.
  TClock::time_point Reached{};

  // The moment the board acts at now: the end of the paced wait it has just
  // come out of, or the clock when it has been idle since.
  TClock::time_point ActingTime() const {
    const auto Now = TClock::now();
    return Now - Reached < CWakeLateness ? Reached : Now;
  }

  // Waits until Deadline unless Stop() comes first; false once stopping.
  // OnTime: the host is waiting for what follows, so wake at the deadline
  // itself rather than when the kernel gets round to it.
  bool WaitUntil(TClock::time_point Deadline, bool OnTime = false) {
    const auto Lead = OnTime ? TClock::duration(CSpinLead) : TClock::duration::zero();
    while (!Stopping) {
      const auto Left = Deadline - TClock::now();
      if (Left <= 0ns) {
        Reached = Deadline;
        return true;
      }
      if (Left <= Lead) {
        std::this_thread::yield();
        continue;
      }
      const auto Ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Left - Lead).count();
      const timespec Timeout{time_t(Ns / 1000000000), long(Ns % 1000000000)};
      pollfd Fd{StopPipe[0], POLLIN, 0};
      if (::ppoll(&Fd, 1, &Timeout, nullptr) > 0) {
        Stopping = true;
      }
    }
    return false;
  }

  void Record(char Direction, std::string_view Bytes) {
    if (!Transcript.is_open()) {
      return;
    }
    for (unsigned char Byte : Bytes) {
      Transcript << Direction << ' ' << DescribeByte(Byte) << '\n';
    }
  }

  // Writes all of Bytes to the master, waiting for room as the host reads.
  bool WriteAll(std::string_view Bytes) {
    while (!Bytes.empty() && Master >= 0 && !Stopping) {
      ssize_t Put;
      {
        // Counted under the lock that Counters() takes, so that a host that
        // has read a byte never finds it uncounted.
        std::lock_guard<std::mutex> Guard(State.Lock);
        Put = ::write(Master, Bytes.data(), Bytes.size());
        if (Put > 0) {
          State.Counters.BytesToHost += uint64_t(Put);
        }
      }
      if (Put > 0) {
        Record('<', Bytes.substr(0, size_t(Put)));
        Bytes.remove_prefix(size_t(Put));
        continue;
      }
      if (Put < 0 && errno == EINTR) {
        continue;
      }
      if (Put < 0 && errno != EAGAIN) {
        Note(std::string("write to the host failed: ") + std::strerror(errno));
        return false;
      }
      pollfd Fds[2] = {{Master, POLLOUT, 0}, {StopPipe[0], POLLIN, 0}};
      if (::poll(Fds, 2, -1) > 0 && Fds[1].revents != 0) {
        Stopping = true;
      }
    }
    return Bytes.empty();
  }

  bool Send(std::string_view Bytes) override {
    if (!Options.Realtime) {
      return WriteAll(Bytes);
    }
    // The bytes of one output leave back to back: each starts when the one
    // before it has left, not when this thread got round to it, so wake-up
    // delays do not add up over a long stream.
    TxFree = std::max(ActingTime(), TxFree);
    for (size_t I = 0; I < Bytes.size(); ++I) {
      // A byte reaches the host once all its bits are on the wire.
      TxFree += CByteTime;
      const bool Last = I + 1 == Bytes.size();
      if (!WaitUntil(TxFree, Last) || !WriteAll(Bytes.substr(I, 1))) {
        return false;
      }
    }
    return true;
  }

  size_t HostInputCount() const {
    int Count = 0;
    if (KeepSlave < 0 || ::ioctl(KeepSlave, FIONREAD, &Count) != 0) {
      return 0;
    }
    return size_t(Count);
  }

  void AwaitTaken() override {
    // The pty moves written bytes into the host's input asynchronously, so an
    // empty input can mean "not there yet" as well as "already taken".
    auto Deadline = TClock::now() + CLandingTime;
    while (HostInputCount() == 0 && TClock::now() < Deadline) {
      if (!WaitUntil(TClock::now() + CTakenPoll)) {
        return;
      }
    }
    Deadline = TClock::now() + CTakingTime;
    while (HostInputCount() > 0) {
      if (TClock::now() >= Deadline) {
        Note("the host did not take the board's output");
        return;
      }
      if (!WaitUntil(TClock::now() + CTakenPoll)) {
        return;
      }
    }
  }

  void Busy(int Ms) override {
    if (Options.Realtime && Ms > 0) {
      WaitUntil(TClock::now() + std::chrono::milliseconds(Ms));
    }
  }

  void HangUp() override {
    // Closing the master hangs the slave up and drops its unread input, so the
    // bytes already on the wire are let through first, as a cable pulled
    // after them would.
    AwaitTaken();
    Note("hang-up: the board closes the line");
    Close();
  }

  void Note(std::string_view Text) override {
    if (Transcript.is_open()) {
      Transcript << "! " << Text << '\n';
    }
  }

  void Close() {
    CloseFd(Master);
    CloseFd(KeepSlave);
  }

  void Receive(const uint8_t* Bytes, size_t Count) {
    const auto Arrival = TClock::now();
    for (size_t I = 0; I < Count && Master >= 0 && !Stopping; ++I) {
      // A byte is acted upon once its last bit has come in.
      if (Options.Realtime) {
        RxFree = std::max(Arrival, RxFree) + CByteTime;
        if (!WaitUntil(RxFree)) {
          return;
        }
      }
      Record('>', std::string_view(reinterpret_cast<const char*>(Bytes + I), 1));
      {
        std::lock_guard<std::mutex> Guard(State.Lock);
        ++State.Counters.BytesFromHost;
        State.Received += char(Bytes[I]);
      }
      Firmware.Receive(Bytes[I]);
    }
  }

  void Serve() {
#ifdef __linux__
    if (Options.Realtime) {
      // The kernel may otherwise defer a timed wake-up by 50 us to batch it.
      ::prctl(PR_SET_TIMERSLACK, 1UL);
    }
#endif
    uint8_t Buffer[512];
    while (Master >= 0 && !Stopping) {
      pollfd Fds[2] = {{Master, POLLIN, 0}, {StopPipe[0], POLLIN, 0}};
      if (::poll(Fds, 2, -1) < 0) {
        if (errno == EINTR) {
          continue;
        }
        Note(std::string("poll failed: ") + std::strerror(errno));
        return;
      }
      if (Fds[1].revents != 0) {
        Stopping = true;
        return;
      }
      const ssize_t Got = ::read(Master, Buffer, sizeof Buffer);
      if (Got > 0) {
        Receive(Buffer, size_t(Got));
        Transcript.flush();
      } else if (Got == 0 || (errno != EAGAIN && errno != EINTR)) {
        Note(std::string("read from the host failed: ") + std::strerror(errno));
        return;
      }
    }
  }

  void OpenPty() {
    Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (Master < 0) {
      throw SystemError("cannot open a pseudo-terminal");
    }
    if (::grantpt(Master) != 0 || ::unlockpt(Master) != 0) {
      throw SystemError("cannot unlock the pseudo-terminal");
    }
    const char* Name = ::ptsname(Master);
    if (Name == nullptr) {
      throw SystemError("cannot name the pseudo-terminal");
    }
    Device = Name;
    KeepSlave = ::open(Name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (KeepSlave < 0) {
      throw SystemError("cannot open " + Device);
    }
    // Raw before anyone can know the name: no byte is ever cooked or echoed.
    termios Settings{};
    if (::tcgetattr(KeepSlave, &Settings) != 0) {
      throw SystemError("cannot read the settings of " + Device);
    }
    ::cfmakeraw(&Settings);
    ::cfsetspeed(&Settings, B9600);
    if (::tcsetattr(KeepSlave, TCSANOW, &Settings) != 0) {
      throw SystemError("cannot make " + Device + " raw");
    }
  }

  void MakeLink() {
    const std::string& Path = Options.LinkPath;
    struct stat Existing {};
    if (::lstat(Path.c_str(), &Existing) == 0) {
      if (!S_ISLNK(Existing.st_mode)) {
        throw std::runtime_error("will not replace " + Path + ": it is not a symbolic link");
      }
      ::unlink(Path.c_str());
    }
    if (::symlink(Device.c_str(), Path.c_str()) != 0) {
      throw SystemError("cannot link " + Path + " to " + Device);
    }
    Linked = true;
  }
};

TBoardSim::TBoardSim(TBoardSimOptions Options)
    : FImpl(std::make_unique<TImpl>(std::move(Options))) {}

TBoardSim::~TBoardSim() {
  Stop();
}

void TBoardSim::Start() {
  TImpl& I = *FImpl;
  if (I.Server.joinable()) {
    return;
  }
  try {
    I.Stopping = false;
    I.OpenPty();
    if (::pipe2(I.StopPipe, O_CLOEXEC) != 0) {
      throw SystemError("cannot make the stop pipe");
    }
    if (!I.Options.TranscriptPath.empty()) {
      I.Transcript.open(I.Options.TranscriptPath, std::ios::out | std::ios::trunc);
      if (!I.Transcript) {
        throw std::runtime_error("cannot write the transcript " + I.Options.TranscriptPath);
      }
      I.Transcript << "# korvane-boardsim " << I.State.Chip.Name() << " on " << I.Device
                   << (I.Options.Realtime ? " (realtime)" : "") << '\n';
    }
    if (!I.Options.LinkPath.empty()) {
      I.MakeLink();
    }
  } catch (...) {
    Stop();
    throw;
  }
  I.Server = std::thread([&I] { I.Serve(); });
}

void TBoardSim::Stop() {
  TImpl& I = *FImpl;
  if (I.Server.joinable()) {
    const char Byte = 0;
    while (::write(I.StopPipe[1], &Byte, 1) < 0 && errno == EINTR) {
    }
    I.Server.join();
  }
  I.Close();
  CloseFd(I.StopPipe[0]);
  CloseFd(I.StopPipe[1]);
  if (I.Linked) {
    ::unlink(I.Options.LinkPath.c_str());
    I.Linked = false;
  }
  if (I.Transcript.is_open()) {
    I.Transcript.close();
  }
}

const std::string& TBoardSim::DevicePath() const {
  return FImpl->Device;
}

std::vector<uint8_t> TBoardSim::Flash() const {
  std::lock_guard<std::mutex> Guard(FImpl->State.Lock);
  return FImpl->State.Chip.Cells();
}

void TBoardSim::SetFlash(const std::vector<uint8_t>& Contents) {
  std::lock_guard<std::mutex> Guard(FImpl->State.Lock);
  FImpl->State.Chip.SetCells(Contents);
}

bool TBoardSim::Locked() const {
  std::lock_guard<std::mutex> Guard(FImpl->State.Lock);
  return FImpl->State.Chip.Locked();
}

TBoardSimCounters TBoardSim::Counters() const {
  std::lock_guard<std::mutex> Guard(FImpl->State.Lock);
  return FImpl->State.Counters;
}

std::string TBoardSim::ReceivedBytes() const {
  std::lock_guard<std::mutex> Guard(FImpl->State.Lock);
  return FImpl->State.Received;
}

}  // namespace korvane::sim
