// Helpers of the host-side checks that run Windows programs under wine:
// files as the programs name them, HEX files to program, and programs run
// with their output captured and a time limit.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "UBoardSim.h"

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

// A check whose Windows program meets the virtual board as COM5 of the wine
// prefix, with a folder of its own for files and output.
class TWineBoardTest : public ::testing::Test {
 protected:
  // Reads KORVANE_WINE, WINEPREFIX and the variables named in Also, and makes
  // the folder; false, with the test skipped, when one is not set (the
  // script scripts/test-windows.sh sets them).
  bool PrepareWine(const std::vector<const char*>& Also);
  void TearDown() override;
  // Starts the virtual board with Options, reachable as COM5.
  sim::TBoardSim& StartBoard(sim::TBoardSimOptions Options);
  // Data as a HEX file in the folder.
  std::filesystem::path WriteSource(const std::vector<uint8_t>& Data) const;

  std::string FWine;
  std::filesystem::path FComLink;
  std::filesystem::path FDir;
  std::unique_ptr<sim::TBoardSim> FBoard;
};

}  // namespace korvane::test
