#include "UPseudoTerminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "UPosixCall.h"

namespace korvane::sim {

TPseudoTerminal::~TPseudoTerminal() {
  Close();
  Unlink();
}

void TPseudoTerminal::Open() {
  FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (FMaster < 0) {
    throw SystemError("cannot open a pseudo-terminal");
  }
  if (::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0) {
    throw SystemError("cannot unlock the pseudo-terminal");
  }
  const char* Name = ::ptsname(FMaster);
  if (Name == nullptr) {
    throw SystemError("cannot name the pseudo-terminal");
  }
  FDevice = Name;
  FKeepSlave = ::open(Name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (FKeepSlave < 0) {
    throw SystemError("cannot open " + FDevice);
  }
  // Raw before anyone can know the name: no byte is ever cooked or echoed.
  termios Settings{};
  if (::tcgetattr(FKeepSlave, &Settings) != 0) {
    throw SystemError("cannot read the settings of " + FDevice);
  }
  ::cfmakeraw(&Settings);
  ::cfsetspeed(&Settings, B9600);
  if (::tcsetattr(FKeepSlave, TCSANOW, &Settings) != 0) {
    throw SystemError("cannot make " + FDevice + " raw");
  }
}

size_t TPseudoTerminal::HostInputCount() const {
  int Count = 0;
  if (FKeepSlave < 0 || ::ioctl(FKeepSlave, FIONREAD, &Count) != 0) {
    return 0;
  }
  return size_t(Count);
}

void TPseudoTerminal::Link(const std::string& Path) {
  struct stat Existing {};
  if (::lstat(Path.c_str(), &Existing) == 0) {
    if (!S_ISLNK(Existing.st_mode)) {
      throw std::runtime_error("will not replace " + Path + ": it is not a symbolic link");
    }
    ::unlink(Path.c_str());
  }
  if (::symlink(FDevice.c_str(), Path.c_str()) != 0) {
    throw SystemError("cannot link " + Path + " to " + FDevice);
  }
  FLinkPath = Path;
}

void TPseudoTerminal::Unlink() {
  if (!FLinkPath.empty()) {
    ::unlink(FLinkPath.c_str());
    FLinkPath.clear();
  }
}

void TPseudoTerminal::Close() {
  CloseFd(FMaster);
  CloseFd(FKeepSlave);
}

}  // namespace korvane::sim
