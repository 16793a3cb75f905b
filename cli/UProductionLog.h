// --log PATH: one JSON line per chip, each on the disk before the next chip.
#pragma once

#include <string>

namespace korvane::cli {

class TProductionLog {
 public:
  // Checks Path before any port is opened: a regular file (or none yet)
  // that can be opened for appending in a folder that takes it. Anything
  // else (a folder, a device such as /dev/null or /dev/full, a read-only
  // file or folder) raises EInOutError naming it, before any chip is written.
  explicit TProductionLog(std::string Path);

  // Raises EInOutError (ENOSPC, naming the log) unless the log's disk has
  // room for a record: asked before each chip, so that a full disk stops the
  // run before a chip that no record could show.
  void CheckRoom() const;
  // Appends Line (a JSON object and its line feed) and waits until it is on
  // the disk. Raises EInOutError naming the log.
  void Append(const std::string& Line);

  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

}  // namespace korvane::cli
