// The chip operations one by one, against the virtual board and, for the
// answers it never gives, a scripted far end.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "RecordingLink.h"
#include "ScriptedBoard.h"
#include "TestFiles.h"
#include "UBoardProtocol.h"
#include "UBoardSim.h"

namespace korvane::test {
namespace {

using sim::TBoardSim;
using sim::TBoardSimOptions;

// A programmer connected to a virtual board through a poll, with what the
// poll sent and reported already forgotten.
class OperationsTest : public ::testing::Test {
 protected:
  void StartBoard(const TBoardSimOptions& Options) {
    Board = std::make_unique<TBoardSim>(Options);
    Board->Start();
    Programmer.UsePorts({Board->DevicePath()});
    Programmer.Link.DetectProgrammer();
    ASSERT_NE(Programmer.Link.TargetChip(), chipNone);
    Programmer.ClearRecord();
    Sent = Board->ReceivedBytes().size();
  }
  // What the host sent since the poll.
  std::string SentSincePoll() const { return Board->ReceivedBytes().substr(Sent); }
  void FillSource(const std::vector<uint8_t>& Bytes) {
    for (size_t Address = 0; Address < Bytes.size(); ++Address) {
      Programmer.Link.SourceImage().SetByte(static_cast<uint16_t>(Address), Bytes[Address]);
    }
  }

  std::unique_ptr<TBoardSim> Board;
  TRecordingLink Programmer;
  size_t Sent = 0;
};

void ConnectTo(TRecordingLink& Programmer, const std::string& Device) {
  Programmer.Link.Line().SetPort(Device);
  Programmer.Link.Line().Open();
}

TEST_F(OperationsTest, CounterIsSentDigitByDigit) {
  StartBoard({});
  EXPECT_TRUE(Programmer.Link.SetCounter(1024));
  EXPECT_EQ(SentSincePoll(), "s1024\n");
  EXPECT_TRUE(Programmer.Link.SetCounter(7));
  EXPECT_TRUE(Programmer.Link.SetCounter(8192));
  EXPECT_EQ(SentSincePoll(), "s1024\ns7\ns8192\n");
  // A count the board refuses ("ok" missing after the line feed).
  EXPECT_FALSE(Programmer.Link.SetCounter(8193));
}

TEST(Operations, CounterDigitWithoutAnswerStopsBeforeTheLineFeed) {
  TScriptedBoard Board([](uint8_t Byte) -> std::string {
    return Byte == 's' || Byte == '1' ? std::string(1, static_cast<char>(protocol::DC1)) : "";
  });
  TRecordingLink Programmer;
  ConnectTo(Programmer, Board.DevicePath());
  EXPECT_FALSE(Programmer.Link.SetCounter(1024));
  EXPECT_EQ(Board.Received(), "s10");
}

TEST_F(OperationsTest, EraseIsTriedUntilTheChipReportsErased) {
  TBoardSimOptions Options;
  Options.EraseTries = 3;
  StartBoard(Options);
  EXPECT_TRUE(Programmer.Link.EraseChip());
  EXPECT_EQ(Programmer.Statuses,
            (std::vector<std::string>{"Erasing...[1/10]", "Erasing...[2/10]", "Erasing...[3/10]"}));
  EXPECT_EQ(SentSincePoll(), "epepep");
  EXPECT_EQ(Board->Counters().EraseCount, 3u);
}

TEST_F(OperationsTest, EraseGivesUpAfterTenTries) {
  TBoardSimOptions Options;
  Options.EraseTries = 11;
  StartBoard(Options);
  EXPECT_FALSE(Programmer.Link.EraseChip());
  ASSERT_EQ(Programmer.Statuses.size(), 10u);
  EXPECT_EQ(Programmer.Statuses.back(), "Erasing...[10/10]");
  EXPECT_EQ(Board->Counters().EraseCount, 10u);
}

TEST_F(OperationsTest, EraseOf2051SendsTheCounterOnceAndReadsBackEachTry) {
  TBoardSimOptions Options;
  Options.Chip = "89C2051";
  Options.EraseTries = 2;
  StartBoard(Options);
  Programmer.MemorySize = 2048;
  Programmer.Link.ApplyMemorySizeChoice(Programmer.MemorySize);
  Board->SetFlash(std::vector<uint8_t>(2048, 0x00));
  EXPECT_TRUE(Programmer.Link.EraseChip());
  EXPECT_EQ(SentSincePoll(), "s2048\nerer");
  EXPECT_EQ(Programmer.Statuses,
            (std::vector<std::string>{"Erasing...[1/10]", "Erasing...[2/10]"}));
}

TEST(Operations, EraseOf2051WhoseCounterFailsSaysSo) {
  TScriptedBoard Board;
  TRecordingLink Programmer;
  ConnectTo(Programmer, Board.DevicePath());
  Programmer.Link.SetTargetChip(chip89C2051);
  Programmer.Link.ApplyMemorySizeChoice(Programmer.MemorySize);
  EXPECT_FALSE(Programmer.Link.EraseChip());
  EXPECT_EQ(Programmer.Statuses, (std::vector<std::string>{"Send Counter Failed!"}));
  EXPECT_EQ(Board.Received(), "s");
}

TEST_F(OperationsTest, WriteStopsAtAHandshakeOutOfTurn) {
  TBoardSimOptions Options;
  Options.Dc3InsteadOfDc1At = 5;
  StartBoard(Options);
  FillSource(PatternBytes(16, 1));
  ASSERT_TRUE(Programmer.Link.SetCounter(16));
  Programmer.ClearRecord();
  const size_t Before = Board->ReceivedBytes().size();
  EXPECT_FALSE(Programmer.Link.WriteChip(16));
  // "w" and the five bytes before the fault; no closing exchange after it.
  EXPECT_EQ(Board->ReceivedBytes().size() - Before, 6u);
  EXPECT_EQ(Programmer.ProgressMax, 15);
  EXPECT_EQ(Programmer.ProgressPosition, 0);
}

TEST_F(OperationsTest, WriteMovesTheProgressBarPerByte) {
  StartBoard({});
  const std::vector<uint8_t> Bytes = PatternBytes(300, 2);
  FillSource(Bytes);
  ASSERT_TRUE(Programmer.Link.SetCounter(300));
  Programmer.ClearRecord();
  EXPECT_TRUE(Programmer.Link.WriteChip(300));
  EXPECT_EQ(Programmer.ProgressMin, 0);
  EXPECT_EQ(Programmer.ProgressMax, 299);
  EXPECT_EQ(Programmer.ProgressUpdates, 301);
  EXPECT_EQ(Programmer.ProgressPosition, 0);
  const std::vector<uint8_t> Flash = Board->Flash();
  EXPECT_TRUE(std::equal(Bytes.begin(), Bytes.end(), Flash.begin()));
  EXPECT_EQ(Flash[300], 0xFF);
}

TEST_F(OperationsTest, ReadWithAWrongEchoShowsTheByteAndStillCollectsThePrompt) {
  TBoardSimOptions Options;
  Options.WrongReadEcho = 'X';
  StartBoard(Options);
  ASSERT_TRUE(Programmer.Link.SetCounter(64));
  EXPECT_FALSE(Programmer.Link.ReadChip(64));
  EXPECT_EQ(Programmer.Messages, (std::vector<std::string>{"X"}));
  // The board's output was drained: the next exchange starts clean.
  EXPECT_TRUE(Programmer.Link.SetCounter(64));
}

TEST(Operations, ReadStopsAtAPairThatIsNotHexadecimal) {
  TScriptedBoard Board(
      [](uint8_t Byte) -> std::string { return Byte == 'r' ? "r01a2ZZ33\r\n>" : ""; });
  TRecordingLink Programmer;
  ConnectTo(Programmer, Board.DevicePath());
  Programmer.Link.ChipImage().SetSize(8);
  Programmer.Link.ChipImage().Fill(0x77);
  EXPECT_FALSE(Programmer.Link.ReadChip(8));
  EXPECT_EQ(Programmer.Link.ChipImage().GetByte(0), 0x01);
  EXPECT_EQ(Programmer.Link.ChipImage().GetByte(1), 0xA2);
  EXPECT_EQ(Programmer.Link.ChipImage().GetByte(2), 0x77) << "unread bytes keep their values";
  EXPECT_TRUE(Programmer.Messages.empty());
}

TEST(Operations, FastVerifyTakesTheTwosComplementAfterTheEqualsSign) {
  std::string Answer;
  TScriptedBoard Board([&Answer](uint8_t Byte) { return Byte == 'c' ? Answer : std::string(); });
  TRecordingLink Programmer;
  ConnectTo(Programmer, Board.DevicePath());
  Programmer.Link.SourceImage().SetSize(4);
  Programmer.Link.SourceImage().Clear();
  Programmer.Link.SourceImage().SetByte(0, 0x01);
  Programmer.Link.SourceImage().SetByte(1, 0x02);
  struct {
    std::string Reply;
    bool Result;
  } Cases[] = {
      {"c= FFFD\r\n>", true}, {"c= 0003\r\n>", false}, {"c= fffd>", true},
      {"cFFFD>", true},       {"c= zzzz>", false},     {"c=>", false},
  };
  for (const auto& Case : Cases) {
    Answer = Case.Reply;
    EXPECT_EQ(Programmer.Link.FastVerifyChip(2), Case.Result) << Case.Reply;
  }
  // A sum of 0 needs a board value of 0.
  Programmer.Link.SourceImage().Clear();
  Programmer.Link.SourceImage().SetByte(0, 0x00);
  Answer = "c= 0000>";
  EXPECT_TRUE(Programmer.Link.FastVerifyChip(1));
}

TEST(Operations, LockWhoseReadBackIsNotErasedFailsWithoutItsStatus) {
  TScriptedBoard Board([](uint8_t Byte) -> std::string {
    if (Byte == 'l') {
      return "l ok\r\n>";
    }
    return Byte == 'r' ? "rFFFF00FF\r\n>" : "";
  });
  TRecordingLink Programmer;
  ConnectTo(Programmer, Board.DevicePath());
  Programmer.Link.ChipImage().SetSize(4);
  EXPECT_FALSE(Programmer.Link.LockChip(4));
  EXPECT_TRUE(Programmer.Statuses.empty());
  EXPECT_EQ(Board.Received(), "lr");
}

TEST(Operations, LockWithoutAnAnswerSaysSoAndReadsNothing) {
  TScriptedBoard Board;
  TRecordingLink Programmer;
  ConnectTo(Programmer, Board.DevicePath());
  EXPECT_FALSE(Programmer.Link.LockChip(4));
  EXPECT_EQ(Programmer.Statuses, (std::vector<std::string>{"Lock Failed!"}));
  EXPECT_EQ(Board.Received(), "l");
}

TEST(Operations, LastUsedAddressIsTheHighestByteThatIsNotFF) {
  TRecordingLink Programmer;
  THexFile Image;
  EXPECT_EQ(TBoardLink::LastUsedAddress(Image), std::nullopt);
  Image.SetSize(4096);
  Image.Clear();
  EXPECT_EQ(TBoardLink::LastUsedAddress(Image), std::nullopt);
  Image.SetByte(0, 0x00);
  EXPECT_EQ(TBoardLink::LastUsedAddress(Image), 0);
  Image.SetByte(1023, 0x12);
  EXPECT_EQ(TBoardLink::LastUsedAddress(Image), 1023);
  Image.SetByte(4095, 0xFE);
  EXPECT_EQ(TBoardLink::LastUsedAddress(Image), 4095);
  Image.SetSize(65535);
  Image.SetByte(65534, 0x00);
  EXPECT_EQ(TBoardLink::LastUsedAddress(Image), 65534);
}

TEST(Operations, MemorySizeChoiceSizesBothImagesOfAChipWhoseSizeIsChosen) {
  TRecordingLink Programmer;
  Programmer.Link.SetTargetChip(chip89C52);
  Programmer.Link.ApplyMemorySizeChoice(4096);
  EXPECT_EQ(Programmer.Link.ChipImage().Size(), 8192);
  Programmer.Link.SetTargetChip(chip89C2051);
  EXPECT_EQ(Programmer.Link.ChipImage().Size(), 4096);
  Programmer.MemorySize = 4096;
  Programmer.Link.ApplyMemorySizeChoice(Programmer.MemorySize);
  EXPECT_EQ(Programmer.Link.SourceImage().Size(), 4096);
  EXPECT_EQ(Programmer.Link.ChipImage().Size(), 4096);
  Programmer.MemorySize = 2048;
  Programmer.Link.ApplyMemorySizeChoice(Programmer.MemorySize);
  EXPECT_EQ(Programmer.Link.ChipImage().Size(), 2048);
  EXPECT_EQ(Programmer.Link.ChosenMemorySize(), 2048);
}

}  // namespace
}  // namespace korvane::test
