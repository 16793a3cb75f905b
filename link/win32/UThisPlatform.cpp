// The words of the fronts on Windows.
#include "UPlatformWords.h"

namespace korvane {

const TPlatformWords& PlatformWords() {
  return WindowsWords();
}

}  // namespace korvane
