// Helpers of the host-side checks that run Windows programs under wine:
// files as the programs name them, HEX files to program, and programs run
// with their output captured and a time limit.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace korvane::test {

struct TRun {
  int ExitCode = -1;
  bool TimedOut = false;
  std::string Out;
  std::string Err;
};

std::string ReadWhole(const std::filesystem::path& File);
// The path as a Windows program names it: wine maps the Unix tree to Z:.
std::string WindowsPath(const std::filesystem::path& File);
// An Intel HEX file of Data from address 0, in 16-byte records.
std::string HexText(const std::vector<uint8_t>& Data);
// Size bytes that look like firmware: a jump at the reset vector, then noise.
std::vector<uint8_t> Firmware(size_t Size);

// A program started with its standard output and error going to files in
// Dir, and Environment added to this process's.
class TProgram {
 public:
  TProgram(std::vector<std::string> Words, const std::filesystem::path& Dir,
           const std::vector<std::pair<std::string, std::string>>& Environment);
  ~TProgram();
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  // Waits up to LimitSeconds for the end, then kills it; what it printed.
  TRun Wait(int LimitSeconds);
  bool Running();

 private:
  pid_t FChild = -1;
  std::filesystem::path FOut;
  std::filesystem::path FErr;
  int FStatus = 0;
  bool FEnded = false;
};

}  // namespace korvane::test
