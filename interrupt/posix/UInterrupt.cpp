// Stop requests as POSIX signals. The handler touches only what a handler
// may: lock-free atomics, write(2), the port's release and _exit.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "UInterrupt.h"

namespace korvane {

namespace {

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The one watch's state; a handler can reach nothing else.
std::atomic<const TComPort*> GuardedPort{nullptr};
std::atomic<bool> Deferred{false};
std::atomic<bool> Recorded{false};
struct sigaction Previous[sizeof StopSignals / sizeof StopSignals[0]];

static_assert(std::atomic<const TComPort*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

void Say(const char* Text) {
  // Nothing can be done about a lost message in a process about to end.
  [[maybe_unused]] const ssize_t Ignored = write(STDERR_FILENO, Text, std::strlen(Text));
}

void EndNow(const char* Text) {
  if (const TComPort* Port = GuardedPort.load()) {
    Port->ReleaseNow();
  }
  Say(Text);
  _exit(TInterruptWatch::ExitCode);
}

void OnStopSignal(int) {
  if (!Deferred.load()) {
    EndNow("Interrupted\n");
  }
  if (Recorded.exchange(true)) {
    EndNow("Interrupted again: stopped at once, without waiting for the board\n");
  }
}

}  // namespace

TInterruptWatch::TInterruptWatch() {
  Recorded = false;
  Deferred = false;
  GuardedPort = nullptr;
  struct sigaction Action {};
  Action.sa_handler = OnStopSignal;
  sigemptyset(&Action.sa_mask);
  // Calls that a request interrupts go on; the programmer looks at the
  // request at its own safe points.
  Action.sa_flags = SA_RESTART;
  for (size_t Index = 0; Index < std::size(StopSignals); ++Index) {
    sigaction(StopSignals[Index], &Action, &Previous[Index]);
  }
}

TInterruptWatch::~TInterruptWatch() {
  for (size_t Index = 0; Index < std::size(StopSignals); ++Index) {
    sigaction(StopSignals[Index], &Previous[Index], nullptr);
  }
  GuardedPort = nullptr;
}

void TInterruptWatch::GuardPort(const TComPort* Port) {
  GuardedPort = Port;
}

void TInterruptWatch::SetDeferred(bool Value) {
  Deferred = Value;
}

bool TInterruptWatch::Requested() const {
  return Recorded.load();
}

}  // namespace korvane
