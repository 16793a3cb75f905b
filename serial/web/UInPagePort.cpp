#include "UInPagePort.h"

#include <algorithm>
#include <utility>

namespace korvane::binding {

namespace {

using TDevices = std::vector<std::pair<std::string, std::shared_ptr<TInPageDevice>>>;

// The page's devices: the one registry the binding keeps, as a POSIX system
// keeps its device nodes.
TDevices& Devices() {
  static TDevices Attached;
  return Attached;
}

}  // namespace

void AttachInPageDevice(const std::string& Name, std::shared_ptr<TInPageDevice> Device) {
  TDevices& All = Devices();
  auto Found = std::find_if(All.begin(), All.end(),
                            [&Name](const auto& Entry) { return Entry.first == Name; });
  if (Found != All.end()) {
    Found->second = std::move(Device);
  } else {
    All.emplace_back(Name, std::move(Device));
  }
}

std::shared_ptr<TInPageDevice> FindInPageDevice(const std::string& Name) {
  for (const auto& [Entry, Device] : Devices()) {
    if (Entry == Name) {
      return Device;
    }
  }
  return nullptr;
}

std::vector<std::string> InPageDeviceNames() {
  std::vector<std::string> Names;
  for (const auto& Entry : Devices()) {
    Names.push_back(Entry.first);
  }
  return Names;
}

}  // namespace korvane::binding
