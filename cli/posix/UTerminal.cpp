#include "UTerminal.h"

#include <poll.h>
#include <unistd.h>

namespace korvane::cli {

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) != 0;
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
