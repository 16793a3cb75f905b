// The order of port names on POSIX: the collation of the user's locale,
// ignoring letter case.
#include <algorithm>
#include <cctype>
#include <locale>
#include <stdexcept>
#include <utility>

#include "UPortList.h"

namespace korvane {

namespace {

// The locale the user chose in the environment; the classic one when the
// environment names a locale this machine does not have.
std::locale UserLocale() {
  try {
    return std::locale("");
  } catch (const std::runtime_error&) {
    return std::locale::classic();
  }
}

std::string UpperCase(const std::string& Text) {
  std::string Upper = Text;
  for (char& Ch : Upper) {
    Ch = static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
  }
  return Upper;
}

}  // namespace

void SortPortNames(std::vector<std::string>& Names) {
  std::locale Locale = UserLocale();
  const auto& Collate = std::use_facet<std::collate<char>>(Locale);
  std::vector<std::pair<std::string, std::string>> Keyed;
  Keyed.reserve(Names.size());
  for (std::string& Name : Names) {
    Keyed.emplace_back(UpperCase(Name), std::move(Name));
  }
  std::stable_sort(Keyed.begin(), Keyed.end(), [&Collate](const auto& A, const auto& B) {
    const std::string& KeyA = A.first;
    const std::string& KeyB = B.first;
    return Collate.compare(KeyA.data(), KeyA.data() + KeyA.size(), KeyB.data(),
                           KeyB.data() + KeyB.size()) < 0;
  });
  for (size_t Index = 0; Index < Keyed.size(); ++Index) {
    Names[Index] = std::move(Keyed[Index].second);
  }
}

}  // namespace korvane
