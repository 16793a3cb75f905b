#include "UTerminal.h"

#include <io.h>

namespace korvane::cli {

bool StandardErrorIsTerminal() {
  return ::_isatty(2) != 0;
}

const char* SlowAdapterFix() {
  return "A USB adapter's latency timer is the usual cause, and no program can set it here: in "
         "the Device Manager, open the port's Properties, Port Settings, Advanced, and set "
         "\"Latency Timer (msec)\" to 1";
}

}  // namespace korvane::cli
