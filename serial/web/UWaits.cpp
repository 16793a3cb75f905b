// Every sleep of the core (the board's settle times among them) yields to
// the page's event loop instead of holding the page's only thread: the page
// stays responsive and its streams go on meanwhile. libc's own nanosleep
// would spin.
#include <emscripten.h>

#include <cerrno>
#include <ctime>

extern "C" int nanosleep(const timespec* Request, timespec* Remaining) {
  if (Request == nullptr || Request->tv_nsec < 0 || Request->tv_nsec >= 1000000000L ||
      Request->tv_sec < 0) {
    errno = EINVAL;
    return -1;
  }
  const double Ms =
      static_cast<double>(Request->tv_sec) * 1000.0 + static_cast<double>(Request->tv_nsec) / 1e6;
  emscripten_sleep(static_cast<unsigned>(Ms + 0.5));
  if (Remaining != nullptr) {
    *Remaining = {};
  }
  return 0;
}
