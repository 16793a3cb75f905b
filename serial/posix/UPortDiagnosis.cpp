// The check-up's facts on Linux: sysfs for the adapter, the group database
// and this process's groups, /proc for holders and running programs.
#include "UPortDiagnosis.h"

#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

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

std::vector<std::string> DeviceHolders(const std::string& Port) {
  std::vector<std::string> Holders;
  std::error_code Error;
  const fs::path Device = fs::canonical(DevicePath(Port), Error);
  if (Error) {
    return Holders;
  }
  for (const fs::directory_entry& Process : fs::directory_iterator("/proc", Error)) {
    const std::string Pid = Process.path().filename().string();
    if (!std::all_of(Pid.begin(), Pid.end(), ::isdigit) || Pid == std::to_string(getpid())) {
      continue;
    }
    std::error_code Unreadable;
    for (const fs::directory_entry& Fd :
         fs::directory_iterator(Process.path() / "fd", Unreadable)) {
      std::error_code NoLink;
      if (fs::read_symlink(Fd.path(), NoLink) == Device) {
        Holders.push_back(Pid + " (" + FirstLine(Process.path() / "comm") + ")");
        break;
      }
    }
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
