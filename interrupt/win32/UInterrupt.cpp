// Stop requests as console control events. Windows calls the handler on a
// thread of its own, so it may release the port and end the process itself.
#include <windows.h>

#include <atomic>
#include <cstring>

#include "UInterrupt.h"

namespace korvane {

namespace {

std::atomic<const TComPort*> GuardedPort{nullptr};
std::atomic<bool> Deferred{false};
std::atomic<bool> Recorded{false};

void EndNow(const char* Text) {
  if (const TComPort* Port = GuardedPort.load()) {
    Port->ReleaseNow();
  }
  DWORD Written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), Text, static_cast<DWORD>(std::strlen(Text)), &Written,
            nullptr);
  ExitProcess(TInterruptWatch::ExitCode);
}

BOOL WINAPI OnControlEvent(DWORD) {
  if (!Deferred.load()) {
    EndNow("Interrupted\r\n");
  }
  if (Recorded.exchange(true)) {
    EndNow("Interrupted again: stopped at once, without waiting for the board\r\n");
  }
  return TRUE;
}

}  // namespace

TInterruptWatch::TInterruptWatch() {
  Recorded = false;
  Deferred = false;
  GuardedPort = nullptr;
  SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

TInterruptWatch::~TInterruptWatch() {
  SetConsoleCtrlHandler(OnControlEvent, FALSE);
  GuardedPort = nullptr;
}

void TInterruptWatch::GuardPort(const TComPort* Port) {
  GuardedPort = Port;
}

void TInterruptWatch::SetDeferred(bool Value) {
  Deferred = Value;
}

bool TInterruptWatch::Requested() const {
  return Recorded.load();
}

}  // namespace korvane
