// The operating system's side of the HEX files: reading a file in pieces,
// replacing a file's contents safely, the local time and the user's regional
// date and time separators. Every failure raises EInOutError with the errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace korvane {

class EInOutError;

// The largest input file read, far above any HEX or binary file of a 64 KB image.
constexpr uint64_t kMaxInputFileSize = 16u << 20;

// A file opened for reading, closed with the object.
class TInputFile {
 public:
  // Opens FileName. What is not a regular file is refused before it is
  // opened: "Not a regular file (folder)" with EISDIR, "Not a regular file
  // (character device)" (or block device, FIFO, socket) with EINVAL; so is
  // a file larger than kMaxInputFileSize: "File too large (N bytes; at most
  // 16777216)" with EFBIG.
  explicit TInputFile(const std::string& FileName);
  ~TInputFile();
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  // Reads up to Capacity bytes; 0 at the end of the file. A file that grew
  // past kMaxInputFileSize after it was opened fails as too large.
  std::size_t Read(char* Buffer, std::size_t Capacity);

 private:
  int FHandle;
  uint64_t FRead = 0;
};

// Refuses FileName exactly as TInputFile and THexFile::LoadFromFile would,
// without reading it: for readers of other formats. Raises EInOutError.
void CheckInputFile(const std::string& FileName);
// The whole of FileName, refused as TInputFile refuses it. Raises EInOutError.
std::string ReadInputFile(const std::string& FileName);

// For the bindings: the refusals of TInputFile, worded alike on every platform.
EInOutError NotARegularFile(int ErrorCode, const std::string& Kind);
EInOutError FileTooLarge(uint64_t Size);

// Gives the file FileName exactly the bytes of Content. A regular file (new,
// or reached through a symbolic link) is written as a temporary file beside
// it, flushed to the disk and renamed over it, so that a failure leaves the
// previous file as it was and no temporary file behind; the replacement keeps
// the previous file's permissions and, where the process may give them, its
// owner and group. An existing file the process may not write is refused
// ("File access denied") and left alone, although its folder would allow the
// rename. While the temporary file exists, the signals that end a process
// from outside (interrupt, termination, hang-up, quit) are held back for the
// calling thread and arrive once it is renamed or removed. Anything else that
// already exists under that name (a device, a pipe) is written in place.
void ReplaceFileContents(const std::string& FileName, std::string_view Content);

// Appends Line to FileName (created when missing) and waits until it is on
// the disk, so that a crash or a power cut afterwards cannot lose it.
void AppendDurably(const std::string& FileName, std::string_view Line);

// The one exclusive lock on the file FileName (created when missing) across
// the processes of the machine, waited for and held while the object lives.
// Raises EInOutError when the file cannot be opened.
class TFileLock {
 public:
  explicit TFileLock(const std::string& FileName);
  ~TFileLock();
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

 private:
  int FHandle = -1;
};

// The local date and time now.
std::tm LocalNow();

// The user's regional date and time separators, "/" and ":" where the
// regional settings give none.
std::string RegionalDateSeparator();
std::string RegionalTimeSeparator();

}  // namespace korvane
