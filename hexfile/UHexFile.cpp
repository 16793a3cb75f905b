#include "UHexFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <istream>
#include <new>

#include "UHexFileIO.h"
#include "UHexText.h"

namespace korvane {

namespace {

constexpr std::size_t kReadPiece = 64 * 1024;

[[noreturn]] void RaiseExceedMemory(uint16_t Address, uint16_t Size) {
  char Message[64];
  std::snprintf(Message, sizeof Message, "Exceed Memory Size[Target:%X Size:%X]",
                static_cast<unsigned>(Address), static_cast<unsigned>(Size));
  throw EHexFile(Message, THexFault::hfExceedMemory, Address, Size);
}

[[noreturn]] void RaiseCannotSetSize(uint16_t NewSize) {
  char Message[64];
  std::snprintf(Message, sizeof Message, "Cannot set new memory size to %d", int{NewSize});
  throw EHexFile(Message);
}

}  // namespace

EHexFile::EHexFile(const std::string& Message, THexFault Fault, uint32_t Value, uint32_t LineOrSize)
    : std::runtime_error(Message), FFault(Fault), FValue(Value), FLineOrSize(LineOrSize) {}

EInOutError::EInOutError(int errorCode)
    : std::runtime_error(Reason(errorCode)), FErrorCode(errorCode) {}

EInOutError::EInOutError(int errorCode, const std::string& message)
    : std::runtime_error(message), FErrorCode(errorCode) {}

std::string EInOutError::Reason(int errorCode) {
  switch (errorCode) {
    case ENOENT:
      return "File not found";
    case EACCES:
    case EPERM:
      return "File access denied";
    case ENOSPC:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(errorCode);
  }
}

EInOutError NotARegularFile(int ErrorCode, const std::string& Kind) {
  return EInOutError(ErrorCode, "Not a regular file (" + Kind + ")");
}

EInOutError FileTooLarge(uint64_t Size) {
  return EInOutError(EFBIG, "File too large (" + std::to_string(Size) + " bytes; at most " +
                                std::to_string(kMaxInputFileSize) + ")");
}

void CheckInputFile(const std::string& FileName) {
  TInputFile File(FileName);
}

std::string ReadInputFile(const std::string& FileName) {
  TInputFile File(FileName);
  std::string Bytes;
  std::vector<char> Piece(kReadPiece);
  while (const std::size_t Got = File.Read(Piece.data(), Piece.size())) {
    Bytes.append(Piece.data(), Got);
  }
  return Bytes;
}

THexFile::THexFile() = default;

void THexFile::SetSize(uint16_t NewSize) {
  if (NewSize == FSize)
    return;
  try {
    if (NewSize > FSize && NewSize > FAllocationLimit)
      throw std::bad_alloc();
    if (NewSize == 0)
      std::vector<uint8_t>().swap(FData);
    else
      FData.resize(NewSize, 0x00);  // leaves FData as it was when it throws
  } catch (const std::bad_alloc&) {
    RaiseCannotSetSize(NewSize);
  } catch (const std::length_error&) {
    RaiseCannotSetSize(NewSize);
  }
  FSize = NewSize;
}

void THexFile::Fill(uint8_t Value) {
  std::fill(FData.begin(), FData.end(), Value);
}

void THexFile::Clear() {
  Fill(0xFF);
}

uint8_t THexFile::GetByte(uint16_t Address) const {
  if (Address >= FSize)
    RaiseExceedMemory(Address, FSize);
  return FData[Address];
}

void THexFile::SetByte(uint16_t Address, uint8_t Value) {
  if (Address >= FSize)
    RaiseExceedMemory(Address, FSize);
  FData[Address] = Value;
}

bool THexFile::LoadFromFile(const std::string& FileName) {
  TInputFile File(FileName);
  Clear();
  FLoadedRecords = 0;
  THexTextReader Reader(*this);
  std::vector<char> Piece(kReadPiece);
  while (!Reader.Ended()) {
    const std::size_t Got = File.Read(Piece.data(), Piece.size());
    if (Got == 0)
      break;
    Reader.Feed(Piece.data(), Got);
  }
  Reader.Finish();
  FLoadedRecords = Reader.Records();
  return true;
}

bool THexFile::LoadFromStream(std::istream& Input) {
  Clear();
  FLoadedRecords = 0;
  THexTextReader Reader(*this);
  std::vector<char> Piece(kReadPiece);
  while (!Reader.Ended()) {
    Input.read(Piece.data(), static_cast<std::streamsize>(Piece.size()));
    const auto Got = static_cast<std::size_t>(Input.gcount());
    Reader.Feed(Piece.data(), Got);
    if (!Input)
      break;
  }
  if (Input.bad())
    throw EInOutError(EIO);
  Reader.Finish();
  FLoadedRecords = Reader.Records();
  return true;
}

bool THexFile::LoadFromBinaryFile(const std::string& FileName) {
  TInputFile File(FileName);
  Clear();
  FLoadedRecords = 0;
  std::vector<char> Piece(kReadPiece);
  uint32_t Address = 0;
  for (;;) {
    const std::size_t Got = File.Read(Piece.data(), Piece.size());
    if (Got == 0)
      break;
    for (std::size_t Index = 0; Index < Got; ++Index, ++Address) {
      if (Address >= FSize)
        RaiseExceedMemory(static_cast<uint16_t>(Address), FSize);
      FData[Address] = static_cast<uint8_t>(Piece[Index]);
    }
  }
  FLoadedRecords = Address;
  return true;
}

bool THexFile::SaveToBinaryFile(const std::string& FileName) const {
  ReplaceFileContents(FileName,
                      std::string_view(reinterpret_cast<const char*>(FData.data()), FSize));
  return true;
}

void RequireRecords(const THexFile& Image, TImageFormat Format) {
  if (Image.LoadedRecords() == 0) {
    throw EHexFile(Format == TImageFormat::Binary ? "No byte in file" : "No HEX record in file",
                   THexFault::hfNoRecords, 0, 0);
  }
}

TImageFormat FormatOfFileName(const std::string& FileName) {
  std::string Tail = FileName.size() >= 4 ? FileName.substr(FileName.size() - 4) : "";
  for (char& Ch : Tail)
    Ch = static_cast<char>(std::tolower(static_cast<unsigned char>(Ch)));
  return Tail == ".bin" ? TImageFormat::Binary : TImageFormat::Hex;
}

bool THexFile::SaveToFile(const std::string& FileName) const {
  ReplaceFileContents(
      FileName, FormatHexText(*this, LocalNow(), RegionalDateSeparator(), RegionalTimeSeparator()));
  return true;
}

}  // namespace korvane
