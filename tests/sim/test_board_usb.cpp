// The virtual board behind a USB serial adapter: its answers reach the host in
// packets, held by the adapter's latency timer or sent once full, and the
// timer can be changed while the board serves. Bounds on time are loose
// (lower bounds, generous upper ones); speed itself is measured in bench/.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "HostEnd.h"
#include "UBoardSim.h"

namespace korvane::sim::test {
namespace {

// How long each of the one-byte answers of the counter ("s", then four
// digits) takes to arrive, and the closing line feed.
std::vector<double> OneByteAnswerTimes(THostEnd& Host) {
  std::vector<double> Times;
  for (const char* Command : {"s", "1", "0", "2", "4"}) {
    const auto Start = TClock::now();
    EXPECT_EQ(Host.Ask(Command, DC1), std::string(1, DC1)) << Command;
    Times.push_back(MsSince(Start));
  }
  EXPECT_EQ(Host.Ask("\n", '>'), "ok\r\n>");
  return Times;
}

struct TLatencyCase {
  int LatencyMs;
  bool Realtime;
  // The soonest a one-byte answer may come, and whether the fastest of them
  // must come before a 16 ms timer could have run out.
  double AtLeastMs;
  bool Prompt;
};

void PrintTo(const TLatencyCase& Case, std::ostream* Out) {
  *Out << Case.LatencyMs << " ms" << (Case.Realtime ? " realtime" : "");
}

class BoardUsbLatency : public ::testing::TestWithParam<TLatencyCase> {};

TEST_P(BoardUsbLatency, HoldsAOneByteAnswerForTheTimer) {
  const TLatencyCase Case = GetParam();
  TBoardSimOptions Options;
  Options.UsbLatencyMs = Case.LatencyMs;
  Options.Realtime = Case.Realtime;
  TBoardSim Board(Options);
  Board.Start();
  THostEnd Host(Board.DevicePath());
  const std::vector<double> Times = OneByteAnswerTimes(Host);
  const double Fastest = *std::min_element(Times.begin(), Times.end());
  const double Slowest = *std::max_element(Times.begin(), Times.end());
  EXPECT_GE(Fastest, Case.AtLeastMs);
  EXPECT_LT(Slowest, 2000.0);
  if (Case.Prompt) {
    EXPECT_LT(Fastest, 16.0);
  }
  EXPECT_EQ(Board.Counters().BytesToHost, Host.Received().size());
}

INSTANTIATE_TEST_SUITE_P(Timers, BoardUsbLatency,
                         ::testing::Values(TLatencyCase{0, false, 0.0, true},
                                           TLatencyCase{16, false, 16.0, false},
                                           // One byte in, the answer out, then the timer.
                                           TLatencyCase{16, true, 16.0 + 1.8 * CByteMs, false},
                                           TLatencyCase{40, false, 40.0, false}));

class BoardUsbPacket : public ::testing::TestWithParam<bool> {};

TEST_P(BoardUsbPacket, SixtyTwoWaitingBytesGoAtOnce) {
  TBoardSimOptions Options;
  Options.UsbLatencyMs = 1500;
  Options.Realtime = GetParam();
  TBoardSim Board(Options);
  Board.Start();
  THostEnd Host(Board.DevicePath());
  std::string Expected;
  for (int I = 0; I < 21; ++I) {
    Expected += "?\r\n>";
  }
  const auto Start = TClock::now();
  Host.Send(std::string(21, 'Z'));  // 84 bytes of answers: one full packet and 22 over
  EXPECT_EQ(Host.Drain(700), Expected.substr(0, 62));
  std::string Rest;
  while (Rest.size() < Expected.size() - 62) {
    const std::string Piece = Host.Collect('>', 3000);
    ASSERT_FALSE(Piece.empty()) << "after " << Rest.size();
    Rest += Piece;
  }
  EXPECT_GE(MsSince(Start), 1500.0) << "the rest waits for the timer";
  EXPECT_EQ(Rest, Expected.substr(62));
}

INSTANTIATE_TEST_SUITE_P(AtOnceAndRealtime, BoardUsbPacket, ::testing::Bool());

TEST(BoardUsb, TheLatencyFileCountsFromTheNextPacket) {
  TTempDir Dir;
  const std::string File = Dir.File("latency_timer");
  TBoardSimOptions Options;
  Options.UsbLatencyMs = 400;
  Options.LatencyFile = File;
  TBoardSim Board(Options);
  Board.Start();
  THostEnd Host(Board.DevicePath());

  struct TStep {
    const char* Contents;  // nullptr: no file
    double AtLeastMs;
    double BelowMs;
  };
  // The banner is one packet.
  const TStep Steps[] = {
      {nullptr, 400, 3000},  // no file: the switch's value
      {"1\n", 1, 400},       // a host that writes 1 speeds up at once
      {"junk\n", 400, 3000}, {"0", 0, 400},     {"600\n", 600, 3000},
      {"", 400, 3000},       {"16\n", 16, 400},
  };
  for (const TStep& Step : Steps) {
    const std::string Name = Step.Contents == nullptr ? "(none)" : Step.Contents;
    if (Step.Contents == nullptr) {
      std::remove(File.c_str());
    } else {
      std::ofstream(File) << Step.Contents;
    }
    const auto Start = TClock::now();
    const std::string Banner = Host.Ask("\r", '>');
    const double Elapsed = MsSince(Start);
    EXPECT_NE(Banner.find("Vyte"), std::string::npos) << Name;
    EXPECT_GE(Elapsed, Step.AtLeastMs) << Name;
    EXPECT_LT(Elapsed, Step.BelowMs) << Name;
  }
}

TEST(BoardUsb, TheWriteHandshakeGetsThroughTheAdapter) {
  TTempDir Dir;
  TBoardSimOptions Options;
  Options.UsbLatencyMs = 25;
  Options.TranscriptPath = Dir.File("transcript.txt");
  TBoardSim Board(Options);
  Board.Start();
  THostEnd Host(Board.DevicePath());
  const std::vector<uint8_t> Data = TestPattern(8);
  ASSERT_TRUE(SetCounter(Host, uint32_t(Data.size())));
  // The echo must come in a packet of its own, before the first DC1.
  EXPECT_EQ(WriteStream(Host, Data), Data.size());
  std::vector<uint8_t> Expected(8192, 0xFF);
  std::copy(Data.begin(), Data.end(), Expected.begin());
  EXPECT_EQ(Board.Flash(), Expected);
  EXPECT_EQ(Board.Counters().BytesToHost, Host.Received().size());
  Board.Stop();
  const std::string Text = ReadFile(Dir.File("transcript.txt"));
  EXPECT_NE(Text.find("> 77 'w'\n< 77 'w'\n< 11 DC1\n> 00\n< 13 DC3\n< 11 DC1\n"),
            std::string::npos)
      << Text;
}

TEST(BoardUsb, StopDoesNotWaitForAHeldPacket) {
  TBoardSimOptions Options;
  Options.UsbLatencyMs = 30000;
  TBoardSim Board(Options);
  Board.Start();
  THostEnd Host(Board.DevicePath());
  Host.Send("\r");
  EXPECT_EQ(Host.Drain(100), "");
  const auto Start = TClock::now();
  Board.Stop();
  EXPECT_LT(MsSince(Start), 5000.0);
  EXPECT_TRUE(Host.HangsUp());
}

}  // namespace
}  // namespace korvane::sim::test
