// What the window's error box says after a message of the lower layers, as
// the command line's hints do: how a refused file can be put right, and what
// to do when the board was lost.
#pragma once

#include <cstdint>
#include <string>

#include "UHexFile.h"

namespace korvane {

// The sentences after a refused file's message, the file named in them; the
// image's holder is Chip at MemorySize, and for the 89C2051/4051 at 2 KB the
// choice of 4 KB is named. Empty when there is nothing to add.
std::string FileRefusalAdvice(const EHexFile& Error, const std::string& FileName, uint8_t Chip,
                              uint16_t MemorySize);

// After the poll lost the board it had found: what happened and that the
// window finds it again by itself.
std::string LostIdleBoardAdvice();

// Text, then Advice as a paragraph of its own when there is any.
std::string WithAdvice(const std::string& Text, const std::string& Advice);

}  // namespace korvane
