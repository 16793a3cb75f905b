// The Windows build of korvane-cli, run by wine, against the virtual board:
// the board's pseudo-terminal becomes COM5 through a link in the wine
// prefix's dosdevices folder, made before the program starts.
//
// scripts/test-windows.sh runs this with KORVANE_WINE (the wine launcher),
// WINEPREFIX (a booted prefix) and KORVANE_WIN32_CLI (korvane-cli.exe).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "UBoardSim.h"
#include "UHexFile.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char ComName[] = "COM5";
// The longest any one run of the CLI may take, wine's start included.
constexpr int RunLimitSeconds = 180;

struct TRun {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
};

std::string ReadWhole(const fs::path& File) {
  std::ifstream Input(File, std::ios::binary);
  std::ostringstream Text;
  Text << Input.rdbuf();
  return Text.str();
}

// The path as a Windows program names it: wine maps the whole Unix tree to
// drive Z:.
std::string WindowsPath(const fs::path& File) {
  std::string Path = "Z:" + fs::absolute(File).string();
  for (char& Ch : Path) {
    if (Ch == '/') {
      Ch = '\\';
    }
  }
  return Path;
}

// An Intel HEX file of Data from address 0, in 16-byte records.
std::string HexText(const std::vector<uint8_t>& Data) {
  std::string Text;
  char Field[16];
  for (size_t Start = 0; Start < Data.size(); Start += 16) {
    const size_t Count = std::min<size_t>(16, Data.size() - Start);
    unsigned Sum = static_cast<unsigned>(Count) + (Start >> 8) + (Start & 0xFF);
    std::snprintf(Field, sizeof Field, ":%02X%04X00", static_cast<unsigned>(Count),
                  static_cast<unsigned>(Start));
    Text += Field;
    for (size_t Index = Start; Index < Start + Count; ++Index) {
      std::snprintf(Field, sizeof Field, "%02X", Data[Index]);
      Text += Field;
      Sum += Data[Index];
    }
    std::snprintf(Field, sizeof Field, "%02X\r\n", (0x100 - (Sum & 0xFF)) & 0xFF);
    Text += Field;
  }
  return Text + ":00000001FF\r\n";
}

class CliUnderWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* Wine = std::getenv("KORVANE_WINE");
    const char* Cli = std::getenv("KORVANE_WIN32_CLI");
    const char* Prefix = std::getenv("WINEPREFIX");
    if (Wine == nullptr || Cli == nullptr || Prefix == nullptr) {
      GTEST_SKIP() << "KORVANE_WINE, KORVANE_WIN32_CLI and WINEPREFIX are set by "
                      "scripts/test-windows.sh";
    }
    FWine = Wine;
    FCli = Cli;
    FComLink = fs::path(Prefix) / "dosdevices" / "com5";
    char Dir[] = "/tmp/korvane-wine-XXXXXX";
    ASSERT_NE(mkdtemp(Dir), nullptr);
    FDir = Dir;
  }
  void TearDown() override {
    FBoard.reset();
    if (!FDir.empty()) {
      fs::remove_all(FDir);
    }
  }

  // Starts the virtual board with Options, reachable as COM5.
  sim::TBoardSim& StartBoard(sim::TBoardSimOptions Options) {
    Options.LinkPath = FComLink.string();
    FBoard = std::make_unique<sim::TBoardSim>(Options);
    FBoard->Start();
    return *FBoard;
  }

  // Runs korvane-cli.exe under wine with Args, KORVANE_PORTS set to Ports.
  TRun RunCli(const std::vector<std::string>& Args, const std::string& Ports = ComName) {
    const fs::path OutFile = FDir / "stdout.txt";
    const fs::path ErrFile = FDir / "stderr.txt";
    std::vector<std::string> Words = {FWine, FCli};
    Words.insert(Words.end(), Args.begin(), Args.end());
    pid_t Child = fork();
    if (Child == 0) {
      int Out = open(OutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int Err = open(ErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int Null = open("/dev/null", O_RDONLY);
      dup2(Null, 0);
      dup2(Out, 1);
      dup2(Err, 2);
      setenv("KORVANE_PORTS", Ports.c_str(), 1);
      std::vector<char*> Argv;
      for (std::string& Word : Words) {
        Argv.push_back(Word.data());
      }
      Argv.push_back(nullptr);
      execv(Argv[0], Argv.data());
      _exit(127);
    }
    TRun Run;
    if (Child < 0) {
      ADD_FAILURE() << "fork failed";
      return Run;
    }
    const auto Deadline = Clock::now() + std::chrono::seconds(RunLimitSeconds);
    int Status = 0;
    while (waitpid(Child, &Status, WNOHANG) == 0) {
      if (Clock::now() > Deadline) {
        kill(Child, SIGKILL);
        waitpid(Child, &Status, 0);
        ADD_FAILURE() << "korvane-cli.exe did not end within " << RunLimitSeconds << " s";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Run.ExitCode = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    Run.Out = ReadWhole(OutFile);
    Run.Err = ReadWhole(ErrFile);
    return Run;
  }

  fs::path WriteSource(const std::vector<uint8_t>& Data) {
    const fs::path File = FDir / "source.hex";
    std::ofstream(File, std::ios::binary) << HexText(Data);
    return File;
  }

  static std::vector<uint8_t> Firmware(size_t Size) {
    std::vector<uint8_t> Data(Size);
    uint32_t Seed = 0x4B4F5256;
    for (uint8_t& Byte : Data) {
      Seed = Seed * 1103515245u + 12345u;
      Byte = static_cast<uint8_t>(Seed >> 16);
    }
    Data[0] = 0x02;  // a jump at the reset vector, as real firmware has
    return Data;
  }

  std::string FWine;
  std::string FCli;
  fs::path FComLink;
  fs::path FDir;
  std::unique_ptr<sim::TBoardSim> FBoard;
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
