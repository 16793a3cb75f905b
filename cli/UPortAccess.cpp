#include "UPortAccess.h"

#include <cerrno>
#include <system_error>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#endif

#include "UComPort.h"

namespace korvane::cli {

TPortAccess ProbePort(const std::string& Name) {
  TPortAccess Access;
  TComPort Port;
  AssignBoardSettings(Port);
  Port.SetPort(Name);
  try {
    Port.Open();
    Access.Opened = true;
    Port.Close();
  } catch (const EComPort& Error) {
    Access.Error = Error.PlatformError();
#ifdef _WIN32
    Access.Reason = Error.what();
#else
    Access.Reason = std::generic_category().message(Access.Error);
    Access.PermissionDenied = Access.Error == EACCES || Access.Error == EPERM;
#endif
  }
  return Access;
}

std::string PermissionHint(const std::string& Name) {
  std::string Group = "dialout";
#ifndef _WIN32
  // The group that owns the device is the one to join; serial devices belong
  // to dialout on Debian, to uucp on some other systems.
  const std::string Path = Name.find('/') == std::string::npos ? "/dev/" + Name : Name;
  struct stat Info {};
  if (stat(Path.c_str(), &Info) == 0 && (Info.st_mode & S_IRWXG) != 0) {
    if (const group* Entry = getgrgid(Info.st_gid); Entry != nullptr && Entry->gr_gid != 0) {
      Group = Entry->gr_name;
    }
  }
#endif
  return "hint: " + Name + " is open to the group '" + Group +
         "'; join it with 'sudo usermod -aG " + Group +
         " $USER', then log out and in again (or run 'newgrp " + Group + "')";
}

bool ReportPortAccess(const std::vector<std::string>& Names, std::ostream& Out) {
  bool AllOpened = true;
  bool Hinted = false;
  for (const std::string& Name : Names) {
    const TPortAccess Access = ProbePort(Name);
    if (Access.Opened) {
      Out << Name << ": can be opened\n";
      continue;
    }
    AllOpened = false;
    Out << Name << ": cannot be opened (" << Access.Reason << ")\n";
    if (Access.PermissionDenied && !Hinted) {
      Out << "  " << PermissionHint(Name) << '\n';
      Hinted = true;
    }
  }
  Out << std::flush;
  return AllOpened;
}

}  // namespace korvane::cli
