// The machine's serial ports as Windows lists them in the registry's device
// map.
#pragma once

#include <string>
#include <vector>

#include "UWin32Records.h"

namespace korvane {

namespace binding {

// The registry key of the serial device map, under HKEY_LOCAL_MACHINE.
inline constexpr const char* SerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Appends the data of every value of Root\SubKey (each is a port name such
// as "COM1"), in enumeration order. A key that does not exist appends
// nothing: Windows makes the device map only once a serial port is there, so
// a machine without one (most laptops until a USB adapter is plugged in) has
// none. Returns 0, or the failed registry call's own result: 5 when the key
// may not be read, 234 when a value's name or data does not fit its 256-unit
// buffer.
int ReadPortMap(HKEY Root, const std::string& SubKey, std::vector<std::string>& Names);

}  // namespace binding

// ListSerialPorts over another registry key (a scratch key in tests):
// replaces List with the sorted names (none for a missing key), or raises
// EComPort code 23 with the registry call's result and leaves List as it was.
void ListSerialPortsFrom(HKEY Root, const std::string& SubKey, std::vector<std::string>& List);

}  // namespace korvane
