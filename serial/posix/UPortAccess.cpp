// Why a device could not be opened, in the words of POSIX.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "UComBinding.h"
#include "UPortAccess.h"

namespace korvane {

namespace binding {

std::string RefusalReason(int PlatformError, const std::string&) {
  return std::generic_category().message(PlatformError);
}

}  // namespace binding

std::string PermissionHint(const std::string& Name) {
  // The group that owns the device is the one to join; serial devices belong
  // to dialout on Debian, to uucp on some other systems.
  std::string Group = "dialout";
  const std::string Path = Name.find('/') == std::string::npos ? "/dev/" + Name : Name;
  struct stat Info {};
  const bool Known = stat(Path.c_str(), &Info) == 0;
  if (Known && (Info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) {
    // Joining its group would not help.
    char Mode[8];
    std::snprintf(Mode, sizeof Mode, "%03o", static_cast<unsigned>(Info.st_mode & 0777));
    const passwd* Owner = getpwuid(Info.st_uid);
    return "hint: " + Name + " is open to its owner '" +
           (Owner != nullptr ? std::string(Owner->pw_name) : std::to_string(Info.st_uid)) +
           "' only (mode " + Mode + "): " + OwnerOnlyFix(Name);
  }
  if (Known) {
    if (const group* Entry = getgrgid(Info.st_gid); Entry != nullptr && Entry->gr_gid != 0) {
      Group = Entry->gr_name;
    }
  }
  return "hint: " + Name + " is open to the group '" + Group +
         "'; join it with 'sudo usermod -aG " + Group +
         " $USER', then log out and in again (or run 'newgrp " + Group + "')";
}

}  // namespace korvane
