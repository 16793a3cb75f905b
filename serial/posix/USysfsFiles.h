// The sysfs attributes of a serial device: where a tty's latency timer is,
// and reading and writing such one-number files.
#pragma once

#include <optional>
#include <string>

namespace korvane::binding {

// The kernel's name of the tty behind Port: the last part of the device's
// path once every symbolic link is resolved (/dev/serial/by-id/usb-...-port0
// gives ttyUSB0). Nothing when the path cannot be resolved.
std::optional<std::string> TtyKernelName(const std::string& Port);
// SysfsRoot/class/tty/NAME/device/latency_timer for Port's tty.
std::optional<std::string> LatencyTimerPath(const std::string& Port, const std::string& SysfsRoot);
// The decimal number the file holds; 0 or the errno of the failure (EINVAL
// for a file that holds no number).
int ReadDecimalFile(const std::string& Path, int& Value);
// Writes Value as decimal text; 0 or the errno of the failure.
int WriteDecimalFile(const std::string& Path, int Value);

}  // namespace korvane::binding
