// The operating system's side of the HEX files: reading a file in pieces,
// replacing a file's contents safely, the local time and the user's regional
// date and time separators. Every failure raises EInOutError with the errno.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace korvane {

// A file opened for reading, closed with the object.
class TInputFile {
 public:
  // Opens FileName; a folder is refused as a file that cannot be read.
  explicit TInputFile(const std::string& FileName);
  ~TInputFile();
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  // Reads up to Capacity bytes; 0 at the end of the file.
  std::size_t Read(char* Buffer, std::size_t Capacity);

 private:
  int FHandle;
};

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

// The local date and time now.
std::tm LocalNow();

// The user's regional date and time separators, "/" and ":" where the
// regional settings give none.
std::string RegionalDateSeparator();
std::string RegionalTimeSeparator();

}  // namespace korvane
