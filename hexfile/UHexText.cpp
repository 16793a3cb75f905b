#include "UHexText.h"

#include <chrono>
#include <cstdio>

#include "UHexFile.h"

namespace korvane {

namespace {

constexpr char kCtrlZ = 0x1A;
// The longest record a line can hold: 255 data bytes. Whatever follows it on
// the line is never looked at.
constexpr std::size_t kLongestRecord = 11 + 2 * 255;
// The UTF-8 byte-order mark that editors on Windows put before the first
// line: the first record follows it.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

int HexDigit(char C) {
  if (C >= '0' && C <= '9')
    return C - '0';
  if (C >= 'A' && C <= 'F')
    return C - 'A' + 10;
  if (C >= 'a' && C <= 'f')
    return C - 'a' + 10;
  return -1;
}

void AppendHex(std::string& Text, unsigned Value, int Digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int Shift = (Digits - 1) * 4; Shift >= 0; Shift -= 4)
    Text += kDigits[(Value >> Shift) & 0xF];
}

void AppendTwoDigits(std::string& Text, int Value) {
  Text += static_cast<char>('0' + Value / 10 % 10);
  Text += static_cast<char>('0' + Value % 10);
}

void AppendRecord(std::string& Text, uint16_t Start, const std::string& Data, unsigned Count,
                  uint8_t Sum) {
  const uint8_t Checksum = static_cast<uint8_t>(0 - (Count + Sum + (Start & 0xFF) + (Start >> 8)));
  Text += ':';
  AppendHex(Text, Count, 2);
  AppendHex(Text, Start, 4);
  Text += "00";
  Text += Data;
  AppendHex(Text, Checksum, 2);
  Text += "\r\n";
}

}  // namespace

void THexTextReader::Feed(const char* Text, std::size_t Length) {
  for (std::size_t I = 0; I < Length && !FEnded; ++I) {
    const char C = Text[I];
    if (C == '\n') {
      EndLine();
    } else if (C == '\r') {
      // Dropped: before an LF it is part of the line end, elsewhere it is noise.
      FLineStarted = true;
    } else if (C == kCtrlZ && FLength == 0) {
      FEnded = true;
    } else {
      if (FLine.size() < kLongestRecord + kByteOrderMark.size())
        FLine += C;
      ++FLength;
      FLineStarted = true;
    }
  }
}

void THexTextReader::Finish() {
  if (!FEnded && FLineStarted)
    EndLine();
}

void THexTextReader::EndLine() {
  ++FLineNumber;
  ReadRecord();
  FLine.clear();
  FLength = 0;
  FLineStarted = false;
}

void THexTextReader::Fail(const char* Format) const {
  char Message[64];
  std::snprintf(Message, sizeof Message, Format, static_cast<unsigned>(FLineNumber));
  throw EHexFile(Message);
}

// The field of Width characters from Index (0-based), as a hexadecimal number
// made of exactly the characters there; a field cut short by the line's end
// is converted from what there is.
uint8_t THexTextReader::Field(std::size_t Index, std::size_t Width) const {
  if (Index >= FLine.size())
    Fail("Invalid Data at Line:%u");
  const std::size_t End = Index + Width < FLine.size() ? Index + Width : FLine.size();
  unsigned Value = 0;
  for (std::size_t I = Index; I < End; ++I) {
    const int Digit = HexDigit(FLine[I]);
    if (Digit < 0)
      Fail("Invalid Data at Line:%u");
    Value = Value * 16 + static_cast<unsigned>(Digit);
  }
  return static_cast<uint8_t>(Value);
}

void THexTextReader::ReadRecord() {
  if (FLineNumber == 1 && FLine.starts_with(kByteOrderMark)) {
    FLine.erase(0, kByteOrderMark.size());
    FLength -= kByteOrderMark.size();
  }
  if (FLength == 0 || FLine[0] != ':')
    return;

  uint8_t Sum = 0;
  const uint8_t Count = Field(1, 2);
  Sum += Count;
  if (FLength < 11 + 2 * std::size_t{Count})
    Fail("Incomplete data at Line:%u");

  const uint8_t AddressHigh = Field(3, 2);
  const uint8_t AddressLow = Field(5, 2);
  const uint16_t Address = static_cast<uint16_t>(AddressHigh << 8 | AddressLow);
  Sum += AddressLow;
  Sum += AddressHigh;

  const uint8_t Type = Field(7, 2);
  Sum += Type;

  uint8_t Checksum = 0;
  if (Type == 0x00) {
    for (unsigned I = 0; I < Count; ++I) {
      const uint8_t Byte = Field(9 + 2 * I, 2);
      Sum += Byte;
      FImage.SetByte(static_cast<uint16_t>(Address + I), Byte);
    }
    Checksum = Field(9 + 2 * std::size_t{Count}, 2);
  } else if (Type == 0x01) {
    Checksum = Field(9, 2);
  } else {
    char Message[64];
    std::snprintf(Message, sizeof Message, "Non subport block type at line:%u",
                  static_cast<unsigned>(FLineNumber));
    throw EHexFile(Message, THexFault::hfRecordType, Type, static_cast<uint32_t>(FLineNumber));
  }

  if (static_cast<uint8_t>(Sum + Checksum) != 0)
    Fail("Checksum error at line:%u");
  ++FRecords;
}

std::string FormatHexText(const THexFile& Image, const std::tm& Now, std::string_view DateSeparator,
                          std::string_view TimeSeparator) {
  const unsigned RecordLength = Image.RecordLength();
  std::string Text;
  Text.reserve(64 + (Image.Size() / RecordLength + 2) * (13 + 2 * RecordLength));

  Text += ";Created by Korvane : ";
  AppendTwoDigits(Text, Now.tm_mday);
  Text += DateSeparator;
  AppendTwoDigits(Text, Now.tm_mon + 1);
  Text += DateSeparator;
  AppendTwoDigits(Text, (Now.tm_year + 1900) % 100);
  Text += ' ';
  AppendTwoDigits(Text, Now.tm_hour);
  Text += TimeSeparator;
  AppendTwoDigits(Text, Now.tm_min);
  Text += TimeSeparator;
  AppendTwoDigits(Text, Now.tm_sec);
  Text += "\r\n";

  std::string Data;
  unsigned Count = 0;
  uint8_t Sum = 0;
  uint16_t Start = 0;
  for (unsigned Address = 0; Address < Image.Size(); ++Address) {
    if (Count == 0)
      Start = static_cast<uint16_t>(Address);
    const uint8_t Byte = Image.GetByte(static_cast<uint16_t>(Address));
    AppendHex(Data, Byte, 2);
    Sum += Byte;
    if (++Count == RecordLength) {
      AppendRecord(Text, Start, Data, Count, Sum);
      Count = 0;
      Sum = 0;
      Data.clear();
    }
  }
  if (Count != 0)
    AppendRecord(Text, Start, Data, Count, Sum);

  Text += ":00000001FF\r\n";
  return Text;
}

std::string FormatSeparator(std::string_view Format, std::string_view Default) {
  std::size_t I = 0;
  while (I < Format.size()) {
    if (Format[I] != '%')
      break;
    // A conversion: '%', any flags, width and E/O modifiers, then its letter.
    ++I;
    while (I < Format.size() &&
           std::string_view("_-0^#EO123456789").find(Format[I]) != std::string_view::npos)
      ++I;
    if (I < Format.size())
      ++I;
  }
  if (I >= Format.size())
    return std::string(Default);

  std::size_t Length = 1;
  const auto Lead = static_cast<unsigned char>(Format[I]);
  if (Lead >= 0xC0) {
    while (I + Length < Format.size() &&
           (static_cast<unsigned char>(Format[I + Length]) & 0xC0) == 0x80)
      ++Length;
  }
  return std::string(Format.substr(I, Length));
}

std::string TemporarySuffix(unsigned Attempt, uint64_t ProcessId) {
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  uint64_t Seed =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  Seed ^= ProcessId << 32;
  Seed += Attempt * 0x9E3779B97F4A7C15ULL;
  std::string Suffix;
  for (int I = 0; I < 6; ++I) {
    Seed ^= Seed >> 29;
    Seed *= 0xBF58476D1CE4E5B9ULL;
    Suffix += kAlphabet[Seed % 36];
  }
  return Suffix;
}

}  // namespace korvane
