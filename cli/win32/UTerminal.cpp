#include "UTerminal.h"

#include <io.h>
#include <windows.h>

namespace korvane::cli {

bool StandardErrorIsTerminal() {
  return ::_isatty(2) != 0;
}

int StandardErrorColumns() {
  CONSOLE_SCREEN_BUFFER_INFO Info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &Info) == 0) {
    return 0;
  }
  return Info.srWindow.Right - Info.srWindow.Left + 1;
}

bool InputLineReady(int TimeoutMs) {
  return WaitForSingleObject(GetStdHandle(STD_INPUT_HANDLE), static_cast<DWORD>(TimeoutMs)) ==
         WAIT_OBJECT_0;
}

const char* SlowAdapterFix() {
  return "A USB adapter's latency timer is the usual cause, and no program can set it here: in "
         "the Device Manager, open the port's Properties, Port Settings, Advanced, and set "
         "\"Latency Timer (msec)\" to 1";
}

}  // namespace korvane::cli
