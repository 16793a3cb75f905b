// The board's transcript: one line per byte in the order the board met them
// ("> " from the host, "< " to the host) and "! " notes, written as the board
// goes. docs/PROTOCOL.md shows its form.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace korvane::sim {

class TTranscript {
 public:
  // Starts the file at Path with the header line "# Header"; raises
  // std::runtime_error when it cannot be written.
  void Open(const std::string& Path, const std::string& Header);
  bool IsOpen() const { return FFile.is_open(); }
  // Direction '>' or '<', then each of Bytes on a line of its own.
  void Record(char Direction, std::string_view Bytes);
  void Note(std::string_view Text);
  void Flush();
  void Close();

 private:
  std::ofstream FFile;
};

// "0D CR", "41 'A'", "11 DC1": a byte as the transcript shows it.
std::string DescribeByte(uint8_t Byte);

}  // namespace korvane::sim
