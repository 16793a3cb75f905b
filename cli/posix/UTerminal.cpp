#include "UTerminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace korvane::cli {

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) != 0;
}

namespace {

int ColumnsOf(int Descriptor) {
  winsize Size{};
  if (::ioctl(Descriptor, TIOCGWINSZ, &Size) == 0 && Size.ws_col > 0) {
    return Size.ws_col;
  }
  // A terminal that reports no size (a serial console, some emulators).
  const char* Columns = std::getenv("COLUMNS");
  const int Value = Columns != nullptr ? std::atoi(Columns) : 0;
  return Value > 0 ? Value : 0;
}

}  // namespace

int StandardErrorColumns() {
  return ColumnsOf(STDERR_FILENO);
}

bool StandardOutputTakesCursorMoves() {
  // A terminal that says it is "dumb" moves no cursor.
  const char* Kind = std::getenv("TERM");
  return ::isatty(STDOUT_FILENO) != 0 && !(Kind != nullptr && std::string_view(Kind) == "dumb");
}

int StandardOutputColumns() {
  return ColumnsOf(STDOUT_FILENO);
}

bool InputLineReady(int TimeoutMs) {
  pollfd Entry{STDIN_FILENO, POLLIN, 0};
  return ::poll(&Entry, 1, TimeoutMs) > 0;
}

const char* SlowAdapterFix() {
  return "A USB adapter's latency timer is the usual cause: 'korvane-cli doctor' shows it, and "
         "the udev rule 60-korvane.rules (installed with the package) sets it to 1 ms for FTDI "
         "adapters";
}

}  // namespace korvane::cli
