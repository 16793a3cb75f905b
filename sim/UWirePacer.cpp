#include "UWirePacer.h"

#include <poll.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <thread>

namespace korvane::sim {

namespace {

using namespace std::chrono_literals;

// How late this thread may wake from a paced wait and still act at the moment
// it meant to: the lateness is this machine's, the board's firmware reacts at
// once. Well under a byte time.
constexpr auto CWakeLateness = 500us;

}  // namespace

void TWirePacer::TuneThread() const {
#ifdef __linux__
  if (FRealtime) {
    // The kernel may otherwise defer a timed wake-up by 50 us to batch it.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
  }
#endif
}

TWirePacer::TClock::time_point TWirePacer::ActingTime() const {
  const auto Now = TClock::now();
  return Now - FReached < CWakeLateness ? FReached : Now;
}

bool TWirePacer::WaitUntil(TClock::time_point Deadline, bool OnTime) {
  const auto Lead = OnTime && !FSleepOnly ? TClock::duration(CSpinLead) : TClock::duration::zero();
  while (!FStop.Seen()) {
    const auto Left = Deadline - TClock::now();
    if (Left <= 0ns) {
      FReached = Deadline;
      return true;
    }
    if (Left <= Lead) {
      std::this_thread::yield();
      continue;
    }
    const auto Ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Left - Lead).count();
    const timespec Timeout{time_t(Ns / 1000000000), long(Ns % 1000000000)};
    pollfd Fd{FStop.Fd(), POLLIN, 0};
    if (::ppoll(&Fd, 1, &Timeout, nullptr) > 0) {
      FStop.Notice();
    }
  }
  return false;
}

void TWirePacer::BeginOutput() {
  // The bytes of one output leave back to back: each starts when the one
  // before it has left, not when this thread got round to it, so wake-up
  // delays do not add up over a long stream.
  FTxFree = std::max(ActingTime(), FTxFree);
}

TWirePacer::TClock::time_point TWirePacer::NextOutputByte() {
  FTxFree += CByteTime;
  return FTxFree;
}

TWirePacer::TClock::time_point TWirePacer::NextInputByte(TClock::time_point Arrival) {
  FRxFree = std::max(Arrival, FRxFree) + CByteTime;
  return FRxFree;
}

}  // namespace korvane::sim
