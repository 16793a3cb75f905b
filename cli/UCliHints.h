// What korvane-cli says beyond a message of the lower layers (a refused
// file's hints are UFileHints.h's): what a name given to --port looks like,
// what a chip that reads all FF may be, and the line that sums up a run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "UHexFile.h"

namespace korvane::cli {

// The hint for a --port value that names a chip rather than a port
// ("-p 89c52"); nothing for any other name.
std::optional<std::string> PortNamedLikeAChip(const std::string& PortName);

// Whether the first Count bytes of Image are all FF: a chip that reads so is
// blank, or locked.
bool ReadsAllFF(const THexFile& Image, uint32_t Count);
// The note for such a chip.
std::string BlankOrLockedNote();

// The note on the 89C2051/4051's size, which the board cannot tell: which
// size was used and how to choose the other.
std::string MemoryChoiceNote(uint16_t MemorySize, bool Given);

// A board that a scan found in its stream (StuckPort): the problem and its
// fix, for detect and doctor alike.
struct TStuckBoard {
  std::string Problem;
  std::string Fix;
};
TStuckBoard StuckBoardText(const std::string& Port);
// What a second stop left: the board in its stream, and what brings it back.
std::string AbandonedBoardText();

// What a finished run did, for its summary line.
struct TRunSummary {
  // "written and verified", "verified", "read".
  std::string Done;
  uint32_t Bytes = 0;
  double Seconds = 0;
  std::string FileName;
  // The board's checksum answer for the bytes written (program).
  std::optional<uint16_t> Checksum;
  // A file of nothing but FF was programmed: the chip was erased only.
  bool EraseOnly = false;
};
// "148 bytes written and verified in 1.8 s (blink.hex, checksum 0x1A2B)";
// for a file of nothing but FF, "nothing to write: the chip was erased in
// 1.1 s (ff.hex is all FF)".
std::string SummaryLine(const TRunSummary& Summary);

}  // namespace korvane::cli
