#include "UBoxAdvice.h"

#include <cctype>

#include "UChipTable.h"
#include "UFileHints.h"

namespace korvane {

namespace {

// The holder of the image as the hints name it.
std::string Holder(uint8_t Chip, uint16_t MemorySize) {
  if (Chip == chip89C2051) {
    return "the " + ChipName(Chip) + " at " + (MemorySize == 4096 ? "4KB" : "2KB");
  }
  return "the " + ChipName(Chip);
}

}  // namespace

std::string FileRefusalAdvice(const EHexFile& Error, const std::string& FileName, uint8_t Chip,
                              uint16_t MemorySize) {
  std::string Advice;
  for (std::string Hint :
       HexFaultHints(Error, FileName, FormatOfFileName(FileName), Holder(Chip, MemorySize))) {
    // A sentence of its own in the box.
    Hint[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(Hint[0])));
    Advice += (Advice.empty() ? "" : "\n") + Hint + ".";
  }
  if (Chip == chip89C2051 && FitsTheLargerChoice(Error, FileName, FormatOfFileName(FileName))) {
    Advice += "\nAn 89C4051 holds 4KB: choose 4KB under Code Memory.";
  }
  return Advice;
}

std::string LostIdleBoardAdvice() {
  return "The board was lost: its USB adapter unplugged, or the board switched off. Connect it "
         "again; the window finds it by itself.";
}

std::string WithAdvice(const std::string& Text, const std::string& Advice) {
  return Advice.empty() ? Text : Text + "\n\n" + Advice;
}

}  // namespace korvane
