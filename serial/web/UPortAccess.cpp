// Why a port could not be opened, in the page's words.
#include <cerrno>
#include <system_error>

#include "UComBinding.h"
#include "UPortAccess.h"

namespace korvane {

namespace binding {

std::string RefusalReason(int PlatformError, const std::string&) {
  if (PlatformError == EBUSY) {
    return "Port is open in another tab or program";
  }
  return std::generic_category().message(PlatformError);
}

}  // namespace binding

std::string PermissionHint(const std::string& Name) {
  return "hint: let the page use " + Name + " with \"Choose port\xE2\x80\xA6\"";
}

}  // namespace korvane
