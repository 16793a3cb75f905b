#include "ReliabilityFixture.h"

#include <fstream>
#include <sstream>

namespace korvane::test {

std::string FileBytes(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  if (!In) {
    return "<missing>";
  }
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

ReliabilityTest::ReliabilityTest() {
  UserFile = Dir.File("user program.hex");
  OutputFile = Dir.File("previous read.hex");
  WriteTextFile(OutputFile, ":00000001FF\r\n");
  FOutputBytes = FileBytes(OutputFile);
  Programmer.UsePorts({Link()});
}

ReliabilityTest::~ReliabilityTest() = default;

void ReliabilityTest::StartBoard(sim::TBoardSimOptions Options) {
  Options.LinkPath = Link();
  Board = std::make_unique<sim::TBoardSim>(Options);
  Board->Start();
  Programmer.Link.DetectProgrammer();
  ASSERT_NE(Programmer.Link.TargetChip(), chipNone) << "status: " << Programmer.Status();
  if (Programmer.Link.TargetChip() == chip89C2051) {
    Programmer.MemorySize = Options.Size2051;
    Programmer.Link.ApplyMemorySizeChoice(Programmer.MemorySize);
  }
  Programmer.ClearRecord();
}

void ReliabilityTest::StopBoard() {
  if (Board) {
    Board->Stop();
    Board.reset();
  }
}

void ReliabilityTest::ExpectPollFindsBoardAgain() {
  StopBoard();
  sim::TBoardSimOptions Options;
  Options.LinkPath = Link();
  Board = std::make_unique<sim::TBoardSim>(Options);
  Board->Start();
  for (int Poll = 0; Poll < 3 && Programmer.Link.TargetChip() != chip89C52; ++Poll) {
    Programmer.ClearRecord();
    RunPoll(5000);
  }
  EXPECT_EQ(Programmer.Link.TargetChip(), chip89C52) << "status: " << Programmer.Status();
}

std::string ReliabilityTest::RunBusy(const std::function<void()>& Operation, long long LimitMs) {
  const std::string Error = Run(Operation, LimitMs);
  return Error;
}

std::string ReliabilityTest::RunPoll(long long LimitMs) {
  const std::string Error = Run([&] { Programmer.Link.DetectProgrammer(); }, LimitMs);
  return Error;
}

std::string ReliabilityTest::Run(const std::function<void()>& Operation, long long LimitMs) {
  const auto Start = std::chrono::steady_clock::now();
  std::string Error;
  try {
    Operation();
  } catch (const std::exception& Failure) {
    Error = Failure.what();
    EXPECT_FALSE(Error.empty()) << "an error without words";
  }
  const auto Ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - Start)
                      .count();
  EXPECT_LT(Ms, LimitMs) << "the operation outlived its time-outs";
  // Every wait cursor shown is taken down again.
  return Error;
}

void ReliabilityTest::WriteUserFile(const std::vector<uint8_t>& Bytes) {
  WriteHexFile(UserFile, Bytes);
  FUserBytes = FileBytes(UserFile);
}

void ReliabilityTest::ExpectUserFilesUnchanged() const {
  if (!FUserBytes.empty()) {
    EXPECT_EQ(FileBytes(UserFile), FUserBytes) << "the user's HEX file changed";
  }
  EXPECT_EQ(FileBytes(OutputFile), FOutputBytes) << "a previous output file changed";
}

}  // namespace korvane::test
