// The virtual board's fault switches, each seen from the host's end and in
// the transcript.
#include <gtest/gtest.h>

#include "HostEnd.h"
#include "UBoardSim.h"

namespace korvane::sim::test {
namespace {

class BoardFault : public ::testing::Test {
 protected:
  void Start(TBoardSimOptions Options) {
    Options.TranscriptPath = Dir.File("transcript.txt");
    FBoard = std::make_unique<TBoardSim>(Options);
    FBoard->Start();
    FHost = std::make_unique<THostEnd>(FBoard->DevicePath());
  }
  std::string Transcript() {
    FBoard->Stop();
    return ReadFile(Dir.File("transcript.txt"));
  }
  char ErasedFlag() {
    const std::string Reply = FHost->Ask("p", '>');
    const size_t Comma = Reply.find(',');
    return Comma == std::string::npos || Comma + 1 >= Reply.size() ? '?' : Reply[Comma + 1];
  }

  TTempDir Dir;
  std::unique_ptr<TBoardSim> FBoard;
  std::unique_ptr<THostEnd> FHost;
};

TEST_F(BoardFault, EraseThatNeedsSeveralTries) {
  TBoardSimOptions Options;
  Options.EraseTries = 3;
  Start(Options);
  FHost->Ask("e", '>');
  EXPECT_EQ(ErasedFlag(), '1');
  FHost->Ask("e", '>');
  EXPECT_EQ(ErasedFlag(), '1');
  EXPECT_NE(FHost->Ask("e", '>').find("ok"), std::string::npos);
  EXPECT_EQ(ErasedFlag(), '0');
  EXPECT_EQ(FBoard->Counters().EraseCount, 3u);
  const std::string Text = Transcript();
  EXPECT_NE(Text.find("! fault: erase 1 of 3 leaves the chip not blank"), std::string::npos);
  EXPECT_NE(Text.find("! fault: erase 2 of 3"), std::string::npos);
}

TEST_F(BoardFault, IncompleteEraseShowsInTheReadOfThe2051) {
  TBoardSimOptions Options;
  Options.Chip = "89C2051";
  Options.EraseTries = 2;
  Start(Options);
  ASSERT_TRUE(SetCounter(*FHost, 2048));
  FHost->Ask("e", '>');
  EXPECT_EQ(FHost->Ask("r", '>').substr(0, 5), "r00FF");
  FHost->Ask("e", '>');
  EXPECT_EQ(FHost->Ask("r", '>'), "r" + std::string(4096, 'F') + "\r\n>");
}

TEST_F(BoardFault, NoAnswerToSignature) {
  TBoardSimOptions Options;
  Options.NoSignatureAnswer = true;
  Start(Options);
  FHost->Send("p");
  EXPECT_EQ(FHost->Drain(300), "");
  EXPECT_NE(FHost->Ask("\r", '>').find("Vyte"), std::string::npos) << "the rest still answers";
  EXPECT_NE(Transcript().find("! fault: no answer to p"), std::string::npos);
}

TEST_F(BoardFault, WrongReadEcho) {
  TBoardSimOptions Options;
  Options.WrongReadEcho = 'x';
  Start(Options);
  ASSERT_TRUE(SetCounter(*FHost, 2));
  EXPECT_EQ(FHost->Ask("r", '>'), "xFFFF\r\n>");
  EXPECT_NE(Transcript().find("! fault: read echoed as 78 'x'"), std::string::npos);
}

TEST_F(BoardFault, Dc3WhereDc1IsDueEndsTheWrite) {
  TBoardSimOptions Options;
  Options.Dc3InsteadOfDc1At = 2;
  Start(Options);
  ASSERT_TRUE(SetCounter(*FHost, 5));
  EXPECT_EQ(WriteStream(*FHost, {0x01, 0x02, 0x03, 0x04, 0x05}), 2u);
  EXPECT_EQ(FHost->Drain(200), "") << "no closing text after the broken handshake";
  EXPECT_EQ(FBoard->Flash()[1], 0x02);
  EXPECT_EQ(FBoard->Flash()[2], 0xFF);
  EXPECT_NE(FHost->Ask("\r", '>').find("Vyte"), std::string::npos) << "back at the commands";
  EXPECT_NE(Transcript().find("! fault: DC3 where DC1 for write byte 2 is due\n< 13 DC3\n"),
            std::string::npos);
}

TEST_F(BoardFault, CorruptedByte) {
  TBoardSimOptions Options;
  Options.CorruptByteAt = 1;
  Start(Options);
  const std::vector<uint8_t> Data = {0x10, 0x20, 0x30};
  ASSERT_TRUE(SetCounter(*FHost, 3));
  ASSERT_EQ(WriteStream(*FHost, Data), 3u);
  const std::vector<uint8_t> Flash = FBoard->Flash();
  EXPECT_EQ(Flash[0], 0x10);
  EXPECT_NE(Flash[1], 0x20);
  EXPECT_EQ(Flash[2], 0x30);
  const std::string Reply = FHost->Ask("r", '>');
  EXPECT_NE(Reply, "r" + Hex(Data) + "\r\n>");
  EXPECT_EQ(Reply, "r" + Hex({0x10, Flash[1], 0x30}) + "\r\n>");
}

TEST_F(BoardFault, WrongChecksum) {
  TBoardSimOptions Options;
  Options.WrongChecksum = true;
  Start(Options);
  const std::vector<uint8_t> Data = {0x01, 0x02};
  ASSERT_TRUE(SetCounter(*FHost, 2));
  ASSERT_EQ(WriteStream(*FHost, Data), 2u);
  const long Value = ChecksumValue(FHost->Ask("c", '>'));
  ASSERT_GE(Value, 0);
  EXPECT_NE((Sum16(Data) + Value) % 65536, 0u);
  EXPECT_EQ(Value, 0xFFFE);
}

TEST_F(BoardFault, HangUpInTheMiddleOfAWrite) {
  TBoardSimOptions Options;
  Options.HangUpAtWriteByte = 2;
  Start(Options);
  ASSERT_TRUE(SetCounter(*FHost, 4));
  ASSERT_EQ(FHost->Ask("w", 'w'), "w");
  for (uint8_t Byte : {0xAA, 0xBB}) {
    ASSERT_EQ(FHost->ReadByte(), DC1);
    FHost->Send(std::string(1, char(Byte)));
    ASSERT_EQ(FHost->ReadByte(), DC3);
  }
  EXPECT_TRUE(FHost->HangsUp());
  EXPECT_EQ(FBoard->Flash()[1], 0xBB);
  EXPECT_NE(Transcript().find("! fault: hang-up where DC1 for write byte 2 is due\n! hang-up"),
            std::string::npos);
}

TEST_F(BoardFault, SilentDeviceHearsButNeverAnswers) {
  TBoardSimOptions Options;
  Options.Silent = true;
  Start(Options);
  FHost->Send("\rpesrcl");
  EXPECT_EQ(FHost->Drain(300), "");
  EXPECT_EQ(FBoard->ReceivedBytes(), "\rpesrcl");
  EXPECT_EQ(FBoard->Counters().BytesToHost, 0u);
  EXPECT_EQ(FBoard->Counters().EraseCount, 0u);
}

TEST_F(BoardFault, BannerWithoutItsWord) {
  TBoardSimOptions Options;
  Options.NoBannerWord = true;
  Start(Options);
  const std::string Banner = FHost->Ask("\r", '>');
  EXPECT_EQ(Banner.back(), '>');
  EXPECT_EQ(Banner.find("Vyte"), std::string::npos) << Banner;
  EXPECT_EQ(FHost->Ask("p", '>').substr(1, 2), "52") << "a chip still answers";
}

TEST_F(BoardFault, SwitchesCombine) {
  TBoardSimOptions Options;
  Options.Chip = "89C55";
  Options.NoBannerWord = true;
  Options.WrongChecksum = true;
  Options.CorruptByteAt = 0;
  Start(Options);
  EXPECT_EQ(FHost->Ask("\r", '>').find("Vyte"), std::string::npos);
  ASSERT_TRUE(SetCounter(*FHost, 1));
  ASSERT_EQ(WriteStream(*FHost, {0x00}), 1u);
  const uint8_t Stored = FBoard->Flash()[0];
  EXPECT_NE(Stored, 0x00);
  EXPECT_EQ((Stored + ChecksumValue(FHost->Ask("c", '>'))) % 65536, 1) << "off by one";
}

}  // namespace
}  // namespace korvane::sim::test
