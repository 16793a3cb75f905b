// Whether a serial port can be opened, and why not: what `ports` reports,
// and what the tool explains when the board scan found nothing.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvane::cli {

struct TPortAccess {
  bool Opened = false;
  // The platform's error number of the refusal (errno on POSIX).
  int Error = 0;
  // The refusal in words ("Permission denied"); empty when opened.
  std::string Reason;
  // The refusal is a lack of permission that the user can mend.
  bool PermissionDenied = false;
};

// Opens the port with the board's settings and closes it again.
TPortAccess ProbePort(const std::string& Name);

// How a Linux user gets access to the device Name: membership of the group
// that owns it (usually dialout), and a new login.
std::string PermissionHint(const std::string& Name);

// One line per port, "NAME: can be opened" or "NAME: cannot be opened
// (REASON)", and the hint after the first permission refusal. True when
// every port could be opened.
bool ReportPortAccess(const std::vector<std::string>& Names, std::ostream& Out);

}  // namespace korvane::cli
