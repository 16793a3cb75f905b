// Helpers for the board's system calls: an error that names the call's
// failure, and closing a descriptor once.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace korvane::sim {

// What went wrong, followed by errno's text.
inline std::runtime_error SystemError(const std::string& What) {
  return std::runtime_error(What + ": " + std::strerror(errno));
}

// Closes Fd when it is open and marks it closed.
inline void CloseFd(int& Fd) {
  if (Fd >= 0) {
    ::close(Fd);
    Fd = -1;
  }
}

}  // namespace korvane::sim
