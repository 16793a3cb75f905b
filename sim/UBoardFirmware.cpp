#include "UBoardFirmware.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "UTranscript.h"

namespace korvane::sim {

namespace {

constexpr char CDC1 = 17;
constexpr char CDC3 = 19;
// The most digits a counter can have: the largest chip holds 20480 bytes.
constexpr size_t CMaxCounterDigits = 5;

}  // namespace

TBoardFirmware::TBoardFirmware(const TBoardSimOptions& Options, TBoardState& State,
                               IBoardLine& Line)
    : FOptions(Options),
      FState(State),
      FLine(Line),
      FSocket(Options.SocketPath, State.Chip.Name()) {}

void TBoardFirmware::Receive(uint8_t Byte) {
  if (FOptions.Silent) {
    return;
  }
  switch (FMode) {
    case TMode::Command:
      Command(Byte);
      break;
    case TMode::Counting:
      Counting(Byte);
      break;
    case TMode::Writing:
      Writing(Byte);
      break;
  }
}

void TBoardFirmware::Command(uint8_t Byte) {
  switch (Byte) {
    case '\r':
      Banner();
      break;
    case 'p':
      Signature();
      break;
    case 'e':
      Erase();
      break;
    case 's':
      FMode = TMode::Counting;
      FDigits.clear();
      FLine.Send(std::string(1, CDC1));
      break;
    case 'w': {
      {
        std::lock_guard<std::mutex> Guard(FState.Lock);
        FWriteCount = std::min(FState.Counter, FState.Chip.Size());
      }
      if (FWriteCount == 0) {
        FLine.Note("write with no counter set: no byte is taken");
      }
      FWriteIndex = 0;
      if (!FLine.Send("w")) {
        return;
      }
      // The host's exchange for "w" keeps whatever arrives with the echo, so
      // the first DC1 must reach it as a piece of its own; on the real line it
      // trails the echo by a byte time.
      FLine.AwaitTaken();
      FMode = TMode::Writing;
      PromptNextWriteByte();
      break;
    }
    case 'r':
      Read();
      break;
    case 'c':
      Checksum();
      break;
    case 'l': {
      {
        std::lock_guard<std::mutex> Guard(FState.Lock);
        FState.Chip.Lock();
      }
      FLine.Send("l ok\r\n>");
      break;
    }
    default:
      Refuse(Byte, "no such command");
  }
}

void TBoardFirmware::Counting(uint8_t Byte) {
  if (Byte >= '0' && Byte <= '9') {
    if (FDigits.size() >= CMaxCounterDigits) {
      Refuse(Byte, "more counter digits than any chip needs");
      return;
    }
    FDigits += char(Byte);
    FLine.Send(std::string(1, CDC1));
    return;
  }
  if (Byte != '\n') {
    Refuse(Byte, "not a counter digit or line feed");
    return;
  }
  if (FDigits.empty()) {
    Refuse(Byte, "line feed before any counter digit");
    return;
  }
  const uint32_t Count = uint32_t(std::stoul(FDigits));
  uint32_t Size;
  {
    std::lock_guard<std::mutex> Guard(FState.Lock);
    Size = FState.Chip.Size();
    if (Count >= 1 && Count <= Size) {
      FState.Counter = Count;
    }
  }
  if (Count < 1 || Count > Size) {
    Refuse(Byte, "counter " + FDigits + " outside the chip's 1.." + std::to_string(Size));
    return;
  }
  FMode = TMode::Command;
  FLine.Send("ok\r\n>");
}

void TBoardFirmware::Writing(uint8_t Byte) {
  {
    std::lock_guard<std::mutex> Guard(FState.Lock);
    FState.Chip.Program(FWriteIndex, Byte);
  }
  ++FWriteIndex;
  if (FLine.Send(std::string(1, CDC3))) {
    PromptNextWriteByte();
  }
}

void TBoardFirmware::PromptNextWriteByte() {
  const int Index = int(FWriteIndex);
  if (FWriteIndex >= FWriteCount) {
    FMode = TMode::Command;
    FLine.Send("\r\nok\r\n>");
  } else if (Index == FOptions.HangUpAtWriteByte) {
    FLine.Note("fault: hang-up where DC1 for write byte " + std::to_string(Index) + " is due");
    FMode = TMode::Command;
    FLine.HangUp();
  } else if (Index == FOptions.Dc3InsteadOfDc1At) {
    FLine.Note("fault: DC3 where DC1 for write byte " + std::to_string(Index) + " is due");
    FMode = TMode::Command;
    FLine.Send(std::string(1, CDC3));
  } else {
    FLine.Send(std::string(1, CDC1));
  }
}

void TBoardFirmware::LookAtSocket() {
  const std::optional<std::string> Kind = FSocket.Look();
  if (!Kind) {
    return;
  }
  try {
    // A chip put in is new: what the one taken out held is gone with it.
    std::lock_guard<std::mutex> Guard(FState.Lock);
    FState.Chip = *Kind == TChipSocket::CEmpty ? TChipModel::Absent(FState.Chip)
                                               : TChipModel(*Kind, FOptions);
  } catch (const std::invalid_argument& E) {
    FLine.Note("socket: cannot put in '" + *Kind + "': " + E.what() +
               "; the socket stays as it is");
    return;
  }
  FSocket.Seated(*Kind);
  FLine.Note(FState.Chip.Present() ? "socket: a blank " + *Kind + " is put in"
                                   : std::string("socket: the chip is taken out"));
}

void TBoardFirmware::Banner() {
  LookAtSocket();
  if (FOptions.NoBannerWord) {
    FLine.Note("fault: banner without its word");
    FLine.Send("\r\n?\r\n>");
    return;
  }
  FLine.Send("\r\nVyte " + FState.Chip.BoardName() + " Programmer V1.0\r\n>");
}

void TBoardFirmware::Signature() {
  LookAtSocket();
  if (FState.Chip.TwentyPinBoard()) {
    FLine.Note("the 89C2051/4051 board does not answer p");
    return;
  }
  if (FOptions.NoSignatureAnswer) {
    FLine.Note("fault: no answer to p");
    return;
  }
  bool Blank;
  {
    std::lock_guard<std::mutex> Guard(FState.Lock);
    Blank = FState.Chip.Blank();
  }
  FLine.Send("p" + FState.Chip.Signature() + " ok," + (Blank ? "0" : "1") + "\r\n>");
}

void TBoardFirmware::Erase() {
  FLine.Busy(FOptions.EraseMs);
  const uint64_t Tries = uint64_t(std::max(1, FOptions.EraseTries));
  uint64_t Number;
  {
    std::lock_guard<std::mutex> Guard(FState.Lock);
    Number = ++FState.Counters.EraseCount;
    FState.Counters.EraseMsSpent += uint64_t(std::max(0, FOptions.EraseMs));
    FState.Chip.Erase(Number >= Tries);
  }
  if (Number < Tries) {
    FLine.Note("fault: erase " + std::to_string(Number) + " of " + std::to_string(Tries) +
               " leaves the chip not blank");
  }
  FLine.Send("e ok\r\n>");
}

void TBoardFirmware::Read() {
  std::string Reply(1, 'r');
  if (FOptions.WrongReadEcho != 0) {
    Reply[0] = char(FOptions.WrongReadEcho);
    FLine.Note("fault: read echoed as " + DescribeByte(FOptions.WrongReadEcho));
  }
  {
    std::lock_guard<std::mutex> Guard(FState.Lock);
    Reply += FState.Chip.ReadHex(FState.Counter);
  }
  if (Reply.size() == 1) {
    FLine.Note("read with no counter set: no byte is sent");
  }
  FLine.Send(Reply + "\r\n>");
}

void TBoardFirmware::Checksum() {
  uint16_t Value;
  {
    std::lock_guard<std::mutex> Guard(FState.Lock);
    Value = FState.Chip.ChecksumComplement(FState.Counter);
  }
  if (FOptions.WrongChecksum) {
    FLine.Note("fault: checksum off by one");
    ++Value;
  }
  char Text[16];
  std::snprintf(Text, sizeof Text, "c= %04X\r\n>", Value);
  FLine.Send(Text);
}

void TBoardFirmware::Refuse(uint8_t Byte, std::string_view Why) {
  FLine.Note("refused " + DescribeByte(Byte) + ": " + std::string(Why));
  FMode = TMode::Command;
  FLine.Send("?\r\n>");
}

}  // namespace korvane::sim
