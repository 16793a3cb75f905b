#include "UTtyPorts.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <memory>

#include "UComPort.h"
#include "UPortList.h"

namespace korvane {

namespace binding {

namespace {

// The serial core gives every port it registers a "type" attribute; 0 is
// the unknown UART of a port slot with no chip behind it (the phantom
// ttyS1..ttyS31 of most PCs). Devices without the attribute are real.
bool IsPhantomUart(const std::string& EntryDir) {
  std::ifstream TypeFile(EntryDir + "/type");
  int Type = -1;
  return TypeFile >> Type && Type == 0;
}

}  // namespace

int ScanTtyClass(const std::string& ClassDir, std::vector<std::string>& Names) {
  std::unique_ptr<DIR, int (*)(DIR*)> Dir(opendir(ClassDir.c_str()), closedir);
  if (!Dir) {
    return errno;
  }
  for (;;) {
    errno = 0;
    const dirent* Entry = readdir(Dir.get());
    if (Entry == nullptr) {
      return errno;
    }
    std::string Name = Entry->d_name;
    if (Name == "." || Name == "..") {
      continue;
    }
    std::string EntryDir = ClassDir + "/" + Name;
    struct stat Link {};
    if (lstat((EntryDir + "/device").c_str(), &Link) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) {
        continue;  // a virtual terminal, pty or console: no device behind it
      }
      return errno;
    }
    if (!IsPhantomUart(EntryDir)) {
      Names.push_back("/dev/" + Name);
    }
  }
}

}  // namespace binding

void ListSerialPortsFrom(const std::string& ClassDir, std::vector<std::string>& List) {
  std::vector<std::string> Names;
  if (int Error = binding::ScanTtyClass(ClassDir, Names); Error != 0) {
    throw EComPort(ecPortListFailed, Error);
  }
  SortPortNames(Names);
  List = std::move(Names);
}

}  // namespace korvane
