// The chip operations the workflows chain together: the byte counter, erase,
// the write and read streams, the two verifications and the lock.
#include <chrono>
#include <string>
#include <thread>

#include "UBoardLink.h"
#include "UBoardProtocol.h"
#include "UText.h"
#include "UWireTime.h"

namespace korvane {

using namespace protocol;

namespace {

// Reads Text as a hexadecimal number of 1 to 4 digits; false for anything else.
bool ParseHex16(const std::string& Text, uint16_t& Value) {
  if (Text.empty() || Text.size() > 4) {
    return false;
  }
  unsigned Result = 0;
  for (char Ch : Text) {
    const int Digit = HexDigit(Ch);
    if (Digit < 0) {
      return false;
    }
    Result = Result * 16 + static_cast<unsigned>(Digit);
  }
  Value = static_cast<uint16_t>(Result);
  return true;
}

bool AllErased(const THexFile& Image, uint32_t Count) {
  for (uint32_t Address = 0; Address < Count; ++Address) {
    if (Image.GetByte(static_cast<uint16_t>(Address)) != 0xFF) {
      return false;
    }
  }
  return true;
}

// The board marks an erased chip with "0" in the cell after the first comma
// of its answer to "p" (the first cell when there is no comma).
bool ErasedFlagSet(const std::string& Reply) {
  const size_t Comma = Reply.find(',');
  const size_t Flag = Comma == std::string::npos ? 0 : Comma + 1;
  return Flag < Reply.size() && Reply[Flag] == '0';
}

}  // namespace

bool TBoardLink::ReadStreamByte(uint8_t& Value) {
  return FLine->Read(&Value, 1) == 1;
}

bool TBoardLink::SetCounter(uint16_t Count) {
  std::string Reply;
  SendCommand(CmdCounter, DC1, CounterStartTimeoutMs, Reply);
  if (Reply.empty()) {
    return Record(TStep::stepCounter, false);
  }
  for (char Digit : std::to_string(Count)) {
    SendCommand(static_cast<uint8_t>(Digit), DC1, CounterDigitTimeoutMs, Reply);
    if (Reply.empty()) {
      return Record(TStep::stepCounter, false);
    }
  }
  SendCommand(LF, Prompt, CounterDigitTimeoutMs, Reply);
  return Record(TStep::stepCounter, Contains(Reply, ReplyOk));
}

bool TBoardLink::EraseChip() {
  FLine->ClearBuffer(true, true);
  const bool Erased = FTargetChip == chip89C2051 ? EraseByReadingBack() : EraseByErasedFlag();
  return Record(TStep::stepErase, Erased);
}

void TBoardLink::SendEraseTry(int Try, std::string& Reply) {
  StopPoint(TStep::stepErase);
  // From the first "e" on, the chip no longer holds what it held.
  FProgress.EraseStarted = true;
  Report(TStatus::stEraseTry, static_cast<unsigned>(Try));
  SendCommand(CmdErase, Prompt, EraseTimeoutMs, Reply);
}

bool TBoardLink::EraseByErasedFlag() {
  for (int Try = 1; Try <= EraseTries; ++Try) {
    std::string Reply;
    SendEraseTry(Try, Reply);
    if (!Contains(Reply, ReplyOk)) {
      continue;
    }
    SendCommand(CmdSignature, Prompt, SignatureTimeoutMs, Reply);
    if (Contains(Reply, ReplyOk) && ErasedFlagSet(Reply)) {
      return true;
    }
  }
  return false;
}

bool TBoardLink::EraseByReadingBack() {
  // This chip gives no erased flag: each try reads the whole chip back.
  if (!SetCounter(FSourceImage.Size())) {
    Report(TStatus::stSendCounterFailed);
    return false;
  }
  for (int Try = 1; Try <= EraseTries; ++Try) {
    std::string Reply;
    SendEraseTry(Try, Reply);
    if (ReadChip(FSourceImage.Size()) && AllErased(FChipImage, FChipImage.Size())) {
      return true;
    }
  }
  return false;
}

bool TBoardLink::WriteChip(uint16_t Count) {
  SetProgressRange(0, Count - 1);
  std::string Reply;
  SendCommand(CmdWrite, CmdWrite, WriteEchoTimeoutMs, Reply);
  if (Reply.empty()) {
    return Record(TStep::stepWrite, false);
  }
  // The board leaves the stream only after Count bytes. Once a stop is asked
  // for, each byte still asked for is FF, which programming leaves as it is.
  bool Filling = false;
  uint32_t Sent = 0;
  FProgress.Written = 0;
  const auto Started = std::chrono::steady_clock::now();
  while (Sent < Count) {
    uint8_t Handshake = 0;
    if (!ReadStreamByte(Handshake) || Handshake != DC1) {
      break;
    }
    if (!Filling && StopRequested()) {
      Filling = true;
      // The pace so far, once a few bytes show it; the wire's before.
      const std::chrono::duration<double, std::milli> Spent =
          std::chrono::steady_clock::now() - Started;
      const double CycleMs = Sent >= 8 ? Spent.count() / Sent : WireCycleMs;
      if (FObserver != nullptr) {
        FObserver->StopNoticed({TStep::stepWrite, Count - Sent, (Count - Sent) * CycleMs / 1000});
      }
    }
    FLine->SendChar(Filling ? 0xFF : FSourceImage.GetByte(static_cast<uint16_t>(Sent)));
    if (!ReadStreamByte(Handshake) || Handshake != DC3) {
      break;
    }
    MoveProgress(static_cast<int>(Sent));
    ++Sent;
    if (!Filling) {
      FProgress.Written = Sent;
    }
    if (Sent == TimedWriteBytes && Count > TimedWriteBytes) {
      const std::chrono::duration<double, std::milli> Spent =
          std::chrono::steady_clock::now() - Started;
      if (FObserver != nullptr) {
        FObserver->WriteTimingMeasured({Spent.count() / Sent, WireCycleMs, Count});
      }
    }
  }
  MoveProgress(0);
  if (Sent < Count) {
    return Record(TStep::stepWrite, false);
  }
  SendCommand(CmdNone, Prompt, StreamEndTimeoutMs, Reply);
  if (Filling) {
    StopPoint(TStep::stepWrite);
  }
  return Record(TStep::stepWrite, true);
}

bool TBoardLink::ReadChip(uint16_t Count) {
  SetProgressRange(0, Count - 1);
  FLine->SendChar(CmdRead);
  std::this_thread::sleep_for(BoardSettleTime);
  uint32_t Stored = 0;
  bool StopSeen = false;
  // A read that times out leaves the byte 0 here, which is what gets shown.
  uint8_t Echo = 0;
  ReadStreamByte(Echo);
  if (Echo != CmdRead) {
    if (FObserver != nullptr) {
      FObserver->BoardMessage(std::string(1, static_cast<char>(Echo)));
    }
  } else {
    while (Stored < Count) {
      uint8_t High = 0;
      uint8_t Low = 0;
      if (!ReadStreamByte(High) || !ReadStreamByte(Low)) {
        break;
      }
      const int HighDigit = HexDigit(static_cast<char>(High));
      const int LowDigit = HexDigit(static_cast<char>(Low));
      if (HighDigit < 0 || LowDigit < 0) {
        break;
      }
      FChipImage.SetByte(static_cast<uint16_t>(Stored),
                         static_cast<uint8_t>(HighDigit * 16 + LowDigit));
      MoveProgress(static_cast<int>(Stored));
      ++Stored;
      if (!StopSeen && StopRequested()) {
        StopSeen = true;
        if (FObserver != nullptr) {
          FObserver->StopNoticed(
              {TStep::stepRead, Count - Stored, WireSeconds(2 * (Count - Stored))});
        }
      }
    }
  }
  MoveProgress(0);
  std::string Reply;
  SendCommand(CmdNone, Prompt, StreamEndTimeoutMs, Reply);
  return Record(TStep::stepRead, Stored == Count);
}

bool TBoardLink::VerifyChip(uint16_t Count) {
  FDifference.reset();
  const bool Read = ReadChip(Count);
  StopPoint(TStep::stepVerify);
  if (!Read) {
    return Record(TStep::stepVerify, false);
  }
  for (uint32_t Address = 0; Address < Count; ++Address) {
    const auto At = static_cast<uint16_t>(Address);
    const uint8_t FileByte = FSourceImage.GetByte(At);
    const uint8_t ChipByte = FChipImage.GetByte(At);
    if (FileByte == ChipByte) {
      continue;
    }
    if (!FDifference) {
      FDifference = TDifference{At, FileByte, ChipByte, 0};
    }
    ++FDifference->Count;
  }
  return Record(TStep::stepVerify, !FDifference);
}

bool TBoardLink::FastVerifyChip(uint16_t Count) {
  FLine->ClearBuffer(true, true);
  std::this_thread::sleep_for(BoardSettleTime);
  std::string Reply;
  SendCommand(CmdChecksum, Prompt, ChecksumTimeoutMs, Reply);
  if (Reply.empty()) {
    return Record(TStep::stepFastVerify, false);
  }
  // The four digits start two characters after the first "=" (one filler
  // character in between); without "=", at the second character.
  const size_t Equals = Reply.find('=');
  const size_t Start = Equals == std::string::npos ? 1 : Equals + 2;
  const std::string Digits = Start < Reply.size() ? Reply.substr(Start, 4) : std::string();
  uint16_t BoardValue = 0;
  if (!ParseHex16(Digits, BoardValue)) {
    return Record(TStep::stepFastVerify, false);
  }
  // The board sends the two's complement of the sum.
  return Record(TStep::stepFastVerify,
                static_cast<uint16_t>(ImageSum(FSourceImage, Count) + BoardValue) == 0);
}

uint16_t TBoardLink::ImageSum(const THexFile& Image, uint16_t Count) {
  uint16_t Sum = 0;
  for (uint32_t Address = 0; Address < Count; ++Address) {
    Sum = static_cast<uint16_t>(Sum + Image.GetByte(static_cast<uint16_t>(Address)));
  }
  return Sum;
}

bool TBoardLink::LockChip(uint16_t Count) {
  std::string Reply;
  SendCommand(CmdLock, Prompt, LockTimeoutMs, Reply);
  if (Reply.empty() || !ReadChip(Count)) {
    Report(TStatus::stLockFailed);
    return Record(TStep::stepLock, false);
  }
  // A locked chip reads back as erased.
  return Record(TStep::stepLock, AllErased(FChipImage, Count));
}

std::optional<uint16_t> TBoardLink::LastUsedAddress(const THexFile& Image) {
  for (uint32_t Address = Image.Size(); Address > 0; --Address) {
    if (Image.GetByte(static_cast<uint16_t>(Address - 1)) != 0xFF) {
      return static_cast<uint16_t>(Address - 1);
    }
  }
  return std::nullopt;
}

}  // namespace korvane
