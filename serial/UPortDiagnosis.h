// What the check-up (korvane-cli doctor) finds out about a port and the
// machine around it, where the platform can tell: the adapter behind the
// port, the group that may open it, who holds it, and the programs known to
// take serial adapters away.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct TAdapterInfo {
  // A USB serial adapter (it has a USB vendor and product).
  bool IsUsb = false;
  // The kernel driver ("ftdi_sio", "ch341"); empty when not known.
  std::string Driver;
  // "0403:6001"; empty for a port that is not USB.
  std::string VendorProduct;
};

// The adapter behind Port, from the sysfs tree under SysfsRoot.
TAdapterInfo DescribeAdapter(const std::string& Port, const std::string& SysfsRoot);

struct TGroupAccess {
  // The group that owns the device and may read and write it.
  std::string Group;
  // The user is in it in this login, and in the group database (a member
  // who is not in it in this login has not logged in since joining).
  bool InThisLogin = false;
  bool InDatabase = false;
};

// Nothing when the device gives its group no access, or there is no group.
std::optional<TGroupAccess> DeviceGroupAccess(const std::string& Port);

// Who owns the device and what its mode lets others do.
struct TDeviceOwner {
  std::string User;
  std::string Group;
  // The permission bits (0600).
  unsigned Mode = 0;
};

// Nothing where the platform has no owners and modes, or the device is gone.
std::optional<TDeviceOwner> DeviceOwner(const std::string& Port);

// The processes that have the device open or locked, as "1234 (minicom)".
// The lock table names a holder that belongs to another user, whose open
// files this process may not see.
std::vector<std::string> DeviceHolders(const std::string& Port);

// Whether a program of that name runs now, and whether it is installed.
bool ProgramRunning(const std::string& Name);
bool ProgramInstalled(const std::string& Name);

}  // namespace korvane
