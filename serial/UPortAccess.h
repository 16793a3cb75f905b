// Whether a serial port can be opened, and why not: what the command line's
// port report and its check-up tell the user.
#pragma once

#include <string>
#include <vector>

namespace korvane {

class EComPort;

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
// The access that a refused open (the port's EComPort) reports.
TPortAccess AccessRefusedBy(const EComPort& Refusal);

// A port that could not be opened, and why.
struct TRefusedPort {
  std::string Name;
  TPortAccess Access;
};

// One line for the user about ports that could not be opened: each with its
// reason, and the fix for the first permission refusal. Empty for none.
std::string RefusedPortsNote(const std::vector<TRefusedPort>& Ports);

// How a user gets access to the device Name: on Linux, membership of the
// group that owns it (usually dialout, uucp on some systems) and a new login;
// for a device that no group may open, OwnerOnlyFix.
std::string PermissionHint(const std::string& Name);
// The fix for a device open to its owner alone: hand it to the serial
// devices' group with a mode that lets the group in, and join the group.
std::string OwnerOnlyFix(const std::string& Name);

}  // namespace korvane
