#include "HexTestFiles.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace korvane::test {

namespace fs = std::filesystem;

TTempFolder::TTempFolder() {
  std::string Template = (fs::temp_directory_path() / "korvane-hexfile-XXXXXX").string();
  if (::mkdtemp(Template.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  FPath = Template;
}

TTempFolder::~TTempFolder() {
  std::error_code Ignored;
  // Folders a test made read-only must be writable again to be emptied.
  for (const auto& Entry : fs::recursive_directory_iterator(FPath, Ignored))
    if (Entry.is_directory(Ignored))
      fs::permissions(Entry.path(), fs::perms::owner_all, Ignored);
  fs::remove_all(FPath, Ignored);
}

std::vector<std::string> TTempFolder::Entries() const {
  return FolderEntries(FPath);
}

std::vector<std::string> FolderEntries(const std::string& Path) {
  std::vector<std::string> Names;
  for (const auto& Entry : fs::directory_iterator(Path))
    Names.push_back(Entry.path().filename().string());
  std::sort(Names.begin(), Names.end());
  return Names;
}

std::string ReadFileText(const std::string& Path) {
  std::ifstream File(Path, std::ios::binary);
  if (!File)
    throw std::runtime_error("cannot read " + Path);
  std::ostringstream Text;
  Text << File.rdbuf();
  return Text.str();
}

void WriteFileText(const std::string& Path, const std::string& Text) {
  std::ofstream File(Path, std::ios::binary | std::ios::trunc);
  File << Text;
  if (!File.flush())
    throw std::runtime_error("cannot write " + Path);
}

std::vector<std::string> SplitCrLfLines(const std::string& Text) {
  std::vector<std::string> Lines;
  std::size_t Start = 0;
  while (Start < Text.size()) {
    const std::size_t End = Text.find("\r\n", Start);
    if (End == std::string::npos) {
      Lines.push_back(Text.substr(Start));
      break;
    }
    Lines.push_back(Text.substr(Start, End - Start));
    Start = End + 2;
  }
  return Lines;
}

}  // namespace korvane::test
