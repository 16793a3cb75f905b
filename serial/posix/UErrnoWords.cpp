// A platform error number in words, where errors are errno values (POSIX,
// and the page, whose C library has them too).
#include <cerrno>
#include <string>
#include <system_error>

#include "UComBinding.h"

namespace korvane::binding {

std::string PlatformErrorSuffix(int PlatformError) {
  // An errno has words; -1 (no number at all) has none worth printing.
  if (PlatformError <= 0) {
    return " (error " + std::to_string(PlatformError) + ")";
  }
  return " (error " + std::to_string(PlatformError) + ": " +
         std::generic_category().message(PlatformError) + ")";
}

bool IsPermissionRefusal(int Error) {
  return Error == EACCES || Error == EPERM;
}

bool IsBusyRefusal(int Error) {
  return Error == EBUSY;
}

}  // namespace korvane::binding
