#include "UStandardStreams.h"

namespace korvane {

// A port is a handle of its own on Windows: it can never take the place of
// a standard stream.
void KeepStandardStreamsOpen() noexcept {}

}  // namespace korvane
