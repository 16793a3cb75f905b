#include "UnderWine.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace korvane::test {

namespace fs = std::filesystem;

std::string ReadWhole(const fs::path& File) {
  std::ifstream Input(File, std::ios::binary);
  std::ostringstream Text;
  Text << Input.rdbuf();
  return Text.str();
}

std::string WindowsPath(const fs::path& File) {
  std::string Path = "Z:" + fs::absolute(File).string();
  std::replace(Path.begin(), Path.end(), '/', '\\');
  return Path;
}

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

std::vector<uint8_t> Firmware(size_t Size) {
  std::vector<uint8_t> Data(Size);
  uint32_t Seed = 0x4B4F5256;
  for (uint8_t& Byte : Data) {
    Seed = Seed * 1103515245u + 12345u;
    Byte = static_cast<uint8_t>(Seed >> 16);
  }
  Data[0] = 0x02;
  return Data;
}

TProgram::TProgram(std::vector<std::string> Words, const fs::path& Dir,
                   const std::vector<std::pair<std::string, std::string>>& Environment) {
  static int Serial = 0;
  ++Serial;
  FOut = Dir / ("out" + std::to_string(Serial) + ".txt");
  FErr = Dir / ("err" + std::to_string(Serial) + ".txt");
  FChild = fork();
  if (FChild == 0) {
    const int Out = open(FOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int Err = open(FErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int Null = open("/dev/null", O_RDONLY);
    dup2(Null, 0);
    dup2(Out, 1);
    dup2(Err, 2);
    for (const auto& [Name, Value] : Environment) {
      setenv(Name.c_str(), Value.c_str(), 1);
    }
    std::vector<char*> Argv;
    for (std::string& Word : Words) {
      Argv.push_back(Word.data());
    }
    Argv.push_back(nullptr);
    execv(Argv[0], Argv.data());
    _exit(127);
  }
}

TProgram::~TProgram() {
  if (FChild > 0 && !FEnded) {
    kill(FChild, SIGKILL);
    waitpid(FChild, &FStatus, 0);
  }
}

bool TProgram::Running() {
  if (FChild <= 0 || FEnded) {
    return false;
  }
  FEnded = waitpid(FChild, &FStatus, WNOHANG) == FChild;
  return !FEnded;
}

TRun TProgram::Wait(int LimitSeconds) {
  TRun Run;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(LimitSeconds);
  while (Running()) {
    if (std::chrono::steady_clock::now() > Deadline) {
      kill(FChild, SIGKILL);
      waitpid(FChild, &FStatus, 0);
      FEnded = true;
      Run.TimedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Run.ExitCode = FChild > 0 && WIFEXITED(FStatus) ? WEXITSTATUS(FStatus) : -1;
  Run.Out = ReadWhole(FOut);
  Run.Err = ReadWhole(FErr);
  return Run;
}

bool TWineBoardTest::PrepareWine(const std::vector<const char*>& Also) {
  const char* Wine = std::getenv("KORVANE_WINE");
  const char* Prefix = std::getenv("WINEPREFIX");
  bool Missing = Wine == nullptr || Prefix == nullptr;
  for (const char* Name : Also) {
    Missing = Missing || std::getenv(Name) == nullptr;
  }
  if (Missing) {
    return false;
  }
  FWine = Wine;
  FComLink = std::filesystem::path(Prefix) / "dosdevices" / "com5";
  char Dir[] = "/tmp/korvane-wine-XXXXXX";
  if (mkdtemp(Dir) == nullptr) {
    ADD_FAILURE() << "no folder for the check";
    return false;
  }
  FDir = Dir;
  return true;
}

void TWineBoardTest::TearDown() {
  FBoard.reset();
  if (!FDir.empty()) {
    std::filesystem::remove_all(FDir);
  }
}

sim::TBoardSim& TWineBoardTest::StartBoard(sim::TBoardSimOptions Options) {
  Options.LinkPath = FComLink.string();
  FBoard = std::make_unique<sim::TBoardSim>(Options);
  FBoard->Start();
  return *FBoard;
}

std::filesystem::path TWineBoardTest::WriteSource(const std::vector<uint8_t>& Data) const {
  const std::filesystem::path File = FDir / "source.hex";
  std::ofstream(File, std::ios::binary) << HexText(Data);
  return File;
}

}  // namespace korvane::test
