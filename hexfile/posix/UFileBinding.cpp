// Replacing and appending files, in the calls of POSIX.
#include "UFileBinding.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "UHexText.h"

namespace korvane::filebinding {

int InspectSaveTarget(const std::string& FileName, TSaveTarget& Target) {
  Target.Path = FileName;
  struct stat Previous;
  Target.Exists = ::stat(FileName.c_str(), &Previous) == 0;
  if (!Target.Exists && errno != ENOENT) {
    return errno;
  }
  struct stat Link;
  if (::lstat(FileName.c_str(), &Link) == 0 && S_ISLNK(Link.st_mode)) {
    // Replace the file the link leads to, not the link. A link that leads
    // nowhere yet is followed by a plain creation.
    if (!Target.Exists) {
      Target.InPlace = true;
      return 0;
    }
    char* Resolved = ::realpath(FileName.c_str(), nullptr);
    if (Resolved == nullptr) {
      return errno;
    }
    Target.Path = Resolved;
    std::free(Resolved);
  }
  if (!Target.Exists) {
    return 0;
  }
  if (!S_ISREG(Previous.st_mode)) {
    Target.InPlace = true;
    return 0;
  }
  Target.Owner = Previous.st_uid;
  Target.Group = Previous.st_gid;
  Target.Mode = Previous.st_mode & 07777;
  // The rename needs only the folder's permission; the file's own is what
  // the user set to protect it.
  return ::faccessat(AT_FDCWD, Target.Path.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

std::string TemporaryName(const std::string& Target, unsigned Attempt) {
  const std::size_t Slash = Target.rfind('/');
  const std::string Folder = Slash == std::string::npos ? "" : Target.substr(0, Slash + 1);
  const std::string Base = Slash == std::string::npos ? Target : Target.substr(Slash + 1);
  // Shortened so that the name stays within the file system's limit.
  return Folder + "." + Base.substr(0, 200) + "." +
         TemporarySuffix(Attempt, static_cast<uint64_t>(::getpid())) + ".tmp";
}

namespace {

int Open(const std::string& Name, int Flags, mode_t Mode, int& Handle) {
  const int Opened = ::open(Name.c_str(), Flags | O_CLOEXEC, Mode);
  if (Opened < 0) {
    return errno;
  }
  Handle = Opened;
  return 0;
}

}  // namespace

int CreateExclusive(const std::string& Name, int& Handle) {
  return Open(Name, O_WRONLY | O_CREAT | O_EXCL, 0666, Handle);
}

int OpenTruncated(const std::string& Name, int& Handle) {
  return Open(Name, O_WRONLY | O_CREAT | O_TRUNC, 0666, Handle);
}

int OpenForAppend(const std::string& Name, int& Handle) {
  return Open(Name, O_WRONLY | O_APPEND | O_CREAT, 0644, Handle);
}

int LockExclusive(const std::string& Name, int& Handle) {
  if (const int Error = Open(Name, O_RDWR | O_CREAT, 0666, Handle); Error != 0) {
    return Error;
  }
  while (::flock(Handle, LOCK_EX) != 0) {
    if (errno != EINTR) {
      const int Error = errno;
      ::close(Handle);
      return Error;
    }
  }
  return 0;
}

int WriteSome(int Handle, const char* Data, std::size_t Size, std::size_t& Written) {
  for (;;) {
    const ssize_t Result = ::write(Handle, Data, Size);
    if (Result >= 0) {
      Written = static_cast<std::size_t>(Result);
      return 0;
    }
    if (errno != EINTR) {
      return errno;
    }
  }
}

int Flush(int Handle) {
  return ::fsync(Handle) == 0 ? 0 : errno;
}

int Close(int Handle) {
  return ::close(Handle) == 0 ? 0 : errno;
}

int Remove(const std::string& Name) {
  return ::unlink(Name.c_str()) == 0 ? 0 : errno;
}

int RenameOver(const std::string& From, const std::string& To) {
  return ::rename(From.c_str(), To.c_str()) == 0 ? 0 : errno;
}

void TakeOver(int Handle, const TSaveTarget& Previous) {
  // As a plain overwrite would keep them; only root may give the file back
  // to another owner.
  if (Previous.Owner != ::geteuid() || Previous.Group != ::getegid()) {
    (void)!::fchown(Handle, Previous.Owner, Previous.Group);
  }
  ::fchmod(Handle, Previous.Mode);
}

void SyncFolderOf(const std::string& FileName) {
  const std::size_t Slash = FileName.rfind('/');
  const std::string Folder =
      Slash == std::string::npos ? "." : (Slash == 0 ? "/" : FileName.substr(0, Slash));
  const int Handle = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Handle < 0) {
    return;
  }
  ::fsync(Handle);
  ::close(Handle);
}

struct TSignalMask {
  sigset_t Previous;
};

void TSignalRelease::operator()(TSignalMask* Mask) const {
  pthread_sigmask(SIG_SETMASK, &Mask->Previous, nullptr);
  delete Mask;
}

TSignalsHeld HoldTerminationSignals() {
  sigset_t Held;
  sigemptyset(&Held);
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    sigaddset(&Held, Signal);
  }
  auto Mask = std::make_unique<TSignalMask>();
  pthread_sigmask(SIG_BLOCK, &Held, &Mask->Previous);
  return TSignalsHeld(Mask.release());
}

}  // namespace korvane::filebinding
