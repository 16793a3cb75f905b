// Reading files, the local time and the regional separators, in the calls
// of POSIX; replacing and appending files is UFileReplace.cpp over
// UFileBinding.cpp.
#include "UHexFileIO.h"

#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "UHexFile.h"
#include "UHexText.h"

namespace korvane {

namespace {

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
