// The words of the fronts on Linux and the other POSIX systems.
#include "UPlatformWords.h"

namespace korvane {

const TPlatformWords& PlatformWords() {
  return PosixWords();
}

}  // namespace korvane
