// The memory image of one chip's code memory, and its Intel HEX files.
//
// THexFile is a block of bytes addressed from 0 whose size follows the chip
// kind (2048, 4096, 8192 or 20480 bytes; at most 65535). Every access is
// bounds-checked; every failure of the image is raised as EHexFile, and every
// failure of the file system as EInOutError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane {

// What an EHexFile is about, where a front can say more about it than the
// message does.
enum class THexFault : uint8_t {
  hfOther,
  // A record of a type the reader does not take (02 and 04: extended addresses).
  hfRecordType,
  // An address at or above the image's size.
  hfExceedMemory,
  // A file with no record (or, raw, no byte) at all: nothing to program.
  hfNoRecords,
};

// Failure of the image or of the HEX text it reads ("Checksum error at line:3").
class EHexFile : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // hfRecordType: Value is the record's type, Line its line. hfExceedMemory:
  // Value is the address, Size the image's size.
  EHexFile(const std::string& Message, THexFault Fault, uint32_t Value, uint32_t LineOrSize);

  THexFault Fault() const { return FFault; }
  uint8_t RecordType() const { return static_cast<uint8_t>(FValue); }
  uint32_t Line() const { return FLineOrSize; }
  uint16_t Address() const { return static_cast<uint16_t>(FValue); }
  uint16_t ImageSize() const { return static_cast<uint16_t>(FLineOrSize); }

 private:
  THexFault FFault = THexFault::hfOther;
  uint32_t FValue = 0;
  uint32_t FLineOrSize = 0;
};

// Failure of a file operation; the message is the reason in words
// ("File not found", "File access denied", "Disk full", "I/O error 5").
class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(int errorCode);
  // A failure that the errno alone does not describe ("Not a regular file
  // (FIFO)"); errorCode is still the errno closest to it.
  EInOutError(int errorCode, const std::string& message);
  // The errno behind the failure.
  int ErrorCode() const { return FErrorCode; }
  // The words for an errno value, as the message of an EInOutError carries them.
  static std::string Reason(int errorCode);

 private:
  int FErrorCode;
};

// The two file formats of an image: Intel HEX, and raw bytes from address 0.
enum class TImageFormat { Hex, Binary };

// The format a file name implies: Binary for a name ending in ".bin" in any
// letter case, Hex for every other.
TImageFormat FormatOfFileName(const std::string& FileName);

class THexFile;
// Refuses an image whose load read no record at all (an empty file, or text
// with no HEX line; raw: no byte), before a chip is erased for a file that
// gives it nothing: EHexFile hfNoRecords, "No HEX record in file" (raw: "No
// byte in file"). Every front checks a file to program with this; erasing is
// asked for by name, or by a file of nothing but FF.
void RequireRecords(const THexFile& Image, TImageFormat Format);

class THexFile {
 public:
  // Create: an empty image, size 0, record length 16.
  THexFile();

  uint16_t Size() const { return FSize; }
  // Data bytes per record when the image is saved; always 16.
  uint8_t RecordLength() const { return FRecordLength; }

  // Gives the image a new size: bytes below the smaller size keep their
  // values, growth is zero-filled. When the memory cannot be had, raises
  // "Cannot set new memory size to %d" and leaves size and contents as they were.
  void SetSize(uint16_t NewSize);
  void Fill(uint8_t Value);
  // Fill with 0xFF, the erased state of a flash cell.
  void Clear();

  // Bounds-checked access; an address at or above Size() raises
  // "Exceed Memory Size[Target:%X Size:%X]".
  uint8_t GetByte(uint16_t Address) const;
  void SetByte(uint16_t Address, uint8_t Value);

  // Clears the image and reads Intel HEX records (types 00 and 01) into it.
  // Returns true or raises (EHexFile for the text, EInOutError for the file).
  // What CheckInputFile refuses is refused before anything is read and
  // leaves the image as it was.
  bool LoadFromFile(const std::string& FileName);
  // The same reader over any text stream (a file's contents, a fuzzer's input).
  bool LoadFromStream(std::istream& Input);
  // The records (data and end) that the last load read; 0 when its text held
  // none at all (an empty file, or text with no line that begins with ":").
  uint32_t LoadedRecords() const { return FLoadedRecords; }
  // Writes the whole image as Intel HEX: a comment line, 16-byte records, the
  // end record, CR LF after every line. The previous file is replaced only
  // once the new one has been written completely.
  bool SaveToFile(const std::string& FileName) const;

  // A raw binary image: the file's bytes from address 0, nothing else. The
  // load clears the image first; a file longer than the image raises
  // "Exceed Memory Size[Target:%X Size:%X]" for the first address past its
  // end. LoadedRecords() counts one record per byte read.
  bool LoadFromBinaryFile(const std::string& FileName);
  // Writes the whole image as raw bytes, replaced as safely as SaveToFile.
  bool SaveToBinaryFile(const std::string& FileName) const;

  // For tests: the largest size SetSize may allocate; a larger request fails
  // as an exhausted memory would. Unlimited by default.
  void SetAllocationLimit(std::size_t Bytes) { FAllocationLimit = Bytes; }

 private:
  std::vector<uint8_t> FData;
  uint16_t FSize = 0;
  uint8_t FRecordLength = 16;
  uint32_t FLoadedRecords = 0;
  std::size_t FAllocationLimit = SIZE_MAX;
};

}  // namespace korvane
