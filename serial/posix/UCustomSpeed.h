// Line speeds that the termios speed constants do not name (14400, 56000,
// 128000, 256000 and custom rates).
#pragma once

#include <cstdint>

namespace korvane::binding {

// Sets both directions of the open terminal Fd to Rate bits per second.
// Returns 0 or the errno of the failure (EINVAL where the system has no way
// to ask for an arbitrary speed).
int SetCustomSpeed(int Fd, uint32_t Rate);

}  // namespace korvane::binding
