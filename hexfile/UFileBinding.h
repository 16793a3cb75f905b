// The operating-system side of replacing and appending files.
//
// The safe-save sequence (hexfile/UFileReplace.cpp) is written once; every
// call of it that reaches the operating system goes through the functions
// below, which exactly one binding defines (hexfile/posix/ or
// hexfile/win32/). Each function returns 0 on success or the errno of the
// failed call; the sequence turns that into EInOutError. None of them throws.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace korvane::filebinding {

// What a save finds under the name it is given.
struct TSaveTarget {
  // The file to replace: the name, or where a symbolic link to a regular
  // file leads.
  std::string Path;
  bool Exists = false;
  // Written in place rather than replaced: a device, a pipe, a link that
  // leads nowhere yet.
  bool InPlace = false;
  // What the replacement takes over from the previous file (owner, group,
  // permissions), where the platform has them.
  unsigned Owner = 0;
  unsigned Group = 0;
  unsigned Mode = 0;
};

// Looks at FileName for a save; an existing file the process may not write
// is refused (EACCES) although its folder would allow the rename.
int InspectSaveTarget(const std::string& FileName, TSaveTarget& Target);

// The name of a temporary file beside Target, Attempt picking among them.
std::string TemporaryName(const std::string& Target, unsigned Attempt);
// Creates Name, failing with EEXIST when it exists.
int CreateExclusive(const std::string& Name, int& Handle);
// Opens Name for writing from its start, created when missing, emptied.
int OpenTruncated(const std::string& Name, int& Handle);
// Opens Name for appending, created when missing.
int OpenForAppend(const std::string& Name, int& Handle);
// Opens Name (created when missing) and waits for the one exclusive lock
// on it across processes; Close gives the lock back.
int LockExclusive(const std::string& Name, int& Handle);
// Writes part of Size bytes; Written is how many (0 means a full disk).
int WriteSome(int Handle, const char* Data, std::size_t Size, std::size_t& Written);
// Waits until what was written to Handle is on the disk.
int Flush(int Handle);
int Close(int Handle);
int Remove(const std::string& Name);
// Renames From over To in one step, replacing To.
int RenameOver(const std::string& From, const std::string& To);
// Gives the new file Handle the previous file's owner, group and permissions,
// as far as the process may (best effort).
void TakeOver(int Handle, const TSaveTarget& Previous);
// Puts the folder's entry of FileName on the disk (best effort).
void SyncFolderOf(const std::string& FileName);

// The signals that end a process from outside, held back for the calling
// thread while the object lives (nothing where there are none).
struct TSignalMask;
struct TSignalRelease {
  void operator()(TSignalMask* Mask) const;
};
using TSignalsHeld = std::unique_ptr<TSignalMask, TSignalRelease>;
TSignalsHeld HoldTerminationSignals();

}  // namespace korvane::filebinding
