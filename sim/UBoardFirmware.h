// The virtual board's firmware: decodes what the host sends, one byte at a
// time, and answers from the chip model. It knows nothing of the line it talks
// on; the line (a pseudo-terminal in TBoardSim) carries, paces and records.
// docs/PROTOCOL.md describes every command and reply.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "UBoardSim.h"
#include "UChipModel.h"

namespace korvane::sim {

// What the board holds and has counted; read by the test thread while the
// board serves, so every access goes through Lock.
struct TBoardState {
  explicit TBoardState(const TBoardSimOptions& Options) : Chip(Options) {}

  mutable std::mutex Lock;
  TChipModel Chip;
  TBoardSimCounters Counters;
  std::string Received;
};

// The firmware's side of the line.
class IBoardLine {
 public:
  virtual ~IBoardLine() = default;
  // Sends Bytes to the host in order; false once the line is gone.
  virtual bool Send(std::string_view Bytes) = 0;
  // Returns once the host has taken everything sent so far from its input
  // (bounded, so that a host that stopped reading cannot hold the board).
  virtual void AwaitTaken() = 0;
  // The board is busy for Ms milliseconds of simulated work.
  virtual void Busy(int Ms) = 0;
  // Closes the board's side: the host sees a hang-up.
  virtual void HangUp() = 0;
  // A line of commentary for the transcript (faults, refused bytes).
  virtual void Note(std::string_view Text) = 0;
};

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
  TMode FMode = TMode::Command;
  std::string FDigits;
  uint32_t FWriteIndex = 0;
  uint32_t FWriteCount = 0;
};

// "0D CR", "41 'A'", "11 DC1": a byte as the transcript shows it.
std::string DescribeByte(uint8_t Byte);

}  // namespace korvane::sim
