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
// Whether a file refused as beyond a 2 KB 89C2051/4051 would fit its 4 KB
// choice (an 89C4051), which the board cannot tell apart: the user says.
bool FitsTheLargerChoice(const EHexFile& Error, const std::string& FileName, TImageFormat Format);

std::vector<std::string> HexFaultHints(const EHexFile& Error, const std::string& FileName,
                                       TImageFormat Format, const std::string& Holder);

}  // namespace korvane
