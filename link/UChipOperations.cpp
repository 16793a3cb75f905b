// The chip operations the workflows chain together: the byte counter, erase,
// the write and read streams, the two verifications and the lock.
#include <chrono>
#include <cstdio>
#include <thread>

#include "UProgrammer.h"

namespace korvane {

namespace {

constexpr int EraseTries = 10;
// The board needs a moment after "r" and before "c" before it answers.
constexpr auto BoardSettleTime = std::chrono::milliseconds(500);

bool Contains(const std::string& Text, std::string_view Word) {
  return Text.find(Word) != std::string::npos;
}

int HexDigit(char Ch) {
  if (Ch >= '0' && Ch <= '9') {
    return Ch - '0';
  }
  if (Ch >= 'A' && Ch <= 'F') {
    return Ch - 'A' + 10;
  }
  if (Ch >= 'a' && Ch <= 'f') {
    return Ch - 'a' + 10;
  }
  return -1;
}

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

}  // namespace

bool TProgrammer::ReadStreamByte(uint8_t& Value) {
  return ComPort.Read(&Value, 1) == 1;
}

bool TProgrammer::SetCounter(uint16_t Count) {
  std::string Reply;
  SendCommand('s', DC1, 2000, Reply);
  if (Reply.empty()) {
    return false;
  }
  for (char Digit : std::to_string(Count)) {
    SendCommand(static_cast<uint8_t>(Digit), DC1, 1000, Reply);
    if (Reply.empty()) {
      return false;
    }
  }
  SendCommand(LF, '>', 1000, Reply);
  return Contains(Reply, "ok");
}

bool TProgrammer::EraseChip() {
  ComPort.ClearBuffer(true, true);
  if (FTargetChip == chip89C2051) {
    // This chip gives no erased flag: each try reads the whole chip back.
    if (!SetCounter(FSourceImage.Size())) {
      SetStatus("Send Counter Failed!");
      return false;
    }
  }
  for (int Try = 1; Try <= EraseTries; ++Try) {
    char Text[32];
    std::snprintf(Text, sizeof Text, "Erasing...[%d/10]", Try);
    SetStatus(Text);
    RepaintStatus();
    std::string Reply;
    SendCommand('e', '>', 5000, Reply);
    if (FTargetChip == chip89C2051) {
      if (ReadChip(FSourceImage.Size()) && AllErased(FChipImage, FChipImage.Size())) {
        return true;
      }
    } else if (Contains(Reply, "ok")) {
      SendCommand('p', '>', 30000, Reply);
      if (Contains(Reply, "ok")) {
        // The cell after the first comma is "0" once every cell is erased.
        const size_t Comma = Reply.find(',');
        const size_t Flag = Comma == std::string::npos ? 0 : Comma + 1;
        if (Flag < Reply.size() && Reply[Flag] == '0') {
          return true;
        }
      }
    }
  }
  return false;
}

bool TProgrammer::WriteChip(uint16_t Count) {
  SetProgressRange(0, Count - 1);
  std::string Reply;
  SendCommand('w', 'w', 1000, Reply);
  if (Reply.empty()) {
    return false;
  }
  uint32_t Written = 0;
  while (Written < Count) {
    uint8_t Handshake = 0;
    if (!ReadStreamByte(Handshake) || Handshake != DC1) {
      break;
    }
    ComPort.SendChar(FSourceImage.GetByte(static_cast<uint16_t>(Written)));
    if (!ReadStreamByte(Handshake) || Handshake != DC3) {
      break;
    }
    SetProgressPosition(static_cast<int>(Written));
    RepaintWindow();
    ++Written;
  }
  SetProgressPosition(0);
  if (Written < Count) {
    return false;
  }
  SendCommand(0, '>', 1000, Reply);
  return true;
}

bool TProgrammer::ReadChip(uint16_t Count) {
  SetProgressRange(0, Count - 1);
  ComPort.SendChar('r');
  std::this_thread::sleep_for(BoardSettleTime);
  uint32_t Stored = 0;
  // A read that times out leaves the byte 0 here, which is what gets shown.
  uint8_t Echo = 0;
  ReadStreamByte(Echo);
  if (Echo != 'r') {
    ShowMessage(std::string(1, static_cast<char>(Echo)));
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
      SetProgressPosition(static_cast<int>(Stored));
      RepaintWindow();
      ++Stored;
    }
  }
  SetProgressPosition(0);
  std::string Reply;
  SendCommand(0, '>', 1000, Reply);
  return Stored == Count;
}

bool TProgrammer::VerifyChip(uint16_t Count) {
  if (!ReadChip(Count)) {
    return false;
  }
  for (uint32_t Address = 0; Address < Count; ++Address) {
    const auto At = static_cast<uint16_t>(Address);
    if (FSourceImage.GetByte(At) != FChipImage.GetByte(At)) {
      return false;
    }
  }
  return true;
}

bool TProgrammer::FastVerifyChip(uint16_t Count) {
  ComPort.ClearBuffer(true, true);
  std::this_thread::sleep_for(BoardSettleTime);
  std::string Reply;
  SendCommand('c', '>', 1000, Reply);
  if (Reply.empty()) {
    return false;
  }
  // The four digits start two characters after the first "=" (one filler
  // character in between); without "=", at the second character.
  const size_t Equals = Reply.find('=');
  const size_t Start = Equals == std::string::npos ? 1 : Equals + 2;
  const std::string Digits = Start < Reply.size() ? Reply.substr(Start, 4) : std::string();
  uint16_t BoardValue = 0;
  if (!ParseHex16(Digits, BoardValue)) {
    return false;
  }
  uint16_t Sum = 0;
  for (uint32_t Address = 0; Address < Count; ++Address) {
    Sum = static_cast<uint16_t>(Sum + FSourceImage.GetByte(static_cast<uint16_t>(Address)));
  }
  // The board sends the two's complement of the sum.
  return static_cast<uint16_t>(Sum + BoardValue) == 0;
}

bool TProgrammer::LockChip(uint16_t Count) {
  std::string Reply;
  SendCommand('l', '>', 500, Reply);
  if (Reply.empty() || !ReadChip(Count)) {
    SetStatus("Lock Failed!");
    return false;
  }
  // A locked chip reads back as erased.
  return AllErased(FChipImage, Count);
}

std::optional<uint16_t> TProgrammer::LastUsedAddress(const THexFile& Image) const {
  for (uint32_t Address = Image.Size(); Address > 0; --Address) {
    if (Image.GetByte(static_cast<uint16_t>(Address - 1)) != 0xFF) {
      return static_cast<uint16_t>(Address - 1);
    }
  }
  return std::nullopt;
}

}  // namespace korvane
