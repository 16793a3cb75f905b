// Every fault switch of the virtual board under both workflows and the poll,
// and the board hung up in the middle of a write, a read, an erase and a poll.
// Whatever fails, the case ends in a failure status or a worded error, never
// in "Complete!" over bad bytes; the busy flag is cleared, the user's files
// are as they were, and the next poll finds a board that is back.
#include <thread>

#include "ReliabilityFixture.h"
#include "UComPort.h"

namespace korvane::test {
namespace {

using namespace std::chrono_literals;

enum class TWorkflow { Program, Read };

struct TFaultCase {
  const char* Name;
  std::function<void(sim::TBoardSimOptions&)> Fault;
  TWorkflow Workflow;
  bool FastVerify;
  // The last status text, and a part of the error's message ("" for none).
  // This table is where each fault's status is asserted; the other suites
  // assert what their front does with a failure.
  const char* FinalStatus;
  const char* Error;
};

void PrintTo(const TFaultCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class FaultSwitch : public ReliabilityTest, public ::testing::WithParamInterface<TFaultCase> {};

TEST_P(FaultSwitch, EndsInItsFailureWithNothingLost) {
  const TFaultCase& Case = GetParam();
  sim::TBoardSimOptions Options;
  Options.Chip = "89C51";
  Case.Fault(Options);
  StartBoard(Options);
  Programmer.FastVerify = Case.FastVerify;
  WriteUserFile(PatternBytes(600, 41));

  const std::string Error = RunBusy(
      [&] {
        if (Case.Workflow == TWorkflow::Program) {
          Programmer.ProgramChip(UserFile, Programmer.Options());
        } else {
          Programmer.ReadToFile(OutputFile, Programmer.Options());
        }
      },
      60000);

  EXPECT_EQ(Programmer.Status(), Case.FinalStatus);
  if (*Case.Error == '\0') {
    EXPECT_EQ(Error, "");
  } else {
    EXPECT_NE(Error.find(Case.Error), std::string::npos) << Error;
  }
  ExpectUserFilesUnchanged();
  ExpectPollFindsBoardAgain();
}

const TFaultCase FaultCases[] = {
    {"EraseNeverCompletes", [](auto& O) { O.EraseTries = 11; }, TWorkflow::Program, false,
     "Erase Failed!", ""},
    {"EraseCompletesOnTheThirdTry", [](auto& O) { O.EraseTries = 3; }, TWorkflow::Program, false,
     "Complete!", ""},
    {"Dc3InsteadOfDc1", [](auto& O) { O.Dc3InsteadOfDc1At = 50; }, TWorkflow::Program, false,
     "Write Failed!", ""},
    {"CorruptByteCaughtByReadBack", [](auto& O) { O.CorruptByteAt = 7; }, TWorkflow::Program, false,
     "Verify Failed!", ""},
    {"CorruptByteCaughtByChecksum", [](auto& O) { O.CorruptByteAt = 599; }, TWorkflow::Program,
     true, "Fast Verify Failed!", ""},
    {"WrongChecksum", [](auto& O) { O.WrongChecksum = true; }, TWorkflow::Program, true,
     "Fast Verify Failed!", ""},
    {"WrongChecksumUnusedByReadBack", [](auto& O) { O.WrongChecksum = true; }, TWorkflow::Program,
     false, "Complete!", ""},
    {"WrongReadEchoInVerify", [](auto& O) { O.WrongReadEcho = 'Q'; }, TWorkflow::Program, false,
     "Verify Failed!", ""},
    {"WrongReadEchoInRead", [](auto& O) { O.WrongReadEcho = 'Q'; }, TWorkflow::Read, false,
     "Read Failed!", ""},
    {"WrongReadEchoIn2051Erase",
     [](auto& O) {
       O.Chip = "89C2051";
       O.WrongReadEcho = 'Q';
     },
     TWorkflow::Program, false, "Erase Failed!", ""},
    {"HangUpMidWrite", [](auto& O) { O.HangUpAtWriteByte = 20; }, TWorkflow::Program, false,
     "Writing... [600 Bytes]", "ReadFile"},
};

INSTANTIATE_TEST_SUITE_P(Reliability, FaultSwitch, ::testing::ValuesIn(FaultCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// --- Boards that are never found ---

struct TUnfoundCase {
  const char* Name;
  std::function<void(sim::TBoardSimOptions&)> Fault;
  long long LimitMs;
};

void PrintTo(const TUnfoundCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class UnfoundBoard : public ReliabilityTest, public ::testing::WithParamInterface<TUnfoundCase> {};

TEST_P(UnfoundBoard, PollFindsNoChipThenTheBoardOnceItIsBack) {
  sim::TBoardSimOptions Options;
  GetParam().Fault(Options);
  Options.LinkPath = Link();
  Board = std::make_unique<sim::TBoardSim>(Options);
  Board->Start();

  EXPECT_EQ(RunPoll(GetParam().LimitMs), "");
  EXPECT_EQ(Programmer.Link.TargetChip(), chipNone);
  ExpectPollFindsBoardAgain();
}

const TUnfoundCase UnfoundCases[] = {
    {"Silent", [](auto& O) { O.Silent = true; }, 5000},
    {"NoBannerWord", [](auto& O) { O.NoBannerWord = true; }, 5000},
    // The signature has 30 s to come.
    {"NoSignatureAnswer", [](auto& O) { O.NoSignatureAnswer = true; }, 45000},
};

INSTANTIATE_TEST_SUITE_P(Reliability, UnfoundBoard, ::testing::ValuesIn(UnfoundCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// --- The board process gone in the middle of an exchange ---

enum class TStep { Write, Read, Erase, Poll };

struct THangUpCase {
  const char* Name;
  TStep Step;
  std::chrono::milliseconds After;
};

void PrintTo(const THangUpCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class HangUp : public ReliabilityTest, public ::testing::WithParamInterface<THangUpCase> {};

TEST_P(HangUp, MidStepFailsWithoutHarm) {
  const THangUpCase& Case = GetParam();
  sim::TBoardSimOptions Options;
  Options.Chip = "89C51";
  Options.Realtime = true;
  // A long erase to hang up in; a short one before the write's stream.
  Options.EraseMs = Case.Step == TStep::Erase ? 3000 : 100;
  StartBoard(Options);
  WriteUserFile(PatternBytes(4096, 43));
  sim::TBoardSim* Dying = Board.get();
  std::thread Killer([&] {
    std::this_thread::sleep_for(Case.After);
    Dying->Stop();
  });

  const std::string Error = RunBusy(
      [&] {
        switch (Case.Step) {
          case TStep::Write:
          case TStep::Erase:
            Programmer.ProgramChip(UserFile, Programmer.Options());
            break;
          case TStep::Read:
            Programmer.ReadToFile(OutputFile, Programmer.Options());
            break;
          case TStep::Poll:
            Programmer.Link.DetectProgrammer();
            break;
        }
      },
      40000);
  Killer.join();

  EXPECT_NE(Programmer.Status(), "Complete!");
  if (Case.Step != TStep::Poll) {
    EXPECT_TRUE(!Error.empty() || Programmer.Status().find("Failed") != std::string::npos)
        << "status: " << Programmer.Status();
  }
  ExpectUserFilesUnchanged();
  ExpectPollFindsBoardAgain();
}

const THangUpCase HangUpCases[] = {
    {"Write", TStep::Write, 2500ms},
    {"Read", TStep::Read, 1500ms},
    {"Erase", TStep::Erase, 1000ms},
    {"Poll", TStep::Poll, 3ms},
};

INSTANTIATE_TEST_SUITE_P(Reliability, HangUp, ::testing::ValuesIn(HangUpCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace korvane::test
