#include "UPortAccess.h"

#include "UComBinding.h"
#include "UComPort.h"

namespace korvane {

TPortAccess ProbePort(const std::string& Name) {
  TPortAccess Access;
  TComPort Port;
  AssignBoardSettings(Port);
  Port.SetPort(Name);
  try {
    Port.Open();
    Access.Opened = true;
    Port.Close();
  } catch (const EComPort& Error) {
    Access.Error = Error.PlatformError();
    Access.Reason = binding::RefusalReason(Error.PlatformError(), Error.what());
    Access.PermissionDenied = binding::IsPermissionRefusal(Error.PlatformError());
    Access.Busy = binding::IsBusyRefusal(Error.PlatformError());
  }
  return Access;
}

}  // namespace korvane
