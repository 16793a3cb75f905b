#include "UChipModel.h"

#include <algorithm>
#include <stdexcept>

namespace korvane::sim {

namespace {

// The board's own table of the chip kinds: names, signature digits, sizes.
// It is kept apart from the host's table in link/ on purpose, and must not be
// shared with it: a board built from the host's table would repeat any
// mistake in it, and every test against the board would still pass.
struct TKind {
  const char* Name;
  const char* Signature;
  uint32_t Size;
};

constexpr TKind CKinds[] = {
    {"89C51", "51", 4096},  {"89LV51", "61", 4096}, {"89C52", "52", 8192},
    {"89LV52", "62", 8192}, {"89C55", "55", 20480}, {"89LV55", "65", 20480},
    {"89C2051", "", 0},     {"89C4051", "", 0},     {"89C2051/4051", "", 0},
};

// What an empty socket answers to "p": digits that are in no row above.
constexpr const char* CAbsentSignature = "00";

}  // namespace

TChipModel::TChipModel(const std::string& Kind, const TBoardSimOptions& Options)
    : FCorruptAt(Options.CorruptByteAt) {
  for (const TKind& Row : CKinds) {
    if (Kind == Row.Name) {
      FName = Row.Name;
      FSignature = Row.Signature;
      FTwentyPin = FSignature.empty();
      uint32_t Size = Row.Size;
      if (Size == 0) {
        if (Options.Size2051 != 2048 && Options.Size2051 != 4096) {
          throw std::invalid_argument("an 89C2051/4051 holds 2048 or 4096 bytes, not " +
                                      std::to_string(Options.Size2051));
        }
        Size = Options.Size2051;
      }
      FCells.assign(Size, 0xFF);
      return;
    }
  }
  throw std::invalid_argument("unknown chip kind: " + Kind);
}

TChipModel TChipModel::Absent(const TChipModel& TakenOut) {
  TChipModel None;
  None.FName = "empty";
  None.FSignature = CAbsentSignature;
  None.FPresent = false;
  None.FTwentyPin = TakenOut.FTwentyPin;
  None.FCells.assign(TakenOut.FCells.size(), 0xFF);
  return None;
}

void TChipModel::Erase(bool Complete) {
  FCells.assign(FCells.size(), 0xFF);
  FLocked = false;
  if (!Complete && FPresent) {
    FCells[0] = 0x00;
  }
}

void TChipModel::Program(uint32_t Address, uint8_t Data) {
  if (!FPresent || Address >= FCells.size()) {
    return;
  }
  if (FCorruptAt >= 0 && Address == uint32_t(FCorruptAt)) {
    Data ^= 0x5A;
  }
  FCells[Address] &= Data;
}

bool TChipModel::Blank() const {
  for (uint8_t Cell : FCells) {
    if (Cell != 0xFF) {
      return false;
    }
  }
  return true;
}

std::string TChipModel::ReadHex(uint32_t Count) const {
  static const char CDigits[] = "0123456789ABCDEF";
  std::string Text;
  Count = std::min(Count, Size());
  Text.reserve(Count * 2);
  for (uint32_t A = 0; A < Count; ++A) {
    uint8_t Value = ReadCell(A);
    Text += CDigits[Value >> 4];
    Text += CDigits[Value & 15];
  }
  return Text;
}

uint16_t TChipModel::ChecksumComplement(uint32_t Count) const {
  uint32_t Sum = 0;
  Count = std::min(Count, Size());
  for (uint32_t A = 0; A < Count; ++A) {
    Sum += ReadCell(A);
  }
  return uint16_t(0x10000 - (Sum & 0xFFFF));
}

void TChipModel::SetCells(const std::vector<uint8_t>& Contents) {
  if (!FPresent) {
    return;
  }
  for (size_t A = 0; A < FCells.size(); ++A) {
    FCells[A] = A < Contents.size() ? Contents[A] : 0xFF;
  }
}

}  // namespace korvane::sim
