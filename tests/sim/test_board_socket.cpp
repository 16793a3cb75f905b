// The virtual board's socket: a file that names the chip in it. A chip put in
// is a new blank one, an empty socket answers with a signature no chip has and
// keeps nothing, and the chip stays while the name does.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "HostEnd.h"
#include "UBoardSim.h"

namespace korvane::sim::test {
namespace {

class BoardSocket : public ::testing::Test {
 protected:
  void Start(const std::string& Chip = "89C52") {
    TBoardSimOptions Options;
    Options.Chip = Chip;
    Options.SocketPath = Dir.File("socket");
    Options.TranscriptPath = Dir.File("transcript.txt");
    FBoard = std::make_unique<TBoardSim>(Options);
    FBoard->Start();
    FHost = std::make_unique<THostEnd>(FBoard->DevicePath());
  }
  void Put(const std::string& Contents) { std::ofstream(Dir.File("socket")) << Contents; }
  // The signature digits and the blank flag of the answer to "p".
  std::string Identify() {
    const std::string Reply = FHost->Ask("p", '>');
    const size_t Comma = Reply.find(',');
    if (Reply.size() < 3 || Comma == std::string::npos || Comma + 1 >= Reply.size()) {
      return "no answer: " + Reply;
    }
    return Reply.substr(1, 2) + "," + Reply[Comma + 1];
  }
  void Program(const std::vector<uint8_t>& Data) {
    ASSERT_TRUE(SetCounter(*FHost, uint32_t(Data.size())));
    ASSERT_EQ(WriteStream(*FHost, Data), Data.size());
  }
  std::string Transcript() {
    FBoard->Stop();
    return ReadFile(Dir.File("transcript.txt"));
  }

  TTempDir Dir;
  std::unique_ptr<TBoardSim> FBoard;
  std::unique_ptr<THostEnd> FHost;
};

TEST_F(BoardSocket, AChipTakenOutTakesItsContentsWithIt) {
  Start();
  const std::vector<uint8_t> Data = TestPattern(64);
  Put("89C52\n");  // the chip that is already there
  Program(Data);
  FHost->Ask("l", '>');
  EXPECT_EQ(Identify(), "52,1");

  Put("empty\n");
  EXPECT_EQ(Identify(), "00,0");
  EXPECT_EQ(FBoard->Flash(), std::vector<uint8_t>(8192, 0xFF));
  EXPECT_FALSE(FBoard->Locked());
  // Nothing written into an empty socket is kept; the counter is the board's.
  ASSERT_EQ(WriteStream(*FHost, Data), Data.size());
  EXPECT_EQ(FBoard->Flash(), std::vector<uint8_t>(8192, 0xFF));
  EXPECT_EQ(FHost->Ask("r", '>'), "r" + std::string(128, 'F') + "\r\n>");
  EXPECT_EQ(Identify(), "00,0");

  Put("89C52\n");
  EXPECT_EQ(Identify(), "52,0") << "a new chip, blank";
  EXPECT_EQ(FBoard->Flash(), std::vector<uint8_t>(8192, 0xFF));
  EXPECT_FALSE(FBoard->Locked());
  EXPECT_EQ(FHost->Ask("r", '>'), "r" + std::string(128, 'F') + "\r\n>");
  Program(Data);
  EXPECT_EQ(FHost->Ask("r", '>'), "r" + Hex(Data) + "\r\n>");

  const std::string Text = Transcript();
  EXPECT_NE(Text.find("> 70 'p'\n! socket: the chip is taken out\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("> 70 'p'\n! socket: a blank 89C52 is put in\n"), std::string::npos);
}

TEST_F(BoardSocket, EachKindAnswersWithItsOwnSignatureAndSize) {
  struct TStep {
    const char* InSocket;
    const char* Identified;
    size_t Size;
  };
  const TStep Steps[] = {
      {"89C51", "51,0", 4096},  {"89LV55", "65,0", 20480}, {"empty", "00,0", 20480},
      {"89LV51", "61,0", 4096}, {"89C55", "55,0", 20480},  {"89C52", "52,0", 8192},
  };
  Start();
  for (const TStep& Step : Steps) {
    Put(Step.InSocket);
    EXPECT_EQ(Identify(), Step.Identified) << Step.InSocket;
    EXPECT_EQ(FBoard->Flash().size(), Step.Size) << Step.InSocket;
    EXPECT_NE(FHost->Ask("\r", '>').find("89C5x"), std::string::npos) << Step.InSocket;
  }
}

TEST_F(BoardSocket, TheChipStaysWhileTheNameDoesOrTheFileIsGone) {
  Start();
  Put("89C51");
  EXPECT_EQ(Identify(), "51,0");
  Program({0x12, 0x34});
  Put("89C51\n");  // the same name, written again
  EXPECT_EQ(Identify(), "51,1");
  std::remove(Dir.File("socket").c_str());
  EXPECT_EQ(Identify(), "51,1");
  Put("8051\n");  // no kind the board knows
  EXPECT_EQ(Identify(), "51,1");
  EXPECT_EQ(FHost->Ask("r", '>'), "r1234\r\n>");
  const std::string Text = Transcript();
  EXPECT_NE(Text.find("! socket: cannot put in '8051': unknown chip kind: 8051"), std::string::npos)
      << Text;
}

TEST_F(BoardSocket, WithoutAFileTheChipOfTheSwitchStays) {
  Start("89LV52");
  Program({0x00});
  EXPECT_EQ(Identify(), "62,1");
  EXPECT_EQ(FBoard->Flash()[0], 0x00);
}

TEST_F(BoardSocket, TheBannerFollowsTheChipInTheSocket) {
  Start();
  Put("89C2051");
  EXPECT_NE(FHost->Ask("\r", '>').find("2051"), std::string::npos);
  EXPECT_EQ(FBoard->Flash().size(), 2048u);
  FHost->Send("p");
  EXPECT_EQ(FHost->Drain(300), "") << "the 20-pin board does not answer p";
  Put("89C52");
  EXPECT_EQ(FHost->Ask("\r", '>').find("2051"), std::string::npos);
  EXPECT_EQ(Identify(), "52,0");
}

}  // namespace
}  // namespace korvane::sim::test
