// Replies as a bad line or a bad board gives them: split at every byte
// boundary, random garbage in answer to each command, and an unsolicited
// flood larger than the port's input queue.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <thread>

#include "ReliabilityFixture.h"
#include "ScriptedBoard.h"

namespace korvane::test {
namespace {

using namespace std::chrono_literals;

const std::string Banner = "\r\nVyte 89C52 Programmer V1.0\r\n>";
const std::string Signature = "p52 ok,0\r\n>";
const std::string EraseOk = "e ok\r\n>";
// The complement of the sum of 4096 bytes of FF.
const std::string Checksum = "c= 1000\r\n>";

// Answers Command with Reply cut after Split bytes, the two pieces apart in
// time; everything else as the board does.
TScriptedBoard::THandler SplitBoard(TScriptedBoard*& Far, uint8_t Command, const std::string& Reply,
                                    size_t Split) {
  return [&Far, Command, Reply, Split](uint8_t Byte) -> std::string {
    std::string Answer = Byte == '\r'  ? Banner
                         : Byte == 'p' ? Signature
                         : Byte == 'e' ? EraseOk
                         : Byte == 'c' ? Checksum
                                       : std::string("?\r\n>");
    if (Byte == Command) {
      Far->Send(Reply.substr(0, Split));
      std::this_thread::sleep_for(10ms);
      Answer = Reply.substr(Split);
    }
    return Answer;
  };
}

struct TSplitCase {
  const char* Name;
  uint8_t Command;
  std::string Reply;
};

void PrintTo(const TSplitCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class SplitReply : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(SplitReply, IsUnderstoodWhereverItIsCut) {
  const TSplitCase& Case = GetParam();
  for (size_t Split = 1; Split < Case.Reply.size(); ++Split) {
    SCOPED_TRACE("cut after byte " + std::to_string(Split));
    TScriptedBoard* Far = nullptr;
    TScriptedBoard Board(SplitBoard(Far, Case.Command, Case.Reply, Split));
    Far = &Board;
    TRecordingLink Programmer;
    Programmer.UsePorts({Board.DevicePath()});
    Programmer.Link.DetectProgrammer();
    ASSERT_EQ(Programmer.Link.TargetChip(), chip89C52) << Programmer.Status();
    if (Case.Command == 'e') {
      Programmer.Link.SetTargetChip(chip89C51);
      EXPECT_TRUE(Programmer.Link.EraseChip());
    } else if (Case.Command == 'c') {
      Programmer.Link.SourceImage().SetSize(4096);
      Programmer.Link.SourceImage().Clear();
      EXPECT_TRUE(Programmer.Link.FastVerifyChip(4096));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Reliability, SplitReply,
                         ::testing::Values(TSplitCase{"Banner", '\r', Banner},
                                           TSplitCase{"Signature", 'p', Signature},
                                           TSplitCase{"Erase", 'e', EraseOk},
                                           TSplitCase{"Checksum", 'c', Checksum}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// --- Garbage ---

class GarbageReplies : public ReliabilityTest, public ::testing::WithParamInterface<uint32_t> {
 protected:
  // Every byte the host sends is answered with up to 40 random bytes; most
  // answers end in ">" so that the exchanges end before their time-outs.
  void StartGarbageBoard() {
    FGarbage = std::make_unique<TScriptedBoard>([this](uint8_t) {
      std::lock_guard Guard(FRandomLock);
      std::string Answer(FRandom() % 41, '\0');
      for (char& Byte : Answer) {
        Byte = static_cast<char>(FRandom() % 256);
      }
      if (FRandom() % 4 != 0) {
        Answer += '>';
      }
      return Answer;
    });
    Programmer.UsePorts({FGarbage->DevicePath()});
  }

  std::unique_ptr<TScriptedBoard> FGarbage;
  std::mutex FRandomLock;
  std::mt19937 FRandom{GetParam()};
};

TEST_P(GarbageReplies, NoWorkflowSucceedsAndNoFileChanges) {
  StartGarbageBoard();
  WriteUserFile(PatternBytes(300, 47));

  RunPoll(35000);
  EXPECT_LE(Programmer.Link.TargetChip(), chip89C2051);

  // Whatever the poll made of it, both workflows are run against the garbage.
  if (!Programmer.Link.Line().Connected()) {
    Programmer.Link.Line().SetPort(FGarbage->DevicePath());
    Programmer.Link.Line().Open();
  }
  Programmer.Link.SetTargetChip(chip89C51);
  RunBusy([&] { Programmer.ProgramChip(UserFile, Programmer.Options()); }, 90000);
  EXPECT_NE(Programmer.Status(), "Complete!");
  RunBusy([&] { Programmer.ReadToFile(OutputFile, Programmer.Options()); }, 30000);
  EXPECT_NE(Programmer.Status(), "Complete!");
  ExpectUserFilesUnchanged();

  FGarbage.reset();
  Programmer.UsePorts({Link()});
  Programmer.Link.SetTargetChip(chipNone);
  ExpectPollFindsBoardAgain();
}

INSTANTIATE_TEST_SUITE_P(Reliability, GarbageReplies, ::testing::Values(1u, 2u, 3u));

// --- A flood ---

TEST_F(ReliabilityTest, UnsolicitedFloodLargerThanTheInputQueueIsSurvived) {
  StartBoard({});
  // A line that pours out 64 KB with no prompt character in it, sixteen times
  // the port's input queue, whether the host reads or not.
  int Master = -1;
  int Slave = -1;
  char Name[128] = {};
  termios Raw{};
  cfmakeraw(&Raw);
  ASSERT_EQ(openpty(&Master, &Slave, Name, &Raw, nullptr), 0);
  fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
  std::atomic<bool> Stop{false};
  std::atomic<size_t> Sent{0};
  std::thread Flood([&] {
    std::mt19937 Random(9);
    char Junk[1024];
    while (!Stop && Sent < 64 * 1024) {
      for (char& Byte : Junk) {
        Byte = static_cast<char>('A' + Random() % 26);
      }
      pollfd Wait{Master, POLLOUT, 0};
      if (poll(&Wait, 1, 20) > 0) {
        const ssize_t N = write(Master, Junk, sizeof Junk);
        Sent += N > 0 ? static_cast<size_t>(N) : 0;
      }
    }
  });
  Programmer.UsePorts({Name});
  Programmer.Link.SetTargetChip(chipNone);
  for (int Poll = 0; Poll < 3; ++Poll) {
    RunPoll(5000);
    EXPECT_EQ(Programmer.Link.TargetChip(), chipNone);
  }
  Stop = true;
  Flood.join();
  EXPECT_GT(Sent, 4096u) << "the flood never exceeded the input queue";

  Programmer.UsePorts({Link()});
  for (int Poll = 0; Poll < 3 && Programmer.Link.TargetChip() == chipNone; ++Poll) {
    RunPoll(5000);
  }
  EXPECT_EQ(Programmer.Link.TargetChip(), chip89C52);
  Programmer.Link.Line().Close();
  close(Master);
  close(Slave);
}

}  // namespace
}  // namespace korvane::test
