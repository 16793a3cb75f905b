// Stop requests as console control events. Windows calls the handler on a
// thread of its own, so it may release the port and end the process itself.
#include <windows.h>

#include <cstring>

#include "UInterruptBinding.h"

namespace korvane::binding {

namespace {

BOOL WINAPI OnControlEvent(DWORD) {
  OnStopRequest();
  return TRUE;
}

}  // namespace

void InstallStopHandlers() {
  SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

void RemoveStopHandlers() {
  SetConsoleCtrlHandler(OnControlEvent, FALSE);
}

void EndProcess(const char* Text, int Code) noexcept {
  DWORD Written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), Text, static_cast<DWORD>(std::strlen(Text)), &Written,
            nullptr);
  ExitProcess(static_cast<UINT>(Code));
}

}  // namespace korvane::binding
