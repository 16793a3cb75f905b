#include "UCliHints.h"

#include <cstdio>
#include <filesystem>

#include "UBoardLink.h"
#include "UChipTable.h"
#include "UPlatformWords.h"
#include "UText.h"
#include "UWorkflows.h"

namespace korvane::cli {

std::optional<std::string> PortNamedLikeAChip(const std::string& PortName) {
  std::string Name = UpperCase(PortName);
  // The makers' prefix ("AT89C52") is often typed too.
  if (Name.starts_with("AT")) {
    Name.erase(0, 2);
  }
  if (!ChipSizeByName(Name, 2048)) {
    return std::nullopt;
  }
  return "hint: -p (--port) names the serial port, such as " +
         std::string(PlatformWords().ExamplePort) +
         " ('korvane-cli ports' lists them); the chip in the socket is found by itself, so '" +
         PortName + "' needs no option";
}

bool ReadsAllFF(const THexFile& Image, uint32_t Count) {
  for (uint32_t Address = 0; Address < Count && Address < Image.Size(); ++Address) {
    if (Image.GetByte(static_cast<uint16_t>(Address)) != 0xFF) {
      return false;
    }
  }
  return true;
}

std::string BlankOrLockedNote() {
  return "the chip reads as all FF: it is blank or locked (a locked chip reads FF; erase unlocks "
         "it)";
}

std::string MemoryChoiceNote(uint16_t MemorySize, bool Given) {
  const bool Four = MemorySize == 4096;
  std::string Text = std::string("the board cannot tell an 89C2051 from an 89C4051; ") +
                     (Four ? "4 KB (4096 bytes)" : "2 KB (2048 bytes)") + " used";
  Text += Given ? ", as --mem says" : "";
  return Text + (Four ? "; --mem 2KB for an 89C2051" : "; --mem 4KB for an 89C4051");
}

std::string SummaryLine(const TRunSummary& Summary) {
  char Time[32];
  std::snprintf(Time, sizeof Time, "%.1f s", Summary.Seconds);
  if (Summary.EraseOnly) {
    return std::string("nothing to write: the chip was erased in ") + Time + " (" +
           Summary.FileName + " is all FF)";
  }
  std::string Line = std::to_string(Summary.Bytes) + " bytes " + Summary.Done + " in " + Time +
                     " (" + Summary.FileName;
  if (Summary.Checksum) {
    Line += ", checksum " + Hex4(*Summary.Checksum);
  }
  return Line + ")";
}

TStuckBoard StuckBoardText(const std::string& Port) {
  return {"the programmer board on " + Port +
              " answers with its write stream's handshake instead of its banner: a run that "
              "was stopped twice left it in its stream",
          "reset the board (switch its power off and on, or unplug it), then run the command "
          "again"};
}

std::string AbandonedBoardText() {
  return "the board is left in its stream: reset it (switch its power off and on) before the "
         "next run";
}

}  // namespace korvane::cli
