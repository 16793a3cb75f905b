// The check-up's facts on Linux: sysfs for the adapter, the group database
// and this process's groups, /proc for holders and running programs.
#include "UPortDiagnosis.h"

#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "USysfsFiles.h"

namespace korvane {

namespace {

namespace fs = std::filesystem;

std::string DevicePath(const std::string& Port) {
  return Port.find('/') == std::string::npos ? "/dev/" + Port : Port;
}

std::string FirstLine(const fs::path& File) {
  std::ifstream In(File);
  std::string Line;
  std::getline(In, Line);
  return Line;
}

}  // namespace

TAdapterInfo DescribeAdapter(const std::string& Port, const std::string& SysfsRoot) {
  TAdapterInfo Info;
  const std::optional<std::string> Name = binding::TtyKernelName(Port);
  std::error_code Error;
  if (!Name) {
    return Info;
  }
  const fs::path Device =
      fs::canonical(fs::path(SysfsRoot) / "class/tty" / *Name / "device", Error);
  if (Error) {
    return Info;
  }
  const fs::path Driver = fs::read_symlink(Device / "driver", Error);
  if (!Error) {
    Info.Driver = Driver.filename().string();
  }
  // The USB device is an ancestor of the interface the tty hangs off.
  const fs::path Root = fs::canonical(SysfsRoot, Error);
  for (fs::path Folder = Device; !Error && Folder != Root && Folder.has_relative_path();
       Folder = Folder.parent_path()) {
    if (fs::exists(Folder / "idVendor")) {
      Info.IsUsb = true;
      Info.VendorProduct = FirstLine(Folder / "idVendor") + ":" + FirstLine(Folder / "idProduct");
      break;
    }
  }
  return Info;
}

std::optional<TGroupAccess> DeviceGroupAccess(const std::string& Port) {
  struct stat Info {};
  if (stat(DevicePath(Port).c_str(), &Info) != 0 || (Info.st_mode & S_IRWXG) == 0) {
    return std::nullopt;
  }
  const group* Entry = getgrgid(Info.st_gid);
  if (Entry == nullptr || Entry->gr_gid == 0) {
    return std::nullopt;
  }
  TGroupAccess Access;
  Access.Group = Entry->gr_name;
  std::vector<gid_t> Groups(static_cast<size_t>(std::max(getgroups(0, nullptr), 0)));
  Groups.resize(
      static_cast<size_t>(std::max(getgroups(static_cast<int>(Groups.size()), Groups.data()), 0)));
  Access.InThisLogin = getegid() == Info.st_gid ||
                       std::find(Groups.begin(), Groups.end(), Info.st_gid) != Groups.end();
  if (const passwd* User = getpwuid(getuid())) {
    Access.InDatabase = User->pw_gid == Info.st_gid;
    for (char** Member = Entry->gr_mem; *Member != nullptr; ++Member) {
      Access.InDatabase = Access.InDatabase || std::string(*Member) == User->pw_name;
    }
  }
  return Access;
}

std::optional<TDeviceOwner> DeviceOwner(const std::string& Port) {
  struct stat Info {};
  if (stat(DevicePath(Port).c_str(), &Info) != 0) {
    return std::nullopt;
  }
  TDeviceOwner Owner;
  const passwd* User = getpwuid(Info.st_uid);
  Owner.User = User != nullptr ? User->pw_name : std::to_string(Info.st_uid);
  const group* Group = getgrgid(Info.st_gid);
  Owner.Group = Group != nullptr ? Group->gr_name : std::to_string(Info.st_gid);
  Owner.Mode = Info.st_mode & 07777;
  return Owner;
}

namespace {

// The processes whose flock or POSIX lock /proc/locks lists on the file
// Info describes: "1: FLOCK  ADVISORY  WRITE 1234 00:05:6 0 EOF", the
// device in hexadecimal, the inode in decimal.
std::vector<std::string> LockHolders(const struct stat& Info) {
  std::vector<std::string> Pids;
  char Wanted[64];
  std::snprintf(Wanted, sizeof Wanted, "%02x:%02x:%lu", major(Info.st_dev), minor(Info.st_dev),
                static_cast<unsigned long>(Info.st_ino));
  std::ifstream Locks("/proc/locks");
  std::string Line;
  while (std::getline(Locks, Line)) {
    std::istringstream Fields(Line);
    std::string Number, Kind, Mode, Access, Pid, File;
    Fields >> Number >> Kind;
    if (Kind == "->") {
      continue;  // a waiter, not a holder
    }
    Fields >> Mode >> Access >> Pid >> File;
    if (File == Wanted) {
      Pids.push_back(Pid);
    }
  }
  return Pids;
}

}  // namespace

std::vector<std::string> DeviceHolders(const std::string& Port) {
  std::vector<std::string> Holders;
  std::error_code Error;
  const fs::path Device = fs::canonical(DevicePath(Port), Error);
  struct stat Info {};
  if (Error || stat(Device.c_str(), &Info) != 0) {
    return Holders;
  }
  const std::string Self = std::to_string(getpid());
  std::vector<std::string> Pids;
  for (const fs::directory_entry& Process : fs::directory_iterator("/proc", Error)) {
    const std::string Pid = Process.path().filename().string();
    if (!std::all_of(Pid.begin(), Pid.end(), ::isdigit) || Pid == Self) {
      continue;
    }
    std::error_code Unreadable;
    for (const fs::directory_entry& Fd :
         fs::directory_iterator(Process.path() / "fd", Unreadable)) {
      std::error_code NoLink;
      if (fs::read_symlink(Fd.path(), NoLink) == Device) {
        Pids.push_back(Pid);
        break;
      }
    }
  }
  for (const std::string& Pid : LockHolders(Info)) {
    if (Pid != Self && std::find(Pids.begin(), Pids.end(), Pid) == Pids.end()) {
      Pids.push_back(Pid);
    }
  }
  for (const std::string& Pid : Pids) {
    Holders.push_back(Pid + " (" + FirstLine(fs::path("/proc") / Pid / "comm") + ")");
  }
  return Holders;
}

bool ProgramRunning(const std::string& Name) {
  std::error_code Error;
  for (const fs::directory_entry& Process : fs::directory_iterator("/proc", Error)) {
    if (FirstLine(Process.path() / "comm") == Name) {
      return true;
    }
  }
  return false;
}

bool ProgramInstalled(const std::string& Name) {
  for (const char* Folder : {"/usr/bin/", "/usr/sbin/", "/bin/", "/sbin/"}) {
    if (access((Folder + Name).c_str(), X_OK) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace korvane
