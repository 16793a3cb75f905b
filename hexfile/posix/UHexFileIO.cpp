#include "UHexFileIO.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>

#include "UHexFile.h"
#include "UHexText.h"

namespace korvane {

namespace {

void WriteAll(int Handle, std::string_view Content) {
  while (!Content.empty()) {
    const ssize_t Written = ::write(Handle, Content.data(), Content.size());
    if (Written < 0) {
      if (errno == EINTR)
        continue;
      throw EInOutError(errno);
    }
    if (Written == 0)
      throw EInOutError(EIO);
    Content.remove_prefix(static_cast<std::size_t>(Written));
  }
}

// Holds back, for the calling thread, the signals whose default is to end
// the process from outside, so that one arriving while a temporary file
// exists is taken only once the file is renamed or removed.
class TTerminationSignalsHeld {
 public:
  TTerminationSignalsHeld() {
    sigset_t Held;
    sigemptyset(&Held);
    for (const int Signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
      sigaddset(&Held, Signal);
    pthread_sigmask(SIG_BLOCK, &Held, &FPrevious);
  }
  ~TTerminationSignalsHeld() { pthread_sigmask(SIG_SETMASK, &FPrevious, nullptr); }
  TTerminationSignalsHeld(const TTerminationSignalsHeld&) = delete;
  TTerminationSignalsHeld& operator=(const TTerminationSignalsHeld&) = delete;

 private:
  sigset_t FPrevious;
};

// Removes the temporary file unless the save went through.
class TTemporaryFile {
 public:
  explicit TTemporaryFile(const std::string& Target) {
    const std::size_t Slash = Target.rfind('/');
    const std::string Folder = Slash == std::string::npos ? "" : Target.substr(0, Slash + 1);
    const std::string Base = Slash == std::string::npos ? Target : Target.substr(Slash + 1);
    // Shortened so that the name stays within the file system's limit.
    const std::string Prefix = Folder + "." + Base.substr(0, 200) + ".";
    for (unsigned Attempt = 0;; ++Attempt) {
      FName = Prefix + TemporarySuffix(Attempt, static_cast<uint64_t>(::getpid())) + ".tmp";
      FHandle = ::open(FName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (FHandle >= 0)
        break;
      if (errno != EEXIST || Attempt == 100)
        throw EInOutError(errno);
    }
  }
  ~TTemporaryFile() {
    if (FHandle >= 0)
      ::close(FHandle);
    if (!FName.empty())
      ::unlink(FName.c_str());
  }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  int Handle() const { return FHandle; }
  const std::string& Name() const { return FName; }
  void Close() {
    const int Handle = FHandle;
    FHandle = -1;
    if (::close(Handle) != 0)
      throw EInOutError(errno);
  }
  // The file now lives under another name: nothing to remove.
  void Keep() { FName.clear(); }

 private:
  // First, so that the signals are held before the file exists and released
  // only after it is gone.
  TTerminationSignalsHeld FHeld;
  std::string FName;
  int FHandle = -1;
};

void WriteInPlace(const std::string& FileName, std::string_view Content) {
  const int Handle = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (Handle < 0)
    throw EInOutError(errno);
  try {
    WriteAll(Handle, Content);
  } catch (...) {
    ::close(Handle);
    throw;
  }
  if (::close(Handle) != 0)
    throw EInOutError(errno);
}

void SyncFolderOf(const std::string& FileName) {
  const std::size_t Slash = FileName.rfind('/');
  const std::string Folder =
      Slash == std::string::npos ? "." : (Slash == 0 ? "/" : FileName.substr(0, Slash));
  const int Handle = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Handle < 0)
    return;
  ::fsync(Handle);
  ::close(Handle);
}

std::string LocaleSeparator(nl_item Item, std::string_view Default) {
  // The user's settings, from the environment, whatever locale the program runs in.
  const locale_t User = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (User == static_cast<locale_t>(0))
    return FormatSeparator(::nl_langinfo(Item), Default);
  std::string Separator = FormatSeparator(::nl_langinfo_l(Item, User), Default);
  ::freelocale(User);
  return Separator;
}

std::string KindOf(mode_t Mode) {
  if (S_ISDIR(Mode))
    return "folder";
  if (S_ISCHR(Mode))
    return "character device";
  if (S_ISBLK(Mode))
    return "block device";
  if (S_ISFIFO(Mode))
    return "FIFO";
  if (S_ISSOCK(Mode))
    return "socket";
  return "file type " + std::to_string(Mode & S_IFMT);
}

// Only a regular file of a sane size is read.
void RefuseUnlessReadable(const struct stat& Status) {
  if (!S_ISREG(Status.st_mode))
    throw NotARegularFile(S_ISDIR(Status.st_mode) ? EISDIR : EINVAL, KindOf(Status.st_mode));
  if (static_cast<uint64_t>(Status.st_size) > kMaxInputFileSize)
    throw FileTooLarge(static_cast<uint64_t>(Status.st_size));
}

void CheckOpenedInput(int Handle) {
  struct stat Status;
  if (::fstat(Handle, &Status) != 0)
    throw EInOutError(errno);
  RefuseUnlessReadable(Status);
  const int Flags = ::fcntl(Handle, F_GETFL);
  if (Flags < 0 || ::fcntl(Handle, F_SETFL, Flags & ~O_NONBLOCK) != 0)
    throw EInOutError(errno);
}

}  // namespace

TInputFile::TInputFile(const std::string& FileName) {
  // Looked at before it is opened: opening a device can act on it (a serial
  // port raises its modem lines) and a FIFO nobody writes to would hold the
  // open forever.
  struct stat Status;
  if (::stat(FileName.c_str(), &Status) != 0)
    throw EInOutError(errno);
  RefuseUnlessReadable(Status);
  // Looked at again once open, in case the name was given to something else
  // in between.
  FHandle = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (FHandle < 0)
    throw EInOutError(errno);
  try {
    CheckOpenedInput(FHandle);
  } catch (...) {
    ::close(FHandle);
    throw;
  }
}

TInputFile::~TInputFile() {
  ::close(FHandle);
}

std::size_t TInputFile::Read(char* Buffer, std::size_t Capacity) {
  for (;;) {
    const ssize_t Got = ::read(FHandle, Buffer, Capacity);
    if (Got >= 0) {
      FRead += static_cast<uint64_t>(Got);
      if (FRead > kMaxInputFileSize)
        throw FileTooLarge(FRead);
      return static_cast<std::size_t>(Got);
    }
    if (errno != EINTR)
      throw EInOutError(errno);
  }
}

void ReplaceFileContents(const std::string& FileName, std::string_view Content) {
  std::string Target = FileName;
  struct stat Previous;
  const bool Exists = ::stat(FileName.c_str(), &Previous) == 0;
  if (!Exists && errno != ENOENT)
    throw EInOutError(errno);

  struct stat Link;
  if (::lstat(FileName.c_str(), &Link) == 0 && S_ISLNK(Link.st_mode)) {
    // Replace the file the link leads to, not the link. A link that leads
    // nowhere yet is followed by a plain creation.
    if (!Exists)
      return WriteInPlace(FileName, Content);
    char* Resolved = ::realpath(FileName.c_str(), nullptr);
    if (Resolved == nullptr)
      throw EInOutError(errno);
    Target = Resolved;
    std::free(Resolved);
  }
  if (Exists && !S_ISREG(Previous.st_mode))
    return WriteInPlace(FileName, Content);
  // The rename needs only the folder's permission; the file's own is what
  // the user set to protect it.
  if (Exists && ::faccessat(AT_FDCWD, Target.c_str(), W_OK, AT_EACCESS) != 0)
    throw EInOutError(errno);

  {
    TTemporaryFile Temporary(Target);
    if (Exists) {
      // Best effort, as a plain overwrite would keep them; only root may give
      // the file back to another owner.
      if (Previous.st_uid != ::geteuid() || Previous.st_gid != ::getegid())
        (void)!::fchown(Temporary.Handle(), Previous.st_uid, Previous.st_gid);
      ::fchmod(Temporary.Handle(), Previous.st_mode & 07777);
    }
    WriteAll(Temporary.Handle(), Content);
    if (::fsync(Temporary.Handle()) != 0)
      throw EInOutError(errno);
    Temporary.Close();
    if (::rename(Temporary.Name().c_str(), Target.c_str()) != 0)
      throw EInOutError(errno);
    Temporary.Keep();
  }
  // The new contents are in place; a failure to flush the folder's entry
  // cannot be undone any more and is not reported.
  SyncFolderOf(Target);
}

void AppendDurably(const std::string& FileName, std::string_view Line) {
  const int Handle = ::open(FileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (Handle < 0)
    throw EInOutError(errno);
  try {
    WriteAll(Handle, Line);
    if (::fsync(Handle) != 0)
      throw EInOutError(errno);
  } catch (...) {
    ::close(Handle);
    throw;
  }
  if (::close(Handle) != 0)
    throw EInOutError(errno);
  SyncFolderOf(FileName);
}

std::tm LocalNow() {
  const std::time_t Now = std::time(nullptr);
  std::tm Local{};
  ::localtime_r(&Now, &Local);
  return Local;
}

std::string RegionalDateSeparator() {
  return LocaleSeparator(D_FMT, "/");
}

std::string RegionalTimeSeparator() {
  return LocaleSeparator(T_FMT, ":");
}

}  // namespace korvane
