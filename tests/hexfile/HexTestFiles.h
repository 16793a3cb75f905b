// Real files for the HEX file tests: a fresh temporary folder per test and
// whole-file reads and writes.
#pragma once

#include <string>
#include <vector>

namespace korvane::test {

// A new folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::string& Path() const { return FPath; }
  // The path of Name inside the folder.
  std::string operator/(const std::string& Name) const { return FPath + "/" + Name; }
  // The names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string FPath;
};

// The names of the entries in the folder Path, sorted.
std::vector<std::string> FolderEntries(const std::string& Path);
std::string ReadFileText(const std::string& Path);
void WriteFileText(const std::string& Path, const std::string& Text);
// The lines of Text, split after each CR LF; a rest without CR LF is the last line.
std::vector<std::string> SplitCrLfLines(const std::string& Text);

}  // namespace korvane::test
