#include "UStopSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "UPosixCall.h"

namespace korvane::sim {

TStopSignal::~TStopSignal() {
  Close();
}

void TStopSignal::Open() {
  FSeen = false;
  if (FPipe[0] < 0 && ::pipe2(FPipe, O_CLOEXEC) != 0) {
    throw SystemError("cannot make the stop pipe");
  }
}

void TStopSignal::Close() {
  CloseFd(FPipe[0]);
  CloseFd(FPipe[1]);
}

void TStopSignal::Raise() {
  const char Byte = 0;
  while (::write(FPipe[1], &Byte, 1) < 0 && errno == EINTR) {
  }
}

}  // namespace korvane::sim
