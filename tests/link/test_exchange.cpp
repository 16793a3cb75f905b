// The command exchange over a real pseudo-terminal whose far end the test
// plays.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "RecordingLink.h"
#include "ScriptedBoard.h"

namespace korvane::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

long long MsSince(Clock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Start).count();
}

// CPU time this thread has used, in milliseconds.
long long ThreadCpuMs() {
  rusage Usage{};
  getrusage(RUSAGE_THREAD, &Usage);
  return (Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) * 1000LL +
         (Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1000;
}

class ExchangeTest : public ::testing::Test {
 protected:
  void Connect(TScriptedBoard& Board) {
    Programmer.Link.Line().SetPort(Board.DevicePath());
    Programmer.Link.Line().Open();
    Programmer.Link.Line().ClearBuffer(true, true);
  }
  // Waits until the host's port holds Count bytes from the far end.
  void AwaitInput(int32_t Count) {
    const auto Start = Clock::now();
    while (Programmer.Link.Line().InputCount() < Count && MsSince(Start) < 2000) {
      std::this_thread::sleep_for(5ms);
    }
    ASSERT_GE(Programmer.Link.Line().InputCount(), Count);
  }

  TRecordingLink Programmer;
};

TEST_F(ExchangeTest, ReplyInPiecesIsReturnedWholeWithBytesAfterTheTerminator) {
  TScriptedBoard* Far = nullptr;
  TScriptedBoard Board([&Far](uint8_t Byte) -> std::string {
    if (Byte != 'p') {
      return "?";
    }
    Far->Send("p5");
    std::this_thread::sleep_for(100ms);
    Far->Send("2 o");
    std::this_thread::sleep_for(100ms);
    return "k>tail";
  });
  Far = &Board;
  Connect(Board);

  std::string Reply = "old";
  const auto Start = Clock::now();
  Programmer.Link.SendCommand('p', '>', 5000, Reply);
  const long long Elapsed = MsSince(Start);

  EXPECT_EQ(Reply, "p52 ok>tail");
  EXPECT_GE(Elapsed, 180);
  EXPECT_LT(Elapsed, 2500) << "the terminator must end the exchange";
  EXPECT_EQ(Board.Received(), "p");
  // The bytes behind the terminator went with the reply.
  Programmer.Link.SendCommand(0, '>', 0, Reply);
  EXPECT_EQ(Reply, "");
}

TEST_F(ExchangeTest, EchoTerminatorEndsTheExchangeAtOnce) {
  TScriptedBoard Board([](uint8_t Byte) { return std::string(1, static_cast<char>(Byte)); });
  Connect(Board);
  std::string Reply;
  const auto Start = Clock::now();
  Programmer.Link.SendCommand('w', 'w', 1000, Reply);
  EXPECT_EQ(Reply, "w");
  EXPECT_LT(MsSince(Start), 500);
}

TEST_F(ExchangeTest, SilentFarEndGivesAnEmptyReplyAfterTheTimeAllowed) {
  TScriptedBoard Board;
  Connect(Board);
  std::string Reply = "old";
  const auto Start = Clock::now();
  const long long CpuBefore = ThreadCpuMs();
  Programmer.Link.SendCommand('p', '>', 600, Reply);
  const long long Elapsed = MsSince(Start);
  const long long Cpu = ThreadCpuMs() - CpuBefore;

  EXPECT_EQ(Reply, "");
  EXPECT_GE(Elapsed, 590);
  EXPECT_LT(Elapsed, 2000);
  // The wait sleeps in the kernel instead of spinning on the input count.
  EXPECT_LT(Cpu, 150);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Board.Received(), "p") << "nothing is sent again";
}

TEST_F(ExchangeTest, ZeroOrNegativeTimeoutMakesExactlyOnePass) {
  TScriptedBoard Board;
  Connect(Board);
  std::string Reply = "old";
  auto Start = Clock::now();
  Programmer.Link.SendCommand(0, '>', 0, Reply);
  EXPECT_EQ(Reply, "");
  EXPECT_LT(MsSince(Start), 100);

  // What waits is read in that one pass, terminator or not.
  Board.Send("ab");
  AwaitInput(2);
  Start = Clock::now();
  Programmer.Link.SendCommand(0, '>', -5, Reply);
  EXPECT_EQ(Reply, "ab");
  EXPECT_LT(MsSince(Start), 100);
}

TEST_F(ExchangeTest, CommandZeroSendsNothingAndCollectsThePrompt) {
  TScriptedBoard Board;
  Connect(Board);
  Board.Send("\r\nok\r\n>");
  std::string Reply;
  Programmer.Link.SendCommand(0, '>', 1000, Reply);
  EXPECT_EQ(Reply, "\r\nok\r\n>");
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(Board.Received(), "");
}

TEST_F(ExchangeTest, StaleTerminatorEndsTheExchangeAtTheFirstPass) {
  TScriptedBoard Board;
  Connect(Board);
  Board.Send(">");
  AwaitInput(1);
  std::string Reply;
  const auto Start = Clock::now();
  Programmer.Link.SendCommand('p', '>', 30000, Reply);
  EXPECT_EQ(Reply, ">");
  EXPECT_LT(MsSince(Start), 500);
}

TEST_F(ExchangeTest, ReplyKeepsAllByteValuesIncludingZero) {
  TScriptedBoard Board([](uint8_t) { return std::string("\0\xFF\x11>", 4); });
  Connect(Board);
  std::string Reply;
  Programmer.Link.SendCommand('c', '>', 1000, Reply);
  EXPECT_EQ(Reply, std::string("\0\xFF\x11>", 4));
}

TEST_F(ExchangeTest, FloodPastTheCapIsReadToItsEndAndGivesNoReply) {
  // "p": 80 KB without the terminator, then the terminator. "q": a reply
  // just under the cap.
  const std::string Largest = std::string(64 * 1024 - 1, 'x') + ">";
  TScriptedBoard* Far = nullptr;
  TScriptedBoard Board([&](uint8_t Byte) -> std::string {
    if (Byte == 'q') {
      return Largest;
    }
    for (int Piece = 0; Piece < 20; ++Piece) {
      Far->Send(std::string(4096, Piece % 2 == 0 ? 'o' : 'k'));
    }
    return ">";
  });
  Far = &Board;
  Connect(Board);
  std::string Reply = "old";
  Programmer.Link.SendCommand('p', '>', 10000, Reply);
  EXPECT_EQ(Reply, "");
  Programmer.Link.SendCommand(0, '>', 0, Reply);
  EXPECT_EQ(Reply, "") << "nothing of the flood is left on the line";

  Programmer.Link.SendCommand('q', '>', 10000, Reply);
  EXPECT_EQ(Reply, Largest);
}

TEST_F(ExchangeTest, PortErrorLeavesTheCallersReplyUntouched) {
  TScriptedBoard Board;
  Connect(Board);
  Board.HangUp();
  std::string Reply = "previous";
  EXPECT_THROW(Programmer.Link.SendCommand('p', '>', 1000, Reply), EComPort);
  EXPECT_EQ(Reply, "previous");
}

TEST_F(ExchangeTest, ClosedPortRaisesInsteadOfWaiting) {
  std::string Reply = "previous";
  EXPECT_THROW(Programmer.Link.SendCommand(0, '>', 1000, Reply), EComPort);
  EXPECT_EQ(Reply, "previous");
}

}  // namespace
}  // namespace korvane::test
