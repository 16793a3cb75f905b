#include "UHexFileIO.h"
#include "UHexText.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>

#include "UHexFile.h"

namespace korvane {

namespace {

// The errno that the C runtime would give for a Win32 error code.
int ErrnoOf(DWORD Error) {
  switch (Error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

void WriteAll(int Handle, std::string_view Content) {
  while (!Content.empty()) {
    const unsigned Piece = static_cast<unsigned>(std::min<std::size_t>(Content.size(), INT_MAX));
    const int Written = ::_write(Handle, Content.data(), Piece);
    if (Written < 0)
      throw EInOutError(errno);
    if (Written == 0)
      throw EInOutError(ENOSPC);
    Content.remove_prefix(static_cast<std::size_t>(Written));
  }
}

// Removes the temporary file unless the save went through.
class TTemporaryFile {
 public:
  explicit TTemporaryFile(const std::string& Target) {
    const std::size_t Slash = Target.find_last_of("/\\:");
    const std::string Folder = Slash == std::string::npos ? "" : Target.substr(0, Slash + 1);
    const std::string Base = Slash == std::string::npos ? Target : Target.substr(Slash + 1);
    // Shortened so that the name stays within the file system's limit.
    const std::string Prefix = Folder + "~" + Base.substr(0, 200) + ".";
    for (unsigned Attempt = 0;; ++Attempt) {
      FName = Prefix + TemporarySuffix(Attempt, static_cast<uint64_t>(::_getpid())) + ".tmp";
      FHandle = ::_open(FName.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                        _S_IREAD | _S_IWRITE);
      if (FHandle >= 0)
        break;
      if (errno != EEXIST || Attempt == 100)
        throw EInOutError(errno);
    }
  }
  ~TTemporaryFile() {
    if (FHandle >= 0)
      ::_close(FHandle);
    if (!FName.empty())
      ::_unlink(FName.c_str());
  }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  int Handle() const { return FHandle; }
  const std::string& Name() const { return FName; }
  void Close() {
    const int Handle = FHandle;
    FHandle = -1;
    if (::_close(Handle) != 0)
      throw EInOutError(errno);
  }
  // The file now lives under another name: nothing to remove.
  void Keep() { FName.clear(); }

 private:
  std::string FName;
  int FHandle = -1;
};

void WriteInPlace(const std::string& FileName, std::string_view Content) {
  const int Handle =
      ::_open(FileName.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
              _S_IREAD | _S_IWRITE);
  if (Handle < 0)
    throw EInOutError(errno);
  try {
    WriteAll(Handle, Content);
  } catch (...) {
    ::_close(Handle);
    throw;
  }
  if (::_close(Handle) != 0)
    throw EInOutError(errno);
}

std::string LocaleSeparator(LCTYPE Item, const char* Default) {
  char Buffer[8];
  const int Length = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, Item, Buffer, sizeof Buffer);
  if (Length <= 1)
    return Default;
  return std::string(Buffer, static_cast<std::size_t>(Length - 1));
}

// Only a regular file of a sane size is read.
void CheckOpenedInput(int Handle) {
  struct _stat64 Status;
  if (::_fstat64(Handle, &Status) != 0)
    throw EInOutError(errno);
  const unsigned Type = Status.st_mode & _S_IFMT;
  if (Type == _S_IFDIR)
    throw NotARegularFile(EISDIR, "folder");
  if (Type == _S_IFCHR)
    throw NotARegularFile(EINVAL, "character device");
  if (Type == _S_IFIFO)
    throw NotARegularFile(EINVAL, "FIFO");
  if (Type != _S_IFREG)
    throw NotARegularFile(EINVAL, "file type " + std::to_string(Type));
  if (static_cast<uint64_t>(Status.st_size) > kMaxInputFileSize)
    throw FileTooLarge(static_cast<uint64_t>(Status.st_size));
}

}  // namespace

TInputFile::TInputFile(const std::string& FileName) {
  FHandle = ::_open(FileName.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (FHandle < 0)
    throw EInOutError(errno);
  try {
    CheckOpenedInput(FHandle);
  } catch (...) {
    ::_close(FHandle);
    throw;
  }
}

TInputFile::~TInputFile() {
  ::_close(FHandle);
}

std::size_t TInputFile::Read(char* Buffer, std::size_t Capacity) {
  const int Got =
      ::_read(FHandle, Buffer, static_cast<unsigned>(std::min<std::size_t>(Capacity, INT_MAX)));
  if (Got < 0)
    throw EInOutError(errno);
  FRead += static_cast<uint64_t>(Got);
  if (FRead > kMaxInputFileSize)
    throw FileTooLarge(FRead);
  return static_cast<std::size_t>(Got);
}

void ReplaceFileContents(const std::string& FileName, std::string_view Content) {
  struct _stat64 Previous;
  const bool Exists = ::_stat64(FileName.c_str(), &Previous) == 0;
  if (!Exists && errno != ENOENT)
    throw EInOutError(errno);
  // A device name ("NUL", "COM1") is written in place.
  if (Exists && (Previous.st_mode & _S_IFREG) == 0)
    return WriteInPlace(FileName, Content);
  // Refused before anything is written, although the rename would fail on it
  // too; the read-only attribute is the file's own protection.
  if (Exists) {
    const DWORD Attributes = ::GetFileAttributesA(FileName.c_str());
    if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_READONLY) != 0)
      throw EInOutError(EACCES);
  }

  TTemporaryFile Temporary(FileName);
  WriteAll(Temporary.Handle(), Content);
  if (::_commit(Temporary.Handle()) != 0)
    throw EInOutError(errno);
  Temporary.Close();
  if (!::MoveFileExA(Temporary.Name().c_str(), FileName.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw EInOutError(ErrnoOf(::GetLastError()));
  Temporary.Keep();
}

void AppendDurably(const std::string& FileName, std::string_view Line) {
  const int Handle =
      ::_open(FileName.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (Handle < 0)
    throw EInOutError(errno);
  try {
    WriteAll(Handle, Line);
    if (::_commit(Handle) != 0)
      throw EInOutError(errno);
  } catch (...) {
    ::_close(Handle);
    throw;
  }
  if (::_close(Handle) != 0)
    throw EInOutError(errno);
}

std::tm LocalNow() {
  const std::time_t Now = std::time(nullptr);
  std::tm Local{};
  ::localtime_s(&Local, &Now);
  return Local;
}

std::string RegionalDateSeparator() {
  return LocaleSeparator(LOCALE_SDATE, "/");
}

std::string RegionalTimeSeparator() {
  return LocaleSeparator(LOCALE_STIME, ":");
}

}  // namespace korvane
