// The chip in the virtual board's socket: flash cells that programming can
// only clear, an erase that sets them all, and a lock that hides them; or no
// chip at all, where nothing written is kept and everything reads as FF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "UBoardSimOptions.h"

namespace korvane::sim {

class TChipModel {
 public:
  // A blank, unlocked chip of the kind Kind ("89C52", as Options.Chip takes
  // it), with the faults of Options that lie in the chip. Raises
  // std::invalid_argument for an unknown kind or size.
  TChipModel(const std::string& Kind, const TBoardSimOptions& Options);
  // The chip of Options.Chip.
  explicit TChipModel(const TBoardSimOptions& Options) : TChipModel(Options.Chip, Options) {}
  // The socket once TakenOut is out of it: on the same board, as large, with
  // signature digits that no chip kind has.
  static TChipModel Absent(const TChipModel& TakenOut);

  // The kind as it was asked for ("89C52", "89C4051"), or "empty".
  const std::string& Name() const { return FName; }
  bool Present() const { return FPresent; }
  // The board's name in its banner: the 20-pin board names "2051", the 40-pin
  // board does not.
  std::string BoardName() const { return FTwentyPin ? "89C2051/4051" : "89C5x"; }
  // The 20-pin board, which does not answer "p".
  bool TwentyPinBoard() const { return FTwentyPin; }
  // The two signature digits of the answer to "p" (empty for the 89C2051/4051).
  const std::string& Signature() const { return FSignature; }
  uint32_t Size() const { return uint32_t(FCells.size()); }

  // Every cell to FF and the lock cleared; an incomplete erase leaves cell 0 at
  // 00, so that the chip does not read as blank.
  void Erase(bool Complete);
  // A cell takes old AND data: programming can clear bits, never set them.
  // Addresses beyond the chip are ignored.
  void Program(uint32_t Address, uint8_t Data);
  void Lock() { FLocked = FPresent; }
  bool Locked() const { return FLocked; }
  bool Blank() const;

  // The first Count cells as two upper-case hex characters each (FF when
  // locked), at most the whole chip.
  std::string ReadHex(uint32_t Count) const;
  // V with (sum of the first Count cells as read + V) mod 65536 = 0.
  uint16_t ChecksumComplement(uint32_t Count) const;

  const std::vector<uint8_t>& Cells() const { return FCells; }
  // Ignored without a chip: an empty socket keeps nothing.
  void SetCells(const std::vector<uint8_t>& Contents);

 private:
  TChipModel() = default;
  uint8_t ReadCell(uint32_t Address) const { return FLocked ? 0xFF : FCells[Address]; }

  std::string FName;
  std::string FSignature;
  std::vector<uint8_t> FCells;
  bool FPresent = true;
  bool FTwentyPin = false;
  bool FLocked = false;
  int FCorruptAt = -1;
};

}  // namespace korvane::sim
