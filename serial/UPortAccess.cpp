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
    Access = AccessRefusedBy(Error);
  }
  return Access;
}

TPortAccess AccessRefusedBy(const EComPort& Refusal) {
  TPortAccess Access;
  Access.Error = Refusal.PlatformError();
  Access.Reason = binding::RefusalReason(Refusal.PlatformError(), Refusal.what());
  Access.PermissionDenied = binding::IsPermissionRefusal(Refusal.PlatformError());
  return Access;
}

std::string RefusedPortsNote(const std::vector<TRefusedPort>& Ports) {
  std::string Note;
  const TRefusedPort* FirstDenied = nullptr;
  for (const TRefusedPort& Port : Ports) {
    Note += (Note.empty() ? "Cannot open " : ", ") + Port.Name + " (" + Port.Access.Reason + ")";
    if (Port.Access.PermissionDenied && FirstDenied == nullptr) {
      FirstDenied = &Port;
    }
  }
  if (FirstDenied != nullptr) {
    Note += ". " + PermissionHint(FirstDenied->Name);
  }
  return Note;
}

}  // namespace korvane
