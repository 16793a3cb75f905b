#include "UChipSocket.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>

namespace korvane::sim {

std::optional<std::string> TChipSocket::Look() const {
  if (FPath.empty()) {
    return std::nullopt;
  }
  std::ifstream In(FPath);
  if (!In) {
    return std::nullopt;
  }
  const std::string Text((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  // The name as "echo 89C51 > FILE" leaves it.
  const auto Space = [](unsigned char C) { return std::isspace(C) != 0; };
  const auto First = std::find_if_not(Text.begin(), Text.end(), Space);
  const auto End = std::find_if_not(Text.rbegin(), Text.rend(), Space).base();
  if (First >= End) {
    return std::nullopt;
  }
  std::string Name(First, End);
  if (Name == FInSocket) {
    return std::nullopt;
  }
  return Name;
}

}  // namespace korvane::sim
