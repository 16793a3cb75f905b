#include "UStandardStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace korvane {

void KeepStandardStreamsOpen() noexcept {
  for (int Descriptor = 0; Descriptor <= STDERR_FILENO; ++Descriptor) {
    if (fcntl(Descriptor, F_GETFD) != -1 || errno != EBADF) {
      continue;
    }
    // open() gives the lowest free number, which is this one.
    const int Opened = open("/dev/null", O_RDONLY);
    if (Opened != Descriptor && Opened >= 0) {
      dup2(Opened, Descriptor);
      close(Opened);
    }
  }
}

}  // namespace korvane
