// The sorted list of the machine's serial ports, for the board scan, and the
// sources a program chooses its scan list from.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace korvane {

// Replaces List with the names of the machine's serial ports, as Open
// accepts them, sorted: on POSIX the serial devices under /sys/class/tty, on
// Windows the registry's serial device map. A failure raises EComPort code 23
// with the platform's error number and leaves List as it was.
void ListSerialPorts(std::vector<std::string>& List);

// Sorts names in ascending text order, ignoring letter case, by the
// collation of the user's locale: "COM10" comes before "COM2". Names that
// differ only in case keep their relative order.
void SortPortNames(std::vector<std::string>& Names);

// Where the board scan gets its list: a function that replaces the list it is
// given, or raises EComPort code 23 and leaves it as it was.
using TPortListSource = std::function<void(std::vector<std::string>& List)>;

// The machine's own ports (ListSerialPorts), read afresh at every call.
TPortListSource MachinePortList();
// Exactly Names, sorted as the machine's list is.
TPortListSource FixedPortList(std::vector<std::string> Names);
// The list a program's user chose with a setting of colon-separated device
// names (empty entries dropped; an empty setting is an empty list), or the
// machine's ports when there is no setting (Setting null). The programs read
// the setting from KORVANE_PORTS at their entry.
TPortListSource PortListFromSetting(const char* Setting);

}  // namespace korvane
