// The sorted list of the machine's serial ports, for the board scan.
#pragma once

#include <string>
#include <vector>

namespace korvane {

// Replaces List with the names of the machine's serial ports, as Open
// accepts them, sorted. When the environment variable KORVANE_PORTS is set
// (even to the empty string), the list is exactly its colon-separated names,
// empty entries dropped; otherwise the platform's own list is read (on POSIX
// the serial devices under /sys/class/tty, on Windows the registry's serial
// device map). A failure raises EComPort code 23 with the platform's error
// number and leaves List as it was.
void ListSerialPorts(std::vector<std::string>& List);

// Sorts names in ascending text order, ignoring letter case, by the
// collation of the user's locale: "COM10" comes before "COM2". Names that
// differ only in case keep their relative order.
void SortPortNames(std::vector<std::string>& Names);

}  // namespace korvane
