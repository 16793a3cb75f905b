// The chip table, and the programmer's construction.
#include "UProgrammer.h"

#include <array>

namespace korvane {

namespace {

struct TChipKind {
  const char* Name;
  uint16_t MemorySize;
};

// Indexed by chip code; code 7's size is the user's choice.
constexpr std::array<TChipKind, 8> ChipKinds{{
    {"", 0},
    {"89C51", 4096},
    {"89LV51", 4096},
    {"89C52", 8192},
    {"89LV52", 8192},
    {"89C55", 20480},
    {"89LV55", 20480},
    {"89C2051/4051", 0},
}};

}  // namespace

std::string ChipName(uint8_t Code) {
  return Code < ChipKinds.size() ? ChipKinds[Code].Name : "";
}

uint16_t ChipMemorySize(uint8_t Code) {
  return Code < ChipKinds.size() ? ChipKinds[Code].MemorySize : 0;
}

TProgrammer::TProgrammer() {
  AssignBoardSettings(ComPort);
}

TProgrammer::~TProgrammer() = default;

void TProgrammer::ApplyMemorySizeChoice() {
  FSourceImage.SetSize(CodeMemorySize());
  FChipImage.SetSize(FSourceImage.Size());
}

}  // namespace korvane
