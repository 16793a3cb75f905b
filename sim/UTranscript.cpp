#include "UTranscript.h"

#include <cstdio>
#include <stdexcept>

namespace korvane::sim {

std::string DescribeByte(uint8_t Byte) {
  char Text[16];
  const char* Name = Byte == 17   ? "DC1"
                     : Byte == 19 ? "DC3"
                     : Byte == 13 ? "CR"
                     : Byte == 10 ? "LF"
                                  : nullptr;
  if (Name != nullptr) {
    std::snprintf(Text, sizeof Text, "%02X %s", Byte, Name);
  } else if (Byte >= 32 && Byte < 127) {
    std::snprintf(Text, sizeof Text, "%02X '%c'", Byte, Byte);
  } else {
    std::snprintf(Text, sizeof Text, "%02X", Byte);
  }
  return Text;
}

void TTranscript::Open(const std::string& Path, const std::string& Header) {
  FFile.open(Path, std::ios::out | std::ios::trunc);
  if (!FFile) {
    throw std::runtime_error("cannot write the transcript " + Path);
  }
  FFile << "# " << Header << '\n';
}

void TTranscript::Record(char Direction, std::string_view Bytes) {
  if (!FFile.is_open()) {
    return;
  }
  for (unsigned char Byte : Bytes) {
    FFile << Direction << ' ' << DescribeByte(Byte) << '\n';
  }
}

void TTranscript::Note(std::string_view Text) {
  if (FFile.is_open()) {
    FFile << "! " << Text << '\n';
  }
}

void TTranscript::Flush() {
  if (FFile.is_open()) {
    FFile.flush();
  }
}

void TTranscript::Close() {
  if (FFile.is_open()) {
    FFile.close();
  }
}

}  // namespace korvane::sim
