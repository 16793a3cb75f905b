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

// The handler runs on a thread of its own, beside the one that uses the
// port: a handle closed there could be taken by a file the other opens.
bool AbandonPort(const TComPort&) noexcept {
  return false;
}

namespace {

void WriteTo(DWORD Stream, const char* Text) noexcept {
  DWORD Written = 0;
  WriteFile(GetStdHandle(Stream), Text, static_cast<DWORD>(std::strlen(Text)), &Written, nullptr);
}

}  // namespace

void Say(const char* Text) noexcept {
  WriteTo(STD_ERROR_HANDLE, Text);
}

void WriteOut(const char* Text) noexcept {
  WriteTo(STD_OUTPUT_HANDLE, Text);
}

void EndProcess(const char* Text, int Code) noexcept {
  Say(Text);
  ExitProcess(static_cast<UINT>(Code));
}

}  // namespace korvane::binding
