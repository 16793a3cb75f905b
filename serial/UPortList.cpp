#include "UPortList.h"

#include <utility>

#include "UComBinding.h"
#include "UComPort.h"

namespace korvane {

namespace {

std::vector<std::string> SplitPortNames(const std::string& Text) {
  std::vector<std::string> Names;
  size_t Start = 0;
  while (Start <= Text.size()) {
    size_t End = Text.find(':', Start);
    if (End == std::string::npos) {
      End = Text.size();
    }
    if (End > Start) {
      Names.push_back(Text.substr(Start, End - Start));
    }
    Start = End + 1;
  }
  return Names;
}

}  // namespace

void ListSerialPorts(std::vector<std::string>& List) {
  std::vector<std::string> Names;
  if (int Error = binding::ListPorts(Names); Error != 0) {
    throw EComPort(ecPortListFailed, Error);
  }
  SortPortNames(Names);
  List = std::move(Names);
}

TPortListSource MachinePortList() {
  return ListSerialPorts;
}

TPortListSource FixedPortList(std::vector<std::string> Names) {
  SortPortNames(Names);
  return [Names = std::move(Names)](std::vector<std::string>& List) { List = Names; };
}

TPortListSource PortListFromSetting(const char* Setting) {
  if (Setting == nullptr) {
    return MachinePortList();
  }
  return FixedPortList(SplitPortNames(Setting));
}

}  // namespace korvane
