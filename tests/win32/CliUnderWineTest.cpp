// The Windows build of korvane-cli, run by wine, against the virtual board:
// the board's pseudo-terminal becomes COM5 through a link in the wine
// prefix's dosdevices folder, made before the program starts.
//
// scripts/test-windows.sh runs this with KORVANE_WINE (the wine launcher),
// WINEPREFIX (a booted prefix) and KORVANE_WIN32_CLI (korvane-cli.exe).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "UBoardSim.h"
#include "UHexFile.h"
#include "UnderWine.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char ComName[] = "COM5";
// The longest any one run of the CLI may take, wine's start included.
constexpr int RunLimitSeconds = 180;

using test::Firmware;
using test::HexText;
using test::ReadWhole;
using test::TRun;
using test::WindowsPath;

class CliUnderWineTest : public test::TWineBoardTest {
 protected:
  void SetUp() override {
    if (!PrepareWine({"KORVANE_WIN32_CLI"})) {
      GTEST_SKIP() << "KORVANE_WINE, KORVANE_WIN32_CLI and WINEPREFIX are set by "
                      "scripts/test-windows.sh";
    }
    FCli = std::getenv("KORVANE_WIN32_CLI");
  }

  // Runs korvane-cli.exe under wine with Args, KORVANE_PORTS set to Ports.
  TRun RunCli(const std::vector<std::string>& Args, const std::string& Ports = ComName) {
    std::vector<std::string> Words = {FWine, FCli};
    Words.insert(Words.end(), Args.begin(), Args.end());
    test::TProgram Cli(Words, FDir, {{"KORVANE_PORTS", Ports}});
    TRun Run = Cli.Wait(RunLimitSeconds);
    if (Run.TimedOut) {
      ADD_FAILURE() << "korvane-cli.exe did not end within " << RunLimitSeconds << " s";
    }
    return Run;
  }

  std::string FCli;
};

TEST_F(CliUnderWineTest, DetectFindsTheBoardOnTheComPort) {
  sim::TBoardSimOptions Options;
  Options.Chip = "89C52";
  StartBoard(Options);
  TRun Run = RunCli({"detect"});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Out << Run.Err;
  EXPECT_NE(Run.Out.find("COM5: 89C52"), std::string::npos) << Run.Out;
}

TEST_F(CliUnderWineTest, ProgramsAChipAndReadsItBack) {
  sim::TBoardSimOptions Options;
  Options.Chip = "89C51";
  sim::TBoardSim& Board = StartBoard(Options);
  const std::vector<uint8_t> Data = Firmware(1500);
  const fs::path Source = WriteSource(Data);

  TRun Program = RunCli({"program", WindowsPath(Source), "--port", ComName});
  ASSERT_EQ(Program.ExitCode, 0) << Program.Out << Program.Err;
  EXPECT_NE(Program.Out.find("Complete!"), std::string::npos) << Program.Out;
  const std::vector<uint8_t> Flash = Board.Flash();
  ASSERT_GE(Flash.size(), Data.size());
  EXPECT_TRUE(std::equal(Data.begin(), Data.end(), Flash.begin())) << "the chip holds the file";

  const fs::path Copy = FDir / "readback.hex";
  TRun Read = RunCli({"read", WindowsPath(Copy), "--port", ComName});
  ASSERT_EQ(Read.ExitCode, 0) << Read.Out << Read.Err;
  THexFile Image;
  Image.SetSize(static_cast<uint16_t>(Flash.size()));
  ASSERT_TRUE(Image.LoadFromFile(Copy.string()));
  for (size_t Address = 0; Address < Flash.size(); ++Address) {
    const uint8_t Expected = Address < Data.size() ? Data[Address] : 0xFF;
    ASSERT_EQ(Image.GetByte(static_cast<uint16_t>(Address)), Expected) << "address " << Address;
  }
  // Windows line ends, as every text file the tool writes.
  const std::string Text = ReadWhole(Copy);
  EXPECT_NE(Text.find(":10000000"), std::string::npos);
  EXPECT_EQ(Text.substr(Text.size() - 13), ":00000001FF\r\n");
}

TEST_F(CliUnderWineTest, ASilentLineIsNoProgrammer) {
  sim::TBoardSimOptions Options;
  Options.Silent = true;
  StartBoard(Options);
  TRun Run = RunCli({"detect"});
  EXPECT_EQ(Run.ExitCode, 3) << Run.Out << Run.Err;
}

TEST_F(CliUnderWineTest, ACorruptedCellFailsTheVerify) {
  sim::TBoardSimOptions Options;
  Options.Chip = "89C52";
  Options.CorruptByteAt = 40;
  StartBoard(Options);
  const fs::path Source = WriteSource(Firmware(300));
  TRun Run = RunCli({"program", WindowsPath(Source)});
  EXPECT_EQ(Run.ExitCode, 1) << Run.Out << Run.Err;
  EXPECT_NE(Run.Out.find("Verify Failed!"), std::string::npos) << Run.Out;
}

TEST_F(CliUnderWineTest, ABoardThatHangsUpMidWriteIsAPortError) {
  sim::TBoardSimOptions Options;
  Options.Chip = "89C52";
  Options.HangUpAtWriteByte = 100;
  StartBoard(Options);
  const fs::path Source = WriteSource(Firmware(400));
  const auto Start = Clock::now();
  TRun Run = RunCli({"program", WindowsPath(Source), "--port", ComName});
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - Start).count(), 60);
  EXPECT_EQ(Run.ExitCode, 5) << Run.Out << Run.Err;
  EXPECT_NE(Run.Err.find("error: "), std::string::npos) << Run.Err;
  EXPECT_NE(Run.Err.find("(win error code: "), std::string::npos) << Run.Err;
}

}  // namespace
}  // namespace korvane
