// Why a device could not be opened, as Windows reports it.
#include <windows.h>

#include "UComBinding.h"
#include "UPortAccess.h"

namespace korvane {

namespace binding {

std::string RefusalReason(int, const std::string& PortMessage) {
  return PortMessage;
}

std::string PlatformErrorSuffix(int PlatformError) {
  return " (win error code: " + std::to_string(PlatformError) + ")";
}

bool IsPermissionRefusal(int) {
  // Windows grants a COM port to whoever opens it first; a refusal there is
  // a port in use or missing, not a matter of permission.
  return false;
}

bool IsBusyRefusal(int Error) {
  return Error == ERROR_ACCESS_DENIED || Error == ERROR_SHARING_VIOLATION;
}

}  // namespace binding

std::string PermissionHint(const std::string& Name) {
  return "hint: close any other program that has " + Name + " open";
}

}  // namespace korvane
