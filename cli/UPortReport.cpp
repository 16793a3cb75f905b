#include "UPortReport.h"

#include "UPortAccess.h"

namespace korvane::cli {

bool ReportPortAccess(const std::vector<std::string>& Names, std::ostream& Out) {
  bool AllOpened = true;
  bool Hinted = false;
  for (const std::string& Name : Names) {
    const TPortAccess Access = ProbePort(Name);
    if (Access.Opened) {
      Out << Name << ": can be opened\n";
      continue;
    }
    AllOpened = false;
    Out << Name << ": cannot be opened (" << Access.Reason << ")\n";
    if (Access.PermissionDenied && !Hinted) {
      Out << "  " << PermissionHint(Name) << '\n';
      Hinted = true;
    }
  }
  Out << std::flush;
  return AllOpened;
}

}  // namespace korvane::cli
