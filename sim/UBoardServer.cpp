#include "UBoardServer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

namespace korvane::sim {

namespace {

using namespace std::chrono_literals;

// How long the board looks for a sent piece to land in the host's input, and
// how long it then waits for the host to take it.
constexpr auto CLandingTime = 20ms;
constexpr auto CTakingTime = 1000ms;
constexpr auto CTakenPoll = 50us;

}  // namespace

TBoardServer::TBoardServer(const TBoardSimOptions& Options, TBoardState& State)
    : FOptions(Options),
      FState(State),
      FPacer(Options.Realtime, Options.SleepPacing, FStop),
      FAdapter(Options.UsbLatencyMs, Options.LatencyFile),
      FFirmware(Options, State, *this) {}

void TBoardServer::Open() {
  FPty.Open();
  FStop.Open();
  if (!FOptions.TranscriptPath.empty()) {
    FTranscript.Open(FOptions.TranscriptPath, "korvane-boardsim " + FState.Chip.Name() + " on " +
                                                  FPty.Device() +
                                                  (FOptions.Realtime ? " (realtime)" : ""));
  }
  if (!FOptions.LinkPath.empty()) {
    FPty.Link(FOptions.LinkPath);
  }
}

void TBoardServer::Close() {
  FPty.Close();
  FStop.Close();
  FPty.Unlink();
  FTranscript.Close();
}

bool TBoardServer::WriteAll(std::string_view Bytes) {
  while (!Bytes.empty() && FPty.IsOpen() && !FStop.Seen()) {
    ssize_t Put;
    {
      // Counted under the lock that Counters() takes, so that a host that
      // has read a byte never finds it uncounted.
      std::lock_guard<std::mutex> Guard(FState.Lock);
      Put = ::write(FPty.Master(), Bytes.data(), Bytes.size());
      if (Put > 0) {
        FState.Counters.BytesToHost += uint64_t(Put);
      }
    }
    if (Put > 0) {
      FTranscript.Record('<', Bytes.substr(0, size_t(Put)));
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
    pollfd Fds[2] = {{FPty.Master(), POLLOUT, 0}, {FStop.Fd(), POLLIN, 0}};
    if (::poll(Fds, 2, -1) > 0 && Fds[1].revents != 0) {
      FStop.Notice();
    }
  }
  return Bytes.empty();
}

bool TBoardServer::Emit(std::string_view Bytes, TClock::time_point Ready) {
  if (!FAdapter.Present()) {
    return WriteAll(Bytes);
  }
  FAdapter.Take(Bytes, Ready);
  while (FAdapter.Full()) {
    if (!WriteAll(FAdapter.Release())) {
      return false;
    }
  }
  // A latency of 0 holds nothing.
  return !FAdapter.Holding() || FAdapter.Due() > Ready || WriteAll(FAdapter.Release());
}

bool TBoardServer::Wait(TClock::time_point Deadline, bool OnTime) {
  while (FAdapter.Holding() && FAdapter.Due() <= Deadline) {
    // The host is waiting for the packet as it waits for a prompt.
    if (!FPacer.WaitUntil(FAdapter.Due(), true) || !WriteAll(FAdapter.Release())) {
      return false;
    }
  }
  return FPacer.WaitUntil(Deadline, OnTime);
}

bool TBoardServer::DeliverHeld() {
  return !FAdapter.Holding() || Wait(FAdapter.Due());
}

bool TBoardServer::Send(std::string_view Bytes) {
  if (!FPacer.Realtime()) {
    return Emit(Bytes, TClock::now());
  }
  FPacer.BeginOutput();
  for (size_t I = 0; I < Bytes.size(); ++I) {
    // A byte reaches the host once all its bits are on the wire; through an
    // adapter, it is only ready to go into a packet then.
    const bool Last = I + 1 == Bytes.size() && !FAdapter.Present();
    const auto Ready = FPacer.NextOutputByte();
    if (!Wait(Ready, Last) || !Emit(Bytes.substr(I, 1), Ready)) {
      return false;
    }
  }
  return true;
}

void TBoardServer::AwaitTaken() {
  if (!DeliverHeld()) {
    return;
  }
  // The pty moves written bytes into the host's input asynchronously, so an
  // empty input can mean "not there yet" as well as "already taken".
  auto Deadline = TClock::now() + CLandingTime;
  while (FPty.HostInputCount() == 0 && TClock::now() < Deadline) {
    if (!Wait(TClock::now() + CTakenPoll)) {
      return;
    }
  }
  Deadline = TClock::now() + CTakingTime;
  while (FPty.HostInputCount() > 0) {
    if (TClock::now() >= Deadline) {
      Note("the host did not take the board's output");
      return;
    }
    if (!Wait(TClock::now() + CTakenPoll)) {
      return;
    }
  }
}

void TBoardServer::Busy(int Ms) {
  if (FPacer.Realtime() && Ms > 0) {
    Wait(TClock::now() + std::chrono::milliseconds(Ms));
  }
}

void TBoardServer::HangUp() {
  // Closing the master hangs the slave up and drops its unread input, so the
  // bytes already on the wire are let through first, as a cable pulled after
  // them would.
  AwaitTaken();
  Note("hang-up: the board closes the line");
  FPty.Close();
}

void TBoardServer::Receive(const uint8_t* Bytes, size_t Count) {
  const auto Arrival = TClock::now();
  for (size_t I = 0; I < Count && FPty.IsOpen() && !FStop.Seen(); ++I) {
    // A byte is acted upon once its last bit has come in.
    if (FPacer.Realtime() && !Wait(FPacer.NextInputByte(Arrival))) {
      return;
    }
    FTranscript.Record('>', std::string_view(reinterpret_cast<const char*>(Bytes + I), 1));
    {
      std::lock_guard<std::mutex> Guard(FState.Lock);
      ++FState.Counters.BytesFromHost;
      FState.Received += char(Bytes[I]);
    }
    FFirmware.Receive(Bytes[I]);
  }
}

void TBoardServer::Serve() {
  FPacer.TuneThread();
  uint8_t Buffer[512];
  while (FPty.IsOpen() && !FStop.Seen()) {
    // While the adapter holds a packet, the wait for the host's next byte
    // ends in time to deliver it.
    timespec Timeout{};
    timespec* Until = nullptr;
    if (FAdapter.Holding()) {
      const auto Left = FAdapter.Due() - TWirePacer::CSpinLead - TClock::now();
      if (Left <= TClock::duration::zero()) {
        Wait(FAdapter.Due());
        FTranscript.Flush();
        continue;
      }
      const auto Ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Left).count();
      Timeout = {time_t(Ns / 1000000000), long(Ns % 1000000000)};
      Until = &Timeout;
    }
    pollfd Fds[2] = {{FPty.Master(), POLLIN, 0}, {FStop.Fd(), POLLIN, 0}};
    const int Ready = ::ppoll(Fds, 2, Until, nullptr);
    if (Ready < 0) {
      if (errno == EINTR) {
        continue;
      }
      Note(std::string("poll failed: ") + std::strerror(errno));
      return;
    }
    if (Ready == 0) {
      continue;
    }
    if (Fds[1].revents != 0) {
      FStop.Notice();
      return;
    }
    const ssize_t Got = ::read(FPty.Master(), Buffer, sizeof Buffer);
    if (Got > 0) {
      Receive(Buffer, size_t(Got));
      FTranscript.Flush();
    } else if (Got == 0 || (errno != EAGAIN && errno != EINTR)) {
      Note(std::string("read from the host failed: ") + std::strerror(errno));
      return;
    }
  }
}

}  // namespace korvane::sim
