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
  Access.Busy = binding::IsBusyRefusal(Refusal.PlatformError());
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

std::string OwnerOnlyFix(const std::string& Name) {
  return "give it to the group 'dialout' with mode 660 by a udev rule (the package's "
         "60-korvane.rules does for the common adapters), or until it is plugged in again: sudo "
         "chgrp dialout " +
         Name + " && sudo chmod 660 " + Name + "; then join 'dialout' if you are not in it";
}

}  // namespace korvane
