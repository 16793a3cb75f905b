#include "UTerminal.h"

#include <io.h>
#include <windows.h>

namespace korvane::cli {

bool StandardErrorIsTerminal() {
  return ::_isatty(2) != 0;
}

namespace {

int ColumnsOf(DWORD Stream) {
  CONSOLE_SCREEN_BUFFER_INFO Info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(Stream), &Info) == 0) {
    return 0;
  }
  return Info.srWindow.Right - Info.srWindow.Left + 1;
}

}  // namespace

int StandardErrorColumns() {
  return ColumnsOf(STD_ERROR_HANDLE);
}

bool StandardOutputTakesCursorMoves() {
  // Consoles before Windows 10 refuse the mode, and then show plain lines.
  const HANDLE Console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD Mode = 0;
  return GetConsoleMode(Console, &Mode) != 0 &&
         SetConsoleMode(Console, Mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int StandardOutputColumns() {
  return ColumnsOf(STD_OUTPUT_HANDLE);
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
