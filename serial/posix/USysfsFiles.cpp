#include "USysfsFiles.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace korvane::binding {

std::optional<std::string> TtyKernelName(const std::string& Port) {
  const std::string Path = Port.find('/') == std::string::npos ? "/dev/" + Port : Port;
  char Resolved[PATH_MAX];
  if (realpath(Path.c_str(), Resolved) == nullptr) {
    return std::nullopt;
  }
  const std::string Full = Resolved;
  return Full.substr(Full.rfind('/') + 1);
}

std::optional<std::string> LatencyTimerPath(const std::string& Port, const std::string& SysfsRoot) {
  const std::optional<std::string> Name = TtyKernelName(Port);
  if (!Name || Name->empty()) {
    return std::nullopt;
  }
  return SysfsRoot + "/class/tty/" + *Name + "/device/latency_timer";
}

int ReadDecimalFile(const std::string& Path, int& Value) {
  const int Fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) {
    return errno;
  }
  char Text[32] = {};
  const ssize_t Got = read(Fd, Text, sizeof Text - 1);
  const int Error = Got < 0 ? errno : 0;
  close(Fd);
  if (Error != 0) {
    return Error;
  }
  char* End = nullptr;
  const long Number = std::strtol(Text, &End, 10);
  if (End == Text || Number < 0 || Number > 1000000) {
    return EINVAL;
  }
  Value = static_cast<int>(Number);
  return 0;
}

int WriteDecimalFile(const std::string& Path, int Value) {
  const int Fd = open(Path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (Fd < 0) {
    return errno;
  }
  const std::string Text = std::to_string(Value) + "\n";
  const ssize_t Written = write(Fd, Text.data(), Text.size());
  const int Error = Written < 0 ? errno : 0;
  return close(Fd) != 0 && Error == 0 ? errno : Error;
}

}  // namespace korvane::binding
