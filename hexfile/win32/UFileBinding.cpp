// Replacing and appending files, in the calls of Windows and its C runtime.
#include "UFileBinding.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>

#include "UHexText.h"

namespace korvane::filebinding {

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

int Open(const std::string& Name, int Flags, int& Handle) {
  const int Opened = ::_open(Name.c_str(), Flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (Opened < 0) {
    return errno;
  }
  Handle = Opened;
  return 0;
}

}  // namespace

int InspectSaveTarget(const std::string& FileName, TSaveTarget& Target) {
  Target.Path = FileName;
  struct _stat64 Previous;
  Target.Exists = ::_stat64(FileName.c_str(), &Previous) == 0;
  if (!Target.Exists) {
    return errno == ENOENT ? 0 : errno;
  }
  // A device name ("NUL", "COM1") is written in place.
  if ((Previous.st_mode & _S_IFREG) == 0) {
    Target.InPlace = true;
    return 0;
  }
  // Refused before anything is written, although the rename would fail on it
  // too; the read-only attribute is the file's own protection.
  const DWORD Attributes = ::GetFileAttributesA(FileName.c_str());
  if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return EACCES;
  }
  return 0;
}

std::string TemporaryName(const std::string& Target, unsigned Attempt) {
  const std::size_t Slash = Target.find_last_of("/\\:");
  const std::string Folder = Slash == std::string::npos ? "" : Target.substr(0, Slash + 1);
  const std::string Base = Slash == std::string::npos ? Target : Target.substr(Slash + 1);
  // Shortened so that the name stays within the file system's limit.
  return Folder + "~" + Base.substr(0, 200) + "." +
         TemporarySuffix(Attempt, static_cast<uint64_t>(::_getpid())) + ".tmp";
}

int CreateExclusive(const std::string& Name, int& Handle) {
  return Open(Name, _O_WRONLY | _O_CREAT | _O_EXCL, Handle);
}

int OpenTruncated(const std::string& Name, int& Handle) {
  return Open(Name, _O_WRONLY | _O_CREAT | _O_TRUNC, Handle);
}

int OpenForAppend(const std::string& Name, int& Handle) {
  return Open(Name, _O_WRONLY | _O_APPEND | _O_CREAT, Handle);
}

int LockExclusive(const std::string& Name, int& Handle) {
  if (const int Error = Open(Name, _O_RDWR | _O_CREAT, Handle); Error != 0) {
    return Error;
  }
  OVERLAPPED Whole = {};
  if (!LockFileEx(reinterpret_cast<HANDLE>(::_get_osfhandle(Handle)), LOCKFILE_EXCLUSIVE_LOCK, 0,
                  MAXDWORD, MAXDWORD, &Whole)) {
    ::_close(Handle);
    return EACCES;
  }
  return 0;
}

int WriteSome(int Handle, const char* Data, std::size_t Size, std::size_t& Written) {
  const auto Piece = static_cast<unsigned>(std::min<std::size_t>(Size, INT_MAX));
  const int Result = ::_write(Handle, Data, Piece);
  if (Result < 0) {
    return errno;
  }
  Written = static_cast<std::size_t>(Result);
  return 0;
}

int Flush(int Handle) {
  return ::_commit(Handle) == 0 ? 0 : errno;
}

int Close(int Handle) {
  return ::_close(Handle) == 0 ? 0 : errno;
}

int Remove(const std::string& Name) {
  return ::_unlink(Name.c_str()) == 0 ? 0 : errno;
}

int RenameOver(const std::string& From, const std::string& To) {
  return ::MoveFileExA(From.c_str(), To.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : ErrnoOf(::GetLastError());
}

void TakeOver(int, const TSaveTarget&) {
  // The new file takes the folder's inherited permissions, as a new file does.
}

void SyncFolderOf(const std::string&) {
  // MOVEFILE_WRITE_THROUGH has put the rename on the disk.
}

struct TSignalMask {};

void TSignalRelease::operator()(TSignalMask* Mask) const {
  delete Mask;
}

TSignalsHeld HoldTerminationSignals() {
  // A console's Ctrl-C is a thread of its own that the stop watch answers; no
  // signal ends the process in the middle of the save.
  return TSignalsHeld(new TSignalMask);
}

}  // namespace korvane::filebinding
