// Stop requests as POSIX signals.
#include <fcntl.h>
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

bool AbandonPort(const TComPort& Port) noexcept {
  const auto Descriptor = static_cast<int>(Port.Handle());
  if (Descriptor < 0) {
    return true;
  }
  Port.ReleaseNow();
  // The handler runs on the thread that uses the port, so nothing can take
  // the freed number before the null device does: read-only, a read finds
  // the end (a hang-up to the port) and a write fails.
  const int Dead = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (Dead >= 0 && Dead != Descriptor) {
    dup2(Dead, Descriptor);
    close(Dead);
  }
  return true;
}

void Say(const char* Text) noexcept {
  // Nothing can be done about a message that cannot be written.
  [[maybe_unused]] const ssize_t Ignored = write(STDERR_FILENO, Text, std::strlen(Text));
}

void WriteOut(const char* Text) noexcept {
  [[maybe_unused]] const ssize_t Ignored = write(STDOUT_FILENO, Text, std::strlen(Text));
}

void EndProcess(const char* Text, int Code) noexcept {
  Say(Text);
  _exit(Code);
}

}  // namespace korvane::binding
