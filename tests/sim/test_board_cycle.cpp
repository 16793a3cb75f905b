// The virtual board answering a host that follows the protocol: one whole
// cycle per chip kind, the chip model behind it, and the board's honesty about
// bytes the protocol does not describe.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "HostEnd.h"
#include "UBoardSim.h"

namespace korvane::sim::test {
namespace {

struct TKind {
  const char* Chip;
  uint16_t Size2051;
  const char* Signature;  // empty for the 20-pin board
  size_t Size;
};

void PrintTo(const TKind& Kind, std::ostream* Out) {
  *Out << Kind.Chip << '/' << Kind.Size;
}

class BoardCycle : public ::testing::TestWithParam<TKind> {};

TEST_P(BoardCycle, CounterEraseWriteReadChecksumLock) {
  const TKind Kind = GetParam();
  const bool Is2051 = std::string(Kind.Signature).empty();
  TBoardSimOptions Options;
  Options.Chip = Kind.Chip;
  Options.Size2051 = Kind.Size2051;
  TBoardSim Board(Options);
  Board.Start();
  ASSERT_EQ(Board.Flash().size(), Kind.Size);
  Board.SetFlash({0x12, 0x34});  // what an earlier program left behind
  THostEnd Host(Board.DevicePath());

  const std::string Banner = Host.Ask("\r", '>');
  EXPECT_NE(Banner.find("Vyte"), std::string::npos) << Banner;
  EXPECT_EQ(Banner.find("2051") != std::string::npos, Is2051) << Banner;
  EXPECT_EQ(Banner.back(), '>');

  if (Is2051) {
    Host.Send("p");
    EXPECT_EQ(Host.Drain(300), "");
  } else {
    const std::string Reply = Host.Ask("p", '>');
    ASSERT_GE(Reply.size(), 3u) << Reply;
    EXPECT_EQ(Reply.substr(1, 2), Kind.Signature);
    EXPECT_NE(Reply.find("ok"), std::string::npos);
    EXPECT_EQ(Reply[Reply.find(',') + 1], '1') << "not blank yet: " << Reply;
  }

  EXPECT_NE(Host.Ask("e", '>').find("ok"), std::string::npos);
  EXPECT_EQ(Board.Flash(), std::vector<uint8_t>(Kind.Size, 0xFF));
  if (!Is2051) {
    const std::string Reply = Host.Ask("p", '>');
    EXPECT_EQ(Reply[Reply.find(',') + 1], '0') << Reply;
  }

  const std::vector<uint8_t> Data = TestPattern(300);
  ASSERT_TRUE(SetCounter(Host, uint32_t(Data.size())));
  ASSERT_EQ(WriteStream(Host, Data), Data.size());
  std::vector<uint8_t> Expected(Kind.Size, 0xFF);
  std::copy(Data.begin(), Data.end(), Expected.begin());
  EXPECT_EQ(Board.Flash(), Expected);

  EXPECT_EQ(Host.Ask("r", '>'), "r" + Hex(Data) + "\r\n>");
  EXPECT_EQ((Sum16(Data) + ChecksumValue(Host.Ask("c", '>'))) % 65536, 0u);

  EXPECT_NE(Host.Ask("l", '>').find("ok"), std::string::npos);
  EXPECT_TRUE(Board.Locked());
  const std::vector<uint8_t> Hidden(Data.size(), 0xFF);
  EXPECT_EQ(Host.Ask("r", '>'), "r" + Hex(Hidden) + "\r\n>");
  EXPECT_EQ((Sum16(Hidden) + ChecksumValue(Host.Ask("c", '>'))) % 65536, 0u);
  EXPECT_EQ(Board.Flash(), Expected) << "the lock hides the cells, it does not clear them";

  Host.Ask("e", '>');
  EXPECT_FALSE(Board.Locked());

  const TBoardSimCounters Counters = Board.Counters();
  EXPECT_EQ(Board.ReceivedBytes(), Host.Sent());
  EXPECT_EQ(Counters.BytesFromHost, Host.Sent().size());
  EXPECT_EQ(Counters.BytesToHost, Host.Received().size());
  EXPECT_EQ(Counters.EraseCount, 2u);
  EXPECT_EQ(Counters.EraseMsSpent, 2u * uint64_t(Options.EraseMs));
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, BoardCycle,
    ::testing::Values(TKind{"89C51", 2048, "51", 4096}, TKind{"89LV51", 2048, "61", 4096},
                      TKind{"89C52", 2048, "52", 8192}, TKind{"89LV52", 2048, "62", 8192},
                      TKind{"89C55", 2048, "55", 20480}, TKind{"89LV55", 2048, "65", 20480},
                      TKind{"89C2051", 2048, "", 2048}, TKind{"89C4051", 4096, "", 4096}));

class Board : public ::testing::Test {
 protected:
  void Start(TBoardSimOptions Options = {}) {
    Options.TranscriptPath = Dir.File("transcript.txt");
    FBoard = std::make_unique<TBoardSim>(Options);
    FBoard->Start();
    FHost = std::make_unique<THostEnd>(FBoard->DevicePath());
  }
  std::string Transcript() {
    FBoard->Stop();
    return ReadFile(Dir.File("transcript.txt"));
  }

  TTempDir Dir;
  std::unique_ptr<TBoardSim> FBoard;
  std::unique_ptr<THostEnd> FHost;
};

TEST_F(Board, ProgrammingOnlyClearsBits) {
  Start();
  FBoard->SetFlash({0xF0, 0xFF, 0x3C});
  ASSERT_TRUE(SetCounter(*FHost, 3));
  ASSERT_EQ(WriteStream(*FHost, {0x0F, 0xA5, 0xFF}), 3u);
  EXPECT_EQ(FBoard->Flash()[0], 0x00);
  EXPECT_EQ(FBoard->Flash()[1], 0xA5);
  EXPECT_EQ(FBoard->Flash()[2], 0x3C);
  EXPECT_EQ(FHost->Ask("r", '>'), "r00A53C\r\n>");
}

TEST_F(Board, CounterSpansTheWholeChipAndNoMore) {
  TBoardSimOptions Options;
  Options.Chip = "89C55";
  Start(Options);
  EXPECT_TRUE(SetCounter(*FHost, 20480));
  // Ten times what the pseudo-terminal holds: the board waits for room.
  EXPECT_EQ(FHost->Ask("r", '>'), "r" + std::string(40960, 'F') + "\r\n>");
  EXPECT_FALSE(SetCounter(*FHost, 20481));
  EXPECT_FALSE(SetCounter(*FHost, 0));
  const uint32_t Sum = Sum16(std::vector<uint8_t>(20480, 0xFF));
  EXPECT_EQ((Sum + ChecksumValue(FHost->Ask("c", '>'))) % 65536, 0u) << "the counter stayed";
  const std::string Text = Transcript();
  EXPECT_NE(Text.find("! refused 0A LF: counter 20481 outside the chip's 1..20480"),
            std::string::npos)
      << Text.substr(Text.size() - 400);
  EXPECT_NE(Text.find("! refused 0A LF: counter 0 outside"), std::string::npos);
}

TEST_F(Board, UnexpectedBytesInTheCounterAreRefusedAndSaidSo) {
  Start();
  EXPECT_EQ(FHost->Ask("s", DC1), std::string(1, DC1));
  EXPECT_EQ(FHost->Ask("x", '>'), "?\r\n>");
  EXPECT_NE(FHost->Ask("\r", '>').find("Vyte"), std::string::npos) << "back at the commands";

  FHost->Ask("s", DC1);
  EXPECT_EQ(FHost->Ask("\n", '>'), "?\r\n>");

  FHost->Ask("s", DC1);
  for (char Digit : std::string("12345")) {
    EXPECT_EQ(FHost->Ask(std::string(1, Digit), DC1), std::string(1, DC1));
  }
  EXPECT_EQ(FHost->Ask("6", '>'), "?\r\n>");

  const std::string Text = Transcript();
  EXPECT_NE(Text.find("! refused 78 'x': not a counter digit"), std::string::npos) << Text;
  EXPECT_NE(Text.find("! refused 0A LF: line feed before any counter digit"), std::string::npos);
  EXPECT_NE(Text.find("! refused 36 '6': more counter digits"), std::string::npos);
}

TEST_F(Board, UnknownCommandsAreRefusedAndSaidSo) {
  Start();
  EXPECT_EQ(FHost->Ask("Z", '>'), "?\r\n>");
  EXPECT_EQ(FHost->Ask(std::string(1, '\0'), '>'), "?\r\n>");
  EXPECT_EQ(FHost->Ask("\n", '>'), "?\r\n>");
  const std::string Text = Transcript();
  EXPECT_NE(Text.find("> 5A 'Z'\n! refused 5A 'Z': no such command\n< 3F '?'"), std::string::npos)
      << Text;
  EXPECT_NE(Text.find("! refused 00: no such command"), std::string::npos);
  EXPECT_NE(Text.find("! refused 0A LF: no such command"), std::string::npos);
}

TEST_F(Board, StreamsWithoutACounterMoveNothingAndSaySo) {
  Start();
  EXPECT_EQ(FHost->Ask("w", '>'), "w\r\nok\r\n>");
  EXPECT_EQ(FHost->Ask("r", '>'), "r\r\n>");
  const std::string Text = Transcript();
  EXPECT_NE(Text.find("! write with no counter set"), std::string::npos) << Text;
  EXPECT_NE(Text.find("! read with no counter set"), std::string::npos);
}

TEST_F(Board, TheWriteEchoArrivesAsAPieceOfItsOwn) {
  Start();
  ASSERT_TRUE(SetCounter(*FHost, 2));
  FHost->Send("w");
  ::usleep(100000);  // a host slow to look
  EXPECT_EQ(FHost->Waiting(), 1) << "DC1 must wait until the echo has been taken";
  EXPECT_EQ(FHost->ReadByte(), 'w');
  EXPECT_EQ(FHost->ReadByte(), DC1);
  FHost->Send("\x42");
  EXPECT_EQ(FHost->ReadByte(), DC3);
  EXPECT_EQ(FHost->ReadByte(), DC1) << "later handshakes follow at once";
}

TEST_F(Board, LosesNoByteOfABurst) {
  Start();
  FHost->Send(std::string(40, '\r'));
  std::string Replies;
  while (std::count(Replies.begin(), Replies.end(), '>') < 40) {
    const std::string Piece = FHost->Collect('>', 3000);
    ASSERT_FALSE(Piece.empty()) << "after " << std::count(Replies.begin(), Replies.end(), '>');
    Replies += Piece;
  }
  EXPECT_EQ(FBoard->Counters().BytesFromHost, 40u);
}

TEST_F(Board, KeepsTheLineBetweenHostSessions) {
  Start();
  FHost->Send("\r");
  FHost.reset();  // the host goes before the answer has come
  ::usleep(100000);
  THostEnd Next(FBoard->DevicePath());
  EXPECT_NE(Next.Collect('>').find("Vyte"), std::string::npos);
  EXPECT_NE(Next.Ask("\r", '>').find("Vyte"), std::string::npos);
}

TEST_F(Board, SnapshotsAreConsistentWhileServing) {
  Start();
  const std::vector<uint8_t> Data = TestPattern(2000);
  ASSERT_TRUE(SetCounter(*FHost, uint32_t(Data.size())));
  size_t Taken = 0;
  std::atomic<bool> Done = false;
  std::thread Writer([&] {
    Taken = WriteStream(*FHost, Data);
    Done = true;
  });
  uint64_t LastFromHost = 0;
  size_t Programmed = 0;
  while (Programmed < Data.size() && !Done) {
    const TBoardSimCounters Counters = FBoard->Counters();
    const std::vector<uint8_t> Flash = FBoard->Flash();
    EXPECT_GE(Counters.BytesFromHost, LastFromHost);
    LastFromHost = Counters.BytesFromHost;
    // The cells fill from address 0 upward and hold what was sent.
    size_t Filled = 0;
    while (Filled < Data.size() && Flash[Filled] == Data[Filled]) {
      ++Filled;
    }
    EXPECT_GE(Filled, Programmed);
    Programmed = Filled;
    EXPECT_FALSE(FBoard->Locked());
  }
  Writer.join();
  EXPECT_EQ(Taken, Data.size());
}

TEST_F(Board, StopHangsUpOnTheHost) {
  Start();
  FHost->Ask("\r", '>');
  FBoard->Stop();
  EXPECT_TRUE(FHost->HangsUp());
}

TEST_F(Board, TranscriptShowsEveryByteEachWay) {
  Start();
  ASSERT_TRUE(SetCounter(*FHost, 2));
  ASSERT_EQ(WriteStream(*FHost, {0x00, 0x11}), 2u);
  const std::string Text = Transcript();
  EXPECT_EQ(Text.rfind("# korvane-boardsim 89C52 on /dev/", 0), 0u) << Text;
  EXPECT_NE(Text.find("> 73 's'\n< 11 DC1\n> 32 '2'\n< 11 DC1\n> 0A LF\n< 6F 'o'\n< 6B 'k'\n"),
            std::string::npos)
      << Text;
  EXPECT_NE(Text.find("> 77 'w'\n< 77 'w'\n< 11 DC1\n> 00\n< 13 DC3\n< 11 DC1\n> 11 DC1\n"),
            std::string::npos)
      << Text;
}

TEST_F(Board, LinksItsDeviceWhileServing) {
  const std::string Link = Dir.File("board");
  TBoardSimOptions Options;
  Options.LinkPath = Link;
  {
    TBoardSim Linked(Options);
    Linked.Start();
    EXPECT_EQ(std::filesystem::read_symlink(Link).string(), Linked.DevicePath());
    THostEnd Host(Link);
    EXPECT_NE(Host.Ask("\r", '>').find("Vyte"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Link)));

  std::ofstream(Link) << "not ours";
  TBoardSim Refused(Options);
  EXPECT_THROW(Refused.Start(), std::runtime_error);
  EXPECT_EQ(ReadFile(Link), "not ours");
}

TEST(BoardOptions, UnknownKindsAndSizesAreRejected) {
  TBoardSimOptions Options;
  Options.Chip = "89C99";
  EXPECT_THROW(TBoardSim{Options}, std::invalid_argument);
  Options.Chip = "89C2051";
  Options.Size2051 = 1024;
  EXPECT_THROW(TBoardSim{Options}, std::invalid_argument);
}

}  // namespace
}  // namespace korvane::sim::test
