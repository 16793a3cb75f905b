// Kept in a file of its own: the kernel's termios2 header cannot be
// included together with the C library's <termios.h>.
#include "UCustomSpeed.h"

#include <cerrno>

#ifdef __linux__
#include <asm/termbits.h>
#include <sys/ioctl.h>
#endif

namespace korvane::binding {

int SetCustomSpeed(int Fd, uint32_t Rate) {
  if (Rate == 0 || Rate > 0x7FFFFFFF) {
    return EINVAL;
  }
#if defined(__linux__) && defined(BOTHER)
  termios2 Line{};
  if (ioctl(Fd, TCGETS2, &Line) != 0) {
    return errno;
  }
  Line.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  Line.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  Line.c_ispeed = Rate;
  Line.c_ospeed = Rate;
  return ioctl(Fd, TCSETS2, &Line) == 0 ? 0 : errno;
#else
  (void)Fd;
  return EINVAL;
#endif
}

}  // namespace korvane::binding
