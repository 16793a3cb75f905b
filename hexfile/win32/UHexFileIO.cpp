// Reading files, the local time and the regional separators, in the calls
// of Windows; replacing and appending files is UFileReplace.cpp over
// UFileBinding.cpp.
#include "UHexFileIO.h"
#include "UHexText.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>

#include "UHexFile.h"

namespace korvane {

namespace {

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
