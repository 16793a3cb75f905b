// The chip in the virtual board's socket: flash cells that programming can
// only clear, an erase that sets them all, a lock that hides them, and the
// byte counter that bounds the streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "UBoardSimOptions.h"

namespace korvane::sim {

class TChipModel {
 public:
  // Raises std::invalid_argument for an unknown kind or size.
  explicit TChipModel(const TBoardSimOptions& Options);

  // The kind as it was asked for ("89C52", "89C4051").
  const std::string& Name() const { return FName; }
  // The board's name in its banner: the 20-pin board names "2051", the 40-pin
  // board does not.
  std::string BoardName() const { return Is2051() ? "89C2051/4051" : "89C5x"; }
  // The two signature digits of the answer to "p" (empty for the 89C2051/4051).
  const std::string& Signature() const { return FSignature; }
  bool Is2051() const { return FSignature.empty(); }
  uint32_t Size() const { return uint32_t(FCells.size()); }

  void SetCounter(uint32_t Count) { FCounter = Count; }
  uint32_t Counter() const { return FCounter; }

  // Every cell to FF and the lock cleared; an incomplete erase leaves cell 0 at
  // 00, so that the chip does not read as blank.
  void Erase(bool Complete);
  // A cell takes old AND data: programming can clear bits, never set them.
  // Addresses beyond the chip are ignored.
  void Program(uint32_t Address, uint8_t Data);
  void Lock() { FLocked = true; }
  bool Locked() const { return FLocked; }
  bool Blank() const;

  // The first Counter() cells as two upper-case hex characters each (FF when locked).
  std::string ReadHex() const;
  // V with (sum of the first Counter() cells as read + V) mod 65536 = 0.
  uint16_t ChecksumComplement() const;

  const std::vector<uint8_t>& Cells() const { return FCells; }
  void SetCells(const std::vector<uint8_t>& Contents);

 private:
  uint8_t ReadCell(uint32_t Address) const { return FLocked ? 0xFF : FCells[Address]; }

  std::string FName;
  std::string FSignature;
  std::vector<uint8_t> FCells;
  uint32_t FCounter = 0;
  bool FLocked = false;
  int FCorruptAt = -1;
};

}  // namespace korvane::sim
