// Stop requests as POSIX signals.
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <iterator>

#include "UInterruptBinding.h"

namespace korvane::binding {

namespace {

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction Previous[std::size(StopSignals)];
struct sigaction PreviousPipe;

void OnStopSignal(int) {
  OnStopRequest();
}

}  // namespace

void InstallStopHandlers() {
  struct sigaction Action {};
  Action.sa_handler = OnStopSignal;
  sigemptyset(&Action.sa_mask);
  // Calls that a request interrupts go on; the programmer looks at the
  // request at its own safe points.
  Action.sa_flags = SA_RESTART;
  for (size_t Index = 0; Index < std::size(StopSignals); ++Index) {
    sigaction(StopSignals[Index], &Action, &Previous[Index]);
  }
  // A reader that goes away (korvane-cli ... | head) would otherwise end the
  // process in the middle of a stream; the failed write says it instead.
  struct sigaction Ignore {};
  Ignore.sa_handler = SIG_IGN;
  sigemptyset(&Ignore.sa_mask);
  sigaction(SIGPIPE, &Ignore, &PreviousPipe);
}

void RemoveStopHandlers() {
  for (size_t Index = 0; Index < std::size(StopSignals); ++Index) {
    sigaction(StopSignals[Index], &Previous[Index], nullptr);
  }
  sigaction(SIGPIPE, &PreviousPipe, nullptr);
}

void EndProcess(const char* Text, int Code) noexcept {
  // Nothing can be done about a lost message in a process about to end.
  [[maybe_unused]] const ssize_t Ignored = write(STDERR_FILENO, Text, std::strlen(Text));
  _exit(Code);
}

}  // namespace korvane::binding
