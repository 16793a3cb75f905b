// The Intel HEX text of a memory image: the record reader that fills an image
// from text handed over in pieces, and the text the writer produces.
//
// These are the file-free halves of THexFile::LoadFromFile and SaveToFile;
// the file halves live in UHexFileIO.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace korvane {

class THexFile;

// Reads Intel HEX records (types 00 and 01) into an image, one line at a
// time. The text may arrive in pieces of any size; only the part of a line
// that a record can use is kept, so a line of any length costs bounded memory.
// Lines end at LF or CR LF, a lone CR is dropped, and a line that begins with
// Ctrl-Z ends the input. The image is not cleared here: bytes are stored into
// it as the records are read, before each record's checksum is tested.
class THexTextReader {
 public:
  explicit THexTextReader(THexFile& Image) : FImage(Image) {}

  // Reads the next piece of text; raises EHexFile at the first bad record.
  void Feed(const char* Text, std::size_t Length);
  // The end of the text: reads a last line that has no line end.
  void Finish();
  // True once a line beginning with Ctrl-Z has ended the input.
  bool Ended() const { return FEnded; }
  // The number of the line read last, counted from 1 and wrapping after 65535.
  uint16_t LineNumber() const { return FLineNumber; }
  // The records read so far, each with its checksum found right.
  uint32_t Records() const { return FRecords; }

 private:
  void EndLine();
  void ReadRecord();
  uint8_t Field(std::size_t Index, std::size_t Width) const;
  [[noreturn]] void Fail(const char* Format) const;

  THexFile& FImage;
  std::string FLine;          // the start of the current line, at most the longest record
  std::size_t FLength = 0;    // the whole length of the current line
  bool FLineStarted = false;  // some character (a dropped CR included) since the last line end
  bool FEnded = false;
  uint16_t FLineNumber = 0;
  uint32_t FRecords = 0;
};

// The whole text that SaveToFile writes for Image: the comment line stamped
// with Now ("dd/mm/yy hh:nn:ss" with the given separators), the data records
// of RecordLength bytes over every byte of the image, the end record; CR LF
// after every line, hexadecimal in upper case.
std::string FormatHexText(const THexFile& Image, const std::tm& Now, std::string_view DateSeparator,
                          std::string_view TimeSeparator);

// The separator of a strftime-style date or time format: its first character
// that is not part of a conversion ("%d.%m.%Y" gives "."), a whole UTF-8
// sequence when it is one, or Default when there is none.
std::string FormatSeparator(std::string_view Format, std::string_view Default);

// Six characters that make a temporary file name unlikely to be taken, varied
// by the attempt and the process; creating the file exclusively settles any clash.
std::string TemporarySuffix(unsigned Attempt, uint64_t ProcessId);

}  // namespace korvane
