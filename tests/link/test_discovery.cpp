// Finding the board, identifying the chip, and the poll around them.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <ostream>

#include "RecordingLink.h"
#include "ScriptedBoard.h"
#include "TestFiles.h"
#include "UBoardProtocol.h"
#include "UBoardSim.h"

namespace korvane::test {
namespace {

using sim::TBoardSim;
using sim::TBoardSimOptions;

std::unique_ptr<TBoardSim> StartBoard(const std::string& Chip, const std::string& LinkPath = "") {
  TBoardSimOptions Options;
  Options.Chip = Chip;
  Options.LinkPath = LinkPath;
  auto Board = std::make_unique<TBoardSim>(Options);
  Board->Start();
  return Board;
}

// A scripted board that answers the banner and "p" with a signature reply the
// test can change between polls, or stays silent.
class TSignatureBoard {
 public:
  void SetSignatureReply(const std::string& Reply) {
    std::lock_guard<std::mutex> Guard(FLock);
    FSignatureReply = Reply;
  }
  void SetSilent(bool Silent) {
    std::lock_guard<std::mutex> Guard(FLock);
    FSilent = Silent;
  }
  const std::string& DevicePath() const { return FBoard.DevicePath(); }
  std::string Received() const { return FBoard.Received(); }

 private:
  std::string Answer(uint8_t Byte) {
    std::lock_guard<std::mutex> Guard(FLock);
    if (FSilent) {
      return "";
    }
    if (Byte == protocol::CR) {
      return "\r\nVyte Programmer\r\n>";
    }
    return Byte == 'p' ? FSignatureReply : "?\r\n>";
  }

  std::mutex FLock;
  std::string FSignatureReply = "p51 ok,0\r\n>";
  bool FSilent = false;
  TScriptedBoard FBoard{[this](uint8_t Byte) { return Answer(Byte); }};
};

TEST(Discovery, BoardOnTheSecondOfThreePortsEndsTheScanThere) {
  TTempDir Dir;
  const std::string Missing = Dir.File("portA");
  const std::string WithBoard = Dir.File("portB");
  const std::string Never = Dir.File("portC");
  auto Board = StartBoard("89C52", WithBoard);
  WriteTextFile(Never, "");
  const int Watch = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(Watch, 0);
  ASSERT_GE(inotify_add_watch(Watch, Never.c_str(), IN_OPEN), 0);
  // Out of order on purpose: the scan goes by the sorted list.
  TRecordingLink Programmer;
  Programmer.UsePorts({Never, WithBoard, Missing});

  Programmer.Link.DetectProgrammer();

  EXPECT_EQ(Programmer.Link.TargetChip(), chip89C52);
  EXPECT_EQ(Programmer.Link.PortList(), (std::vector<std::string>{Missing, WithBoard, Never}));
  EXPECT_EQ(Programmer.Statuses, (std::vector<std::string>{"Try to connect by : " + WithBoard,
                                                           "Identify target chip ...", ""}));
  EXPECT_EQ(Programmer.Link.Line().Port(), WithBoard);
  EXPECT_TRUE(Programmer.Link.Line().Connected());
  EXPECT_EQ(Programmer.Link.SourceImage().Size(), 8192);
  EXPECT_EQ(Programmer.Link.ChipImage().Size(), 8192);
  char Buffer[4096];
  EXPECT_LT(read(Watch, Buffer, sizeof Buffer), 0) << "the third port was opened";
  close(Watch);
}

TEST(Discovery, PortWithoutTheBannerWordIsLeftForTheNext) {
  TTempDir Dir;
  TBoardSimOptions Options;
  Options.NoBannerWord = true;
  TBoardSim Stranger(Options);
  Stranger.Start();
  auto Board = StartBoard("89C51");
  // Names chosen so that the stranger sorts first.
  ASSERT_EQ(symlink(Stranger.DevicePath().c_str(), Dir.File("a").c_str()), 0);
  ASSERT_EQ(symlink(Board->DevicePath().c_str(), Dir.File("b").c_str()), 0);
  TRecordingLink Programmer;
  Programmer.UsePorts({Dir.File("b"), Dir.File("a")});

  Programmer.Link.DetectProgrammer();

  EXPECT_EQ(Programmer.Link.TargetChip(), chip89C51);
  EXPECT_EQ(Programmer.Statuses, (std::vector<std::string>{"Try to connect by : " + Dir.File("a"),
                                                           "Try to connect by : " + Dir.File("b"),
                                                           "Identify target chip ...", ""}));
  EXPECT_EQ(Stranger.ReceivedBytes(), "\r");
}

TEST(Discovery, NoPortThatOpensSaysSo) {
  TTempDir Dir;
  TRecordingLink Programmer;
  for (const auto& Ports : {std::vector<std::string>{}, {Dir.File("gone1"), Dir.File("gone2")}}) {
    Programmer.UsePorts(Ports);
    Programmer.ClearRecord();
    Programmer.Link.DetectProgrammer();
    EXPECT_EQ(Programmer.Link.TargetChip(), chipNone);
    EXPECT_EQ(Programmer.Statuses, (std::vector<std::string>{"Available port not found!"}));
  }
}

TEST(Discovery, PortThatOpensButStaysSilentLeavesAnEmptyStatus) {
  TBoardSimOptions Options;
  Options.Silent = true;
  TBoardSim Board(Options);
  Board.Start();
  TRecordingLink Programmer;
  Programmer.UsePorts({Board.DevicePath()});
  Programmer.Link.DetectProgrammer();
  EXPECT_EQ(Programmer.Link.TargetChip(), chipNone);
  EXPECT_EQ(Programmer.Status(), "");
}

struct TChipCase {
  const char* SimChip;
  uint8_t Code;
  const char* Name;
  uint16_t Size;
};

void PrintTo(const TChipCase& Case, std::ostream* Out) {
  *Out << Case.SimChip;
}

class ChipKinds : public ::testing::TestWithParam<TChipCase> {};

TEST_P(ChipKinds, EachKindIsIdentifiedAndSizesTheImages) {
  const TChipCase& Case = GetParam();
  auto Board = StartBoard(Case.SimChip);
  TRecordingLink Programmer;
  Programmer.UsePorts({Board->DevicePath()});
  Programmer.Link.DetectProgrammer();

  EXPECT_EQ(Programmer.Link.TargetChip(), Case.Code);
  EXPECT_EQ(ChipName(Programmer.Link.TargetChip()), Case.Name);
  // The 89C2051/4051 is known from the banner alone; its images follow the
  // code-memory choice (2KB unless chosen otherwise).
  EXPECT_EQ(Board->ReceivedBytes(), Case.Code == chip89C2051 ? "\r" : "\rp");
  EXPECT_EQ(Programmer.Link.SourceImage().Size(), Case.Size);
  EXPECT_EQ(Programmer.Link.ChipImage().Size(), Case.Size);
}

INSTANTIATE_TEST_SUITE_P(Link, ChipKinds,
                         ::testing::Values(TChipCase{"89C51", 1, "89C51", 4096},
                                           TChipCase{"89LV51", 2, "89LV51", 4096},
                                           TChipCase{"89C52", 3, "89C52", 8192},
                                           TChipCase{"89LV52", 4, "89LV52", 8192},
                                           TChipCase{"89C55", 5, "89C55", 20480},
                                           TChipCase{"89LV55", 6, "89LV55", 20480},
                                           TChipCase{"89C2051", 7, "89C2051/4051", 2048}),
                         [](const ::testing::TestParamInfo<TChipCase>& Info) {
                           return std::string("Chip") + Info.param.SimChip;
                         });

TEST(Discovery, SignatureLookupGoesByOddPositionsOnly) {
  TSignatureBoard Board;
  TRecordingLink Programmer;
  Programmer.Link.Line().SetPort(Board.DevicePath());
  Programmer.Link.Line().Open();
  const std::string Banner = "\r\nVyte Programmer\r\n>";
  struct {
    std::string Reply;
    uint8_t Code;
  } Cases[] = {
      {"p52 ok,0\r\n>", chip89C52}, {"p65>", chip89LV55}, {"p15>", chipNone},
      {"p26>", chipNone},           {">5", chip89C51},    {">", chipNone},
      {"p99>", chipNone},
  };
  for (const auto& Case : Cases) {
    Board.SetSignatureReply(Case.Reply);
    Programmer.Link.SetTargetChip(9);
    Programmer.Link.IdentifyChip(Banner);
    EXPECT_EQ(Programmer.Link.TargetChip(), Case.Code) << "reply " << Case.Reply;
  }
}

TEST(Discovery, ChipSwappedBetweenPollsResizesTheImages) {
  TSignatureBoard Board;
  TRecordingLink Programmer;
  Programmer.UsePorts({Board.DevicePath()});
  Programmer.Link.DetectProgrammer();
  ASSERT_EQ(Programmer.Link.TargetChip(), chip89C51);
  EXPECT_EQ(Programmer.Link.SourceImage().Size(), 4096);

  Board.SetSignatureReply("p52 ok,1\r\n>");
  Programmer.ClearRecord();
  Programmer.Link.DetectProgrammer();
  EXPECT_EQ(Programmer.Link.TargetChip(), chip89C52);
  EXPECT_EQ(Programmer.Link.SourceImage().Size(), 8192);
  EXPECT_EQ(Programmer.Link.ChipImage().Size(), 8192);
  // The known chip is checked on the port in use: no scan, no status.
  EXPECT_TRUE(Programmer.Statuses.empty());
  EXPECT_EQ(Board.Received(), "\rp\rp");
}

TEST(Discovery, KnownChipWhoseBoardFallsSilentIsForgottenThenScannedFor) {
  TSignatureBoard Board;
  TRecordingLink Programmer;
  Programmer.UsePorts({Board.DevicePath()});
  Programmer.Link.DetectProgrammer();
  ASSERT_EQ(Programmer.Link.TargetChip(), chip89C51);

  Board.SetSilent(true);
  Programmer.ClearRecord();
  EXPECT_NO_THROW(Programmer.Link.DetectProgrammer());
  EXPECT_EQ(Programmer.Link.TargetChip(), chipNone);
  EXPECT_EQ(Programmer.Link.SourceImage().Size(), 4096) << "the images keep their sizes";

  Board.SetSilent(false);
  Programmer.ClearRecord();
  Programmer.Link.DetectProgrammer();
  EXPECT_EQ(Programmer.Link.TargetChip(), chip89C51);
  EXPECT_EQ(Programmer.Statuses.front(), "Try to connect by : " + Board.DevicePath());
}

TEST(Discovery, UnpluggedBoardIsReportedOnceAndFoundAgainWhenBack) {
  TTempDir Dir;
  const std::string Link = Dir.File("board");
  TRecordingLink Programmer;
  Programmer.UsePorts({Link});
  auto Board = StartBoard("89C52", Link);
  Programmer.Link.DetectProgrammer();
  ASSERT_EQ(Programmer.Link.TargetChip(), chip89C52);

  Board->Stop();
  Board.reset();
  Programmer.ClearRecord();
  EXPECT_THROW(Programmer.Link.DetectProgrammer(), EComPort);
  EXPECT_EQ(Programmer.Link.TargetChip(), chipNone);
  EXPECT_FALSE(Programmer.Link.Line().Connected());
  // The poll goes on: the timer runs again, and the window hears of the change.

  Programmer.ClearRecord();
  EXPECT_NO_THROW(Programmer.Link.DetectProgrammer());
  EXPECT_EQ(Programmer.Link.TargetChip(), chipNone);
  EXPECT_EQ(Programmer.Status(), "Available port not found!");

  Board = StartBoard("89C51", Link);
  Programmer.ClearRecord();
  EXPECT_NO_THROW(Programmer.Link.DetectProgrammer());
  EXPECT_EQ(Programmer.Link.TargetChip(), chip89C51);
  EXPECT_EQ(Programmer.Link.SourceImage().Size(), 4096);
}

TEST(Discovery, OtherFailureOfThePollEndsPollingButNotTheBusyFlag) {
  TSignatureBoard Board;
  TRecordingLink Programmer;
  Programmer.UsePorts({Board.DevicePath()});
  Programmer.Link.DetectProgrammer();
  ASSERT_EQ(Programmer.Link.TargetChip(), chip89C51);

  // Growing the images fails: not the port, so polling ends.
  Board.SetSignatureReply("p55 ok,0\r\n>");
  Programmer.Link.SourceImage().SetAllocationLimit(8192);
  Programmer.ClearRecord();
  EXPECT_THROW(Programmer.Link.DetectProgrammer(), EHexFile);
  EXPECT_TRUE(Programmer.Link.Line().Connected());
}

}  // namespace
}  // namespace korvane::test
