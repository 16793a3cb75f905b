#include "UTerminal.h"

#include <unistd.h>

namespace korvane::cli {

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) != 0;
}

}  // namespace korvane::cli
