// What the fronts say beyond the message of a refused file: how it can be put
// right. The command line prints each sentence as a "hint:" line, the window
// adds them to its error box.
#pragma once

#include <string>
#include <vector>

#include "UHexFile.h"

namespace korvane {

// The sentences that explain Error, raised for FileName, further: a record of
// another type (extended or start addresses) and how to write the file
// again without it; data beyond the image, with the file's highest address
// and the range Holder ("the 89C52") takes; a file with no record at all.
// Nothing for other faults.
std::vector<std::string> HexFaultHints(const EHexFile& Error, const std::string& FileName,
                                       TImageFormat Format, const std::string& Holder);

}  // namespace korvane
