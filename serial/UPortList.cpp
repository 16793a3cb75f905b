#include "UPortList.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <locale>
#include <stdexcept>
#include <utility>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include "UComBinding.h"
#include "UComPort.h"

namespace korvane {

namespace {

#ifndef _WIN32
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
#endif

std::vector<std::string> SplitPortNames(const std::string& Text) {
  std::vector<std::string> Names;
  size_t Start = 0;
  while (Start <= Text.size()) {
    size_t End = Text.find(':', Start);
    if (End == std::string::npos) {
      End = Text.size();
    }
    if (End > Start) {
      Names.push_back(Text.substr(Start, End - Start));
    }
    Start = End + 1;
  }
  return Names;
}

}  // namespace

#ifdef _WIN32
// Windows' own text comparison in the user's locale, as the port lists of
// the system's other programs are ordered.
void SortPortNames(std::vector<std::string>& Names) {
  std::stable_sort(Names.begin(), Names.end(), [](const std::string& A, const std::string& B) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, A.data(),
                          static_cast<int>(A.size()), B.data(),
                          static_cast<int>(B.size())) == CSTR_LESS_THAN;
  });
}
#endif

#ifndef _WIN32
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
#endif

void ListSerialPorts(std::vector<std::string>& List) {
  std::vector<std::string> Names;
  if (const char* Chosen = std::getenv("KORVANE_PORTS")) {
    Names = SplitPortNames(Chosen);
  } else if (int Error = binding::ListPorts(Names); Error != 0) {
    throw EComPort(ecPortListFailed, Error);
  }
  SortPortNames(Names);
  List = std::move(Names);
}

}  // namespace korvane
