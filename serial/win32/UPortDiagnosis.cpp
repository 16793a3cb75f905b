// Windows keeps none of these facts where a program may read them simply;
// the check-up reports what it can without them.
#include "UPortDiagnosis.h"

namespace korvane {

TAdapterInfo DescribeAdapter(const std::string&, const std::string&) {
  return {};
}

std::optional<TGroupAccess> DeviceGroupAccess(const std::string&) {
  return std::nullopt;
}

std::optional<TDeviceOwner> DeviceOwner(const std::string&) {
  return std::nullopt;
}

std::vector<std::string> DeviceHolders(const std::string&) {
  return {};
}

bool ProgramRunning(const std::string&) {
  return false;
}

bool ProgramInstalled(const std::string&) {
  return false;
}

}  // namespace korvane
