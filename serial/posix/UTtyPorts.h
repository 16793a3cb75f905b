// The machine's serial ports as the Linux kernel lists them in sysfs.
#pragma once

#include <string>
#include <vector>

namespace korvane {

namespace binding {

// Appends "/dev/<entry>" for every entry of the tty class folder ClassDir
// (normally /sys/class/tty) that is backed by a device (it has a "device"
// link), except serial ports whose UART type reads 0: the driver reserved
// them but found no hardware. Returns 0 or the errno of the failure.
int ScanTtyClass(const std::string& ClassDir, std::vector<std::string>& Names);

}  // namespace binding

// ListSerialPorts over another tty class folder (a fake tree in tests):
// replaces List with the sorted names, or raises EComPort code 23 with the
// errno and leaves List as it was.
void ListSerialPortsFrom(const std::string& ClassDir, std::vector<std::string>& List);

}  // namespace korvane
