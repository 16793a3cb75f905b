// Whether a serial port can be opened, and why not: what the command line's
// port report and its check-up tell the user.
#pragma once

#include <string>

namespace korvane {

struct TPortAccess {
  bool Opened = false;
  // The platform's error number of the refusal (errno on POSIX).
  int Error = 0;
  // The refusal in words ("Permission denied"); empty when opened.
  std::string Reason;
  // The refusal is a lack of permission that the user can mend.
  bool PermissionDenied = false;
  // Another opener holds the port.
  bool Busy = false;
};

// Opens the port with the board's settings and closes it again.
TPortAccess ProbePort(const std::string& Name);

// How a user gets access to the device Name: on Linux, membership of the
// group that owns it (usually dialout, uucp on some systems) and a new login.
std::string PermissionHint(const std::string& Name);

}  // namespace korvane
