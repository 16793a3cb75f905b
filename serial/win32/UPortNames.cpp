// The order of port names on Windows.
#include <windows.h>

#include <algorithm>

#include "UPortList.h"

namespace korvane {

// Windows' own text comparison in the user's locale, as the port lists of
// the system's other programs are ordered.
void SortPortNames(std::vector<std::string>& Names) {
  std::stable_sort(Names.begin(), Names.end(), [](const std::string& A, const std::string& B) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, A.data(),
                          static_cast<int>(A.size()), B.data(),
                          static_cast<int>(B.size())) == CSTR_LESS_THAN;
  });
}

}  // namespace korvane
