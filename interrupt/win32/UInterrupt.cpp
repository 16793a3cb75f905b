// Stop requests as console control events. Windows calls the handler on a
// thread of its own, so it may end the process itself, or abandon the port
// for the main thread to notice.
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
// port: a handle closed there could be taken by a file the other opens, so
// the port is abandoned with its handle open, and the main thread's next
// call on it fails and is recorded as any lost port is.
bool AbandonPort(const TComPort& Port) noexcept {
  Port.Abandon();
  return true;
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
