// The virtual board at 9600 baud: exchanges take at least their wire time.
// Lower bounds only, and loose ones; speed itself is measured in bench/.
#include <gtest/gtest.h>

#include <chrono>

#include "HostEnd.h"
#include "UBoardSim.h"

namespace korvane::sim::test {
namespace {

TBoardSimOptions Realtime(int EraseMs = 200) {
  TBoardSimOptions Options;
  Options.Realtime = true;
  Options.EraseMs = EraseMs;
  return Options;
}

TEST(BoardRealtime, AnExchangeTakesItsWireTimeBothWays) {
  TBoardSim Board(Realtime());
  Board.Start();
  THostEnd Host(Board.DevicePath());
  const auto Start = TClock::now();
  const std::string Banner = Host.Ask("\r", '>');
  const double Elapsed = MsSince(Start);
  ASSERT_NE(Banner.find("Vyte"), std::string::npos);
  // One byte in, the banner out.
  EXPECT_GE(Elapsed, 0.9 * CByteMs * double(1 + Banner.size()));
  EXPECT_LT(Elapsed, 5000.0);
}

TEST(BoardRealtime, ABurstIsPacedOnARunningSchedule) {
  TBoardSim Board(Realtime());
  Board.Start();
  THostEnd Host(Board.DevicePath());
  ASSERT_TRUE(SetCounter(Host, 100));
  const auto Start = TClock::now();
  // 203 characters out after one in: about 212 ms on the wire.
  const std::string Reply = Host.Ask("r", '>');
  const double Elapsed = MsSince(Start);
  ASSERT_EQ(Reply.size(), 1 + 200 + 3u);
  EXPECT_GE(Elapsed, 0.9 * CByteMs * double(1 + Reply.size()));
}

TEST(BoardRealtime, EraseTakesItsTime) {
  TBoardSim Board(Realtime(150));
  Board.Start();
  THostEnd Host(Board.DevicePath());
  const auto Start = TClock::now();
  EXPECT_NE(Host.Ask("e", '>').find("ok"), std::string::npos);
  EXPECT_GE(MsSince(Start), 150.0);
  EXPECT_EQ(Board.Counters().EraseMsSpent, 150u);
}

TEST(BoardRealtime, StopDoesNotWaitForALongErase) {
  TBoardSim Board(Realtime(20000));
  Board.Start();
  THostEnd Host(Board.DevicePath());
  Host.Send("e");
  Host.Drain(100);
  const auto Start = TClock::now();
  Board.Stop();
  EXPECT_LT(MsSince(Start), 5000.0);
  EXPECT_TRUE(Host.HangsUp());
}

TEST(BoardAtOnce, StopDoesNotWaitForAHostThatStoppedReading) {
  TBoardSim Board(TBoardSimOptions{});
  Board.Start();
  THostEnd Host(Board.DevicePath());
  ASSERT_TRUE(SetCounter(Host, 8192));
  // Far more output than a pseudo-terminal holds, never read.
  Host.Send(std::string(20, 'r'));
  Host.Drain(200);  // takes some, leaves the rest waiting
  const auto Start = TClock::now();
  Board.Stop();
  EXPECT_LT(MsSince(Start), 5000.0);
}

}  // namespace
}  // namespace korvane::sim::test
