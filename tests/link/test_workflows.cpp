// The two workflows end to end against the virtual board: what they send,
// what the chip and the files hold afterwards, and the status they end with.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>
#include <thread>

#include "RecordingLink.h"
#include "ScriptedBoard.h"
#include "TestFiles.h"
#include "UBoardProtocol.h"
#include "UBoardSim.h"
#include "UChipProgress.h"

namespace korvane::test {
namespace {

using sim::TBoardSim;
using sim::TBoardSimOptions;
using Texts = std::vector<std::string>;

// The board's default options with Change applied.
template <typename TChange>
TBoardSimOptions Options(TChange Change) {
  TBoardSimOptions Result;
  Change(Result);
  return Result;
}

class WorkflowTest : public ::testing::Test {
 protected:
  void StartBoard(const TBoardSimOptions& Options) {
    Board = std::make_unique<TBoardSim>(Options);
    Board->Start();
    Programmer.UsePorts({Board->DevicePath()});
    Programmer.Link.DetectProgrammer();
    ASSERT_NE(Programmer.Link.TargetChip(), chipNone);
    if (Programmer.Link.TargetChip() == chip89C2051) {
      Programmer.MemorySize = Options.Size2051;
      Programmer.Link.ApplyMemorySizeChoice(Programmer.MemorySize);
    }
    Programmer.ClearRecord();
    Sent = Board->ReceivedBytes().size();
  }
  std::string SentSincePoll() const { return Board->ReceivedBytes().substr(Sent); }
  void Program(const std::string& File) { Programmer.ProgramChip(File, Programmer.Options()); }
  void ReadBack(const std::string& File) { Programmer.ReadToFile(File, Programmer.Options()); }
  // The host's bytes after the write stream of Count bytes (which may
  // contain any value) ends.
  std::string SentAfterWrite(size_t Count) const {
    const std::string All = SentSincePoll();
    const size_t Write = All.find('w');
    return Write == std::string::npos ? All : All.substr(std::min(All.size(), Write + 1 + Count));
  }

  TTempDir Dir;
  std::unique_ptr<TBoardSim> Board;
  TRecordingLink Programmer;
  size_t Sent = 0;
};

TEST_F(WorkflowTest, ProgramsOnlyUpToTheLastUsedByte) {
  StartBoard({});
  std::vector<uint8_t> Bytes(8192, 0xFF);
  const std::vector<uint8_t> Data = PatternBytes(1024, 5);
  std::copy(Data.begin(), Data.end(), Bytes.begin());
  Bytes[100] = 0xFF;  // a hole below the last byte is written like any byte
  WriteHexFile(Dir.File("in.hex"), Bytes);
  Board->SetFlash(std::vector<uint8_t>(8192, 0x00));

  Program(Dir.File("in.hex"));

  EXPECT_EQ(Programmer.Statuses, (Texts{"Erasing...", "Erasing...[1/10]", "Initial for Writing",
                                        "Writing... [1024 Bytes]", "Verify...", "Complete!"}));
  EXPECT_EQ(SentSincePoll().substr(0, 9), "eps1024\nw");
  EXPECT_EQ(SentAfterWrite(1024), "r") << "the read of the verification, nothing else";
  EXPECT_EQ(Board->Flash(), Bytes);
  EXPECT_EQ(Programmer.ProgressPosition, 0);
}

struct TRoundTrip {
  const char* Chip;
  uint16_t Size2051;
  uint16_t Size;
  bool FastVerify;
};

void PrintTo(const TRoundTrip& Case, std::ostream* Out) {
  *Out << Case.Chip << " " << Case.Size << (Case.FastVerify ? " fast verify" : "");
}

class RoundTrip : public WorkflowTest, public ::testing::WithParamInterface<TRoundTrip> {};

TEST_P(RoundTrip, ProgramThenReadBackGivesTheFile) {
  const TRoundTrip& Case = GetParam();
  TBoardSimOptions Options;
  Options.Chip = Case.Chip;
  Options.Size2051 = Case.Size2051;
  StartBoard(Options);
  Programmer.FastVerify = Case.FastVerify;
  const std::vector<uint8_t> Bytes = PatternBytes(Case.Size, Case.Size);
  WriteHexFile(Dir.File("in.hex"), Bytes);

  Program(Dir.File("in.hex"));
  ASSERT_EQ(Programmer.Status(), "Complete!");
  EXPECT_EQ(Board->Flash(), Bytes);

  Programmer.ClearRecord();
  Sent = Board->ReceivedBytes().size();
  ReadBack(Dir.File("out.hex"));
  EXPECT_EQ(SentSincePoll(), "s" + std::to_string(Case.Size) + "\nr");
  EXPECT_EQ(Programmer.Statuses, (Texts{"Reading...", "Complete!"}));
  EXPECT_EQ(LoadHexFile(Dir.File("out.hex"), Case.Size), Bytes);
}

INSTANTIATE_TEST_SUITE_P(Link, RoundTrip,
                         ::testing::Values(TRoundTrip{"89C51", 2048, 4096, true},
                                           TRoundTrip{"89LV52", 2048, 8192, false},
                                           TRoundTrip{"89C55", 2048, 20480, true},
                                           TRoundTrip{"89C2051", 2048, 2048, false},
                                           TRoundTrip{"89C2051", 4096, 4096, false}),
                         [](const ::testing::TestParamInfo<TRoundTrip>& Info) {
                           return std::string("Chip") + Info.param.Chip + "Size" +
                                  std::to_string(Info.param.Size);
                         });

TEST_F(WorkflowTest, FastVerifyAndLock) {
  StartBoard({});
  Programmer.FastVerify = true;
  Programmer.Lock = true;
  WriteHexFile(Dir.File("in.hex"), PatternBytes(300, 6));

  Program(Dir.File("in.hex"));

  EXPECT_EQ(Programmer.Statuses,
            (Texts{"Erasing...", "Erasing...[1/10]", "Initial for Writing",
                   "Writing... [300 Bytes]", "Fast Verify...", "Verify Locked code", "Complete!"}));
  EXPECT_EQ(SentAfterWrite(300), "clr");
  EXPECT_TRUE(Board->Locked());
}

// --- Every failure row ends with its status and sends nothing after it ---

TEST_F(WorkflowTest, BadFileFailsBeforeTheBoardIsTouched) {
  StartBoard({});
  WriteTextFile(Dir.File("bad.hex"), ":0100000001FF\r\n:00000001FF\r\n");
  Programmer.Statuses = {"before"};
  EXPECT_THROW(Program(Dir.File("bad.hex")), EHexFile);
  EXPECT_EQ(Programmer.Statuses, (Texts{"before"}));
  EXPECT_EQ(SentSincePoll(), "");
}

TEST_F(WorkflowTest, TextWithoutAnyRecordIsRefusedBeforeTheChipIsErased) {
  StartBoard({});
  Board->SetFlash(PatternBytes(8192, 17));
  for (const std::string& Text : {std::string("not a HEX file\r\n"), std::string(4096, '\0')}) {
    WriteTextFile(Dir.File("none.hex"), Text);
    try {
      Program(Dir.File("none.hex"));
      ADD_FAILURE() << "no exception";
    } catch (const EHexFile& Error) {
      EXPECT_STREQ(Error.what(), "No HEX record in file");
    }
  }
  EXPECT_EQ(SentSincePoll(), "");
  EXPECT_EQ(Board->Flash(), PatternBytes(8192, 17));
}

TEST_F(WorkflowTest, DataBeyondTheChipFailsBeforeTheBoardIsTouched) {
  StartBoard(Options([&](TBoardSimOptions& O) { O.Chip = "89C51"; }));
  WriteHexFile(Dir.File("big.hex"), PatternBytes(4097, 7));
  EXPECT_THROW(Program(Dir.File("big.hex")), EHexFile);
  EXPECT_EQ(SentSincePoll(), "");
}

TEST_F(WorkflowTest, EraseFailureTriesTenTimesAndSendsNothingMore) {
  StartBoard(Options([&](TBoardSimOptions& O) { O.EraseTries = 11; }));
  Programmer.Lock = true;
  WriteHexFile(Dir.File("in.hex"), PatternBytes(64, 8));
  Program(Dir.File("in.hex"));
  EXPECT_EQ(Programmer.Statuses[10], "Erasing...[10/10]");
  std::string Tries;
  for (int Try = 0; Try < 10; ++Try) {
    Tries += "ep";
  }
  EXPECT_EQ(SentSincePoll(), Tries);
}

// A scripted board that erases, and then takes no counter.
class DeafCounterBoard {
 public:
  explicit DeafCounterBoard(bool Is2051)
      : FBoard([Is2051](uint8_t Byte) -> std::string {
          switch (Byte) {
            case protocol::CR:
              return Is2051 ? "\r\nVyte 2051\r\n>" : "\r\nVyte\r\n>";
            case 'p':
              return "p52 ok,0\r\n>";
            case 'e':
              return "e ok\r\n>";
            default:
              return "";
          }
        }) {}
  TScriptedBoard FBoard;
};

TEST(Workflows, CounterFailureOfTheProgramming) {
  TTempDir Dir;
  DeafCounterBoard Board(false);
  TRecordingLink Programmer;
  Programmer.UsePorts({Board.FBoard.DevicePath()});
  Programmer.Lock = true;
  Programmer.Link.DetectProgrammer();
  ASSERT_EQ(Programmer.Link.TargetChip(), chip89C52);
  WriteHexFile(Dir.File("in.hex"), PatternBytes(64, 9));
  Programmer.ClearRecord();
  Programmer.ProgramChip(Dir.File("in.hex"), Programmer.Options());
  EXPECT_EQ(Programmer.Statuses, (Texts{"Erasing...", "Erasing...[1/10]", "Initial for Writing",
                                        "Set Counter Failed!"}));
  EXPECT_EQ(Board.FBoard.Received(), "\rpeps");
}

TEST(Workflows, CounterFailureOfThe2051EraseEndsAsEraseFailure) {
  TTempDir Dir;
  DeafCounterBoard Board(true);
  TRecordingLink Programmer;
  Programmer.UsePorts({Board.FBoard.DevicePath()});
  Programmer.Link.DetectProgrammer();
  ASSERT_EQ(Programmer.Link.TargetChip(), chip89C2051);
  Programmer.Link.ApplyMemorySizeChoice(Programmer.MemorySize);
  WriteHexFile(Dir.File("in.hex"), PatternBytes(2048, 10));
  Programmer.ClearRecord();
  Programmer.ProgramChip(Dir.File("in.hex"), Programmer.Options());
  EXPECT_EQ(Programmer.Statuses, (Texts{"Erasing...", "Send Counter Failed!", "Erase Failed!"}));
  EXPECT_EQ(Board.FBoard.Received(), "\rs");
}

TEST(Workflows, CounterFailureOfTheReadBackKeepsTheOldFile) {
  TTempDir Dir;
  DeafCounterBoard Board(false);
  TRecordingLink Programmer;
  Programmer.UsePorts({Board.FBoard.DevicePath()});
  Programmer.Link.DetectProgrammer();
  WriteTextFile(Dir.File("old.hex"), "old contents");
  Programmer.ClearRecord();
  Programmer.ReadToFile(Dir.File("old.hex"), Programmer.Options());
  EXPECT_EQ(Programmer.Statuses, (Texts{"Set Counter Failed"}));
  EXPECT_EQ(Board.FBoard.Received(), "\rps");
  EXPECT_EQ(ReadTextFile(Dir.File("old.hex")), "old contents");
}

// A file loaded once at the largest size (as the CLI checks it before any
// port is opened) is programmed from that image: it fits when all beyond the
// chip is FF, and is refused as the loader refuses it otherwise, before
// anything is sent.
TEST_F(WorkflowTest, AFileLoadedOnceAtAnySizeFitsTheChipOrIsRefusedAsTheLoaderDoes) {
  StartBoard(Options([](TBoardSimOptions& O) { O.Chip = "89C51"; }));
  THexFile Loaded;
  Loaded.SetSize(LargestChipMemorySize());
  Loaded.Clear();
  for (uint16_t Address = 0; Address < 100; ++Address) {
    Loaded.SetByte(Address, static_cast<uint8_t>(Address));
  }
  ProgramChip(Programmer.Link, {Programmer.Options(), Loaded});
  EXPECT_EQ(Programmer.Status(), "Complete!");
  EXPECT_EQ(Board->Flash()[99], 99);

  Loaded.SetByte(0x1100, 0x42);
  const size_t Sent = Board->ReceivedBytes().size();
  EXPECT_THROW(
      try {
        ProgramChip(Programmer.Link, {Programmer.Options(), Loaded});
      } catch (const EHexFile& E) {
        EXPECT_STREQ(E.what(), "Exceed Memory Size[Target:1100 Size:1000]");
        throw;
      },
      EHexFile);
  EXPECT_EQ(Board->ReceivedBytes().size(), Sent);
}

TEST_F(WorkflowTest, WriteFailureSendsNothingAfterTheStream) {
  StartBoard(Options([&](TBoardSimOptions& O) { O.Dc3InsteadOfDc1At = 40; }));
  Programmer.Lock = true;
  WriteHexFile(Dir.File("in.hex"), PatternBytes(64, 11));
  Program(Dir.File("in.hex"));
  EXPECT_EQ(SentSincePoll().size(), std::string("eps64\nw").size() + 40);
}

TEST_F(WorkflowTest, FastVerifyFailureSendsNoLock) {
  StartBoard(Options([&](TBoardSimOptions& O) { O.WrongChecksum = true; }));
  Programmer.FastVerify = true;
  Programmer.Lock = true;
  WriteHexFile(Dir.File("in.hex"), PatternBytes(64, 12));
  Program(Dir.File("in.hex"));
  EXPECT_EQ(SentAfterWrite(64), "c");
  EXPECT_FALSE(Board->Locked());
}

TEST_F(WorkflowTest, VerifyFailureSendsNoLock) {
  StartBoard(Options([&](TBoardSimOptions& O) { O.CorruptByteAt = 3; }));
  Programmer.Lock = true;
  WriteHexFile(Dir.File("in.hex"), PatternBytes(64, 13));
  Program(Dir.File("in.hex"));
  EXPECT_EQ(SentAfterWrite(64), "r");
  EXPECT_FALSE(Board->Locked());
}

TEST_F(WorkflowTest, LockFailureWhenTheReadBackFails) {
  StartBoard(Options([&](TBoardSimOptions& O) { O.WrongReadEcho = '?'; }));
  Programmer.FastVerify = true;
  Programmer.Lock = true;
  WriteHexFile(Dir.File("in.hex"), PatternBytes(64, 14));
  Program(Dir.File("in.hex"));
  EXPECT_EQ(Programmer.Statuses.back(), "Lock Failed!");
  EXPECT_EQ(Programmer.Messages, (Texts{"?"}));
  EXPECT_EQ(SentAfterWrite(64), "clr");
}

TEST_F(WorkflowTest, ReadFailureKeepsTheOldFile) {
  StartBoard(Options([&](TBoardSimOptions& O) { O.WrongReadEcho = 'Q'; }));
  WriteTextFile(Dir.File("old.hex"), "old contents");
  ReadBack(Dir.File("old.hex"));
  EXPECT_EQ(Programmer.Messages, (Texts{"Q"}));
  EXPECT_EQ(ReadTextFile(Dir.File("old.hex")), "old contents");
}

TEST_F(WorkflowTest, SaveFailureIsRaisedWithTheCursorRestored) {
  StartBoard(Options([&](TBoardSimOptions& O) { O.Chip = "89C51"; }));
  EXPECT_THROW(ReadBack(Dir.File("no/such/folder/out.hex")), EInOutError);
  EXPECT_EQ(Programmer.Status(), "Reading...");
}

// --- An image with nothing to write ---

TEST_F(WorkflowTest, AllFFFileIsProgrammedAsAnEraseOnly) {
  StartBoard({});
  Board->SetFlash(PatternBytes(8192, 15));
  WriteTextFile(Dir.File("empty.hex"), ":00000001FF\r\n");
  Program(Dir.File("empty.hex"));
  EXPECT_EQ(Programmer.Statuses, (Texts{"Erasing...", "Erasing...[1/10]", "Complete!"}));
  EXPECT_EQ(SentSincePoll(), "ep") << "no counter, no write, no verify";
  EXPECT_EQ(Board->Flash(), std::vector<uint8_t>(8192, 0xFF));
}

TEST_F(WorkflowTest, AllFFFileWithLockIsRefusedBeforeTheBoardIsTouched) {
  // An erased chip reads FF locked or not: such a lock could never be proven.
  StartBoard({});
  Board->SetFlash(std::vector<uint8_t>(8192, 0x12));
  Programmer.Lock = true;
  WriteHexFile(Dir.File("ff.hex"), std::vector<uint8_t>(8192, 0xFF));
  try {
    Program(Dir.File("ff.hex"));
    ADD_FAILURE() << "no error";
  } catch (const EHexFile& Error) {
    EXPECT_NE(std::string(Error.what()).find("Nothing to lock: the image is all FF"),
              std::string::npos)
        << Error.what();
  }
  EXPECT_EQ(SentSincePoll(), "");
  EXPECT_FALSE(Board->Locked());
  EXPECT_EQ(Board->Flash(), std::vector<uint8_t>(8192, 0x12));
}

// --- A stop asked for by the user ---

struct TStopCase {
  const char* Name;
  bool Read;  // the read workflow, else programming
  std::optional<std::string> StopAtStatus;
  int StopAtProgress;
  TStep StoppedAt;
  // What the board got after the poll, the write stream's bytes left out.
  const char* SentAround;
  const char* ChipText;
};

class WorkflowStop : public WorkflowTest, public ::testing::WithParamInterface<TStopCase> {};

TEST_P(WorkflowStop, EndsAtTheNextSafePointWithTheBoardAtItsPrompt) {
  const TStopCase& Case = GetParam();
  StartBoard({});
  const std::vector<uint8_t> Image = PatternBytes(1000, 5);
  WriteHexFile(Dir.File("in.hex"), Image);
  Programmer.StopAtStatus = Case.StopAtStatus;
  Programmer.StopAtProgress = Case.StopAtProgress;
  const std::string Out = Dir.File("out.hex");
  if (Case.Read) {
    ReadBack(Out);
  } else {
    Program(Dir.File("in.hex"));
  }

  const TOutcome& Outcome = Programmer.Link.LastOutcome();
  EXPECT_TRUE(Outcome.Interrupted);
  EXPECT_FALSE(Outcome.Succeeded);
  EXPECT_EQ(Outcome.Step, Case.StoppedAt);
  EXPECT_NE(Programmer.Status(), "Complete!");
  const std::string All = SentSincePoll();
  const size_t Write = All.find('w');
  const std::string Around =
      Write == std::string::npos ? All : All.substr(0, Write + 1) + All.substr(Write + 1 + 1000);
  EXPECT_EQ(Around, Case.SentAround);
  EXPECT_EQ(ChipProgressText(Programmer.Link.ChipProgress(), false), Case.ChipText);
  EXPECT_FALSE(std::filesystem::exists(Out));

  // Whatever was written is the file's; the rest of the stream was FF.
  const std::vector<uint8_t> Flash = Board->Flash();
  const uint32_t Written = Programmer.Link.ChipProgress().Written;
  for (size_t Address = 0; Address < Flash.size(); ++Address) {
    ASSERT_EQ(Flash[Address], Address < Written ? Image[Address] : 0xFF) << Address;
  }
  // At its prompt: the next poll finds the chip at once.
  Programmer.Link.DetectProgrammer();
  EXPECT_EQ(Programmer.Link.TargetChip(), chip89C52);
}

INSTANTIATE_TEST_SUITE_P(
    Stops, WorkflowStop,
    ::testing::Values(TStopCase{"BeforeAnything", false, "", -1, TStep::stepErase, "",
                                "the chip was not touched"},
                      TStopCase{"BeforeTheFirstEraseTry", false, "Erasing...", -1, TStep::stepErase,
                                "", "the chip was not touched"},
                      TStopCase{"DuringTheErase", false, "Erasing...[1/10]", -1, TStep::stepCounter,
                                "ep", "the chip is erased; nothing was written"},
                      TStopCase{"DuringTheWrite", false, std::nullopt, 100, TStep::stepWrite,
                                "eps1000\nw",
                                "written 101 of 1000 bytes; the chip is not verified"},
                      TStopCase{"DuringTheVerify", false, "Verify...", -1, TStep::stepVerify,
                                "eps1000\nwr",
                                "written 1000 of 1000 bytes; the chip is not verified"},
                      TStopCase{"DuringTheRead", true, "Reading...", -1, TStep::stepRead,
                                "s8192\nr", "the chip was not touched"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// Links share nothing: two boards programmed at once, each link from a thread
// of its own, each chip ends with its own file.
TEST(BoardLinks, TwoLinksProgramTwoBoardsAtOnceFromTheirOwnThreads) {
  TTempDir Dir;
  struct TLine {
    std::unique_ptr<TBoardSim> Board;
    TRecordingLink Link;
    std::vector<uint8_t> Bytes;
  } Lines[2];
  for (size_t I = 0; I < 2; ++I) {
    Lines[I].Board = std::make_unique<TBoardSim>(TBoardSimOptions{});
    Lines[I].Board->Start();
    Lines[I].Link.UsePorts({Lines[I].Board->DevicePath()});
    Lines[I].Bytes = PatternBytes(700 + 300 * I, static_cast<uint8_t>(40 + I));
    WriteHexFile(Dir.File("in" + std::to_string(I) + ".hex"), Lines[I].Bytes);
  }
  std::vector<std::thread> Threads;
  for (size_t I = 0; I < 2; ++I) {
    Threads.emplace_back([&, I] {
      Lines[I].Link.Link.DetectProgrammer();
      Lines[I].Link.ProgramChip(Dir.File("in" + std::to_string(I) + ".hex"),
                                Lines[I].Link.Options());
    });
  }
  for (std::thread& Thread : Threads) {
    Thread.join();
  }
  for (TLine& Line : Lines) {
    EXPECT_EQ(Line.Link.Status(), "Complete!");
    const std::vector<uint8_t> Flash = Line.Board->Flash();
    EXPECT_TRUE(std::equal(Line.Bytes.begin(), Line.Bytes.end(), Flash.begin()));
  }
}

// What the user is told when the board is lost mid-run, from the run's record.
TEST(LostBoardAdvice, SaysWhatTheChipHoldsAndWhatToDo) {
  const struct {
    TChipProgress Progress;
    const char* Text;
  } Cases[] = {
      {{}, "The chip is unchanged."},
      {{true, false, 0, 0, false, false}, "The chip may be partly erased."},
      {{true, true, 0, 0, false, false}, "The chip is erased; nothing is written yet."},
      {{true, true, 5572, 1500, false, false}, "The chip is partly written (1500 of 5572 bytes)."},
      {{true, true, 5572, 5572, false, false},
       "The chip is written (5572 bytes) but not verified."},
      {{true, true, 148, 148, true, false},
       "The chip is written and verified (148 bytes); the lock did not finish."},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(LostBoardAdvice(Case.Progress, "press Send again"),
              std::string(Case.Text) + " Reconnect the board and press Send again.");
  }
  EXPECT_EQ(LostBoardAdvice({}, "run the command again"),
            "The chip is unchanged. Reconnect the board and run the command again.");
}

}  // namespace
}  // namespace korvane::test
