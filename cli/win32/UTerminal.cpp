#include "UTerminal.h"

#include <io.h>

namespace korvane::cli {

bool StandardErrorIsTerminal() {
  return ::_isatty(2) != 0;
}

}  // namespace korvane::cli
