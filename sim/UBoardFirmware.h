// The virtual board's firmware: decodes what the host sends, one byte at a
// time, and answers from the chip model. It knows nothing of the line it talks
// on; the line (a pseudo-terminal in TBoardSim) carries, paces and records.
// docs/PROTOCOL.md describes every command and reply.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "UBoardLine.h"
#include "UBoardSimOptions.h"
#include "UBoardState.h"
#include "UChipSocket.h"

namespace korvane::sim {

class TBoardFirmware {
 public:
  TBoardFirmware(const TBoardSimOptions& Options, TBoardState& State, IBoardLine& Line);

  // Acts on one byte from the host.
  void Receive(uint8_t Byte);

 private:
  enum class TMode { Command, Counting, Writing };

  void Command(uint8_t Byte);
  void Counting(uint8_t Byte);
  void Writing(uint8_t Byte);
  // Reads the socket file and, when another chip (or none) is in the socket
  // now, puts it in place of the one before.
  void LookAtSocket();
  void Banner();
  void Signature();
  void Erase();
  void Read();
  void Checksum();
  void PromptNextWriteByte();
  void Refuse(uint8_t Byte, std::string_view Why);

  const TBoardSimOptions& FOptions;
  TBoardState& FState;
  IBoardLine& FLine;
  TChipSocket FSocket;
  TMode FMode = TMode::Command;
  std::string FDigits;
  uint32_t FWriteIndex = 0;
  uint32_t FWriteCount = 0;
};

}  // namespace korvane::sim
