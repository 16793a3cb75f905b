// Production on several boards at once: korvane-cli program --repeat with a
// --port per board, against three virtual boards whose sockets the test
// empties and fills, sharing one serial file and one log; and the screen
// that shows them.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "CliTestSupport.h"
#include "UBoardScreen.h"
#include "UBoardSim.h"

namespace korvane::test {
namespace {

using namespace std::chrono_literals;

class CliSeveralBoards : public ::testing::Test {
 protected:
  // One board per entry of Options, each with its own socket holding Chip.
  void StartBoards(std::vector<sim::TBoardSimOptions> Options) {
    for (size_t Index = 0; Index < Options.size(); ++Index) {
      FSockets.push_back(FDir.File("socket" + std::to_string(Index + 1)));
      WriteTextFile(FSockets.back(), Options[Index].Chip + "\n");
      Options[Index].SocketPath = FSockets.back();
      FBoards.push_back(std::make_unique<sim::TBoardSim>(Options[Index]));
      FBoards.back()->Start();
    }
  }
  // program --repeat on every board, then More.
  std::vector<std::string> Args(const std::vector<std::string>& More) const {
    std::vector<std::string> Result{"program", Blink, "--repeat"};
    for (const auto& Board : FBoards) {
      Result.insert(Result.end(), {"-p", Board->DevicePath()});
    }
    Result.insert(Result.end(), More.begin(), More.end());
    return Result;
  }
  // Takes the chips of Boards (from 1) out and puts new ones in, a poll's
  // time apart.
  void Swap(std::initializer_list<int> Boards) {
    for (const int Board : Boards) {
      WriteTextFile(FSockets[Board - 1], "empty\n");
    }
    std::this_thread::sleep_for(2500ms);
    for (const int Board : Boards) {
      WriteTextFile(FSockets[Board - 1], "89C52\n");
    }
  }
  // Waits until the log holds Count records.
  bool AwaitRecords(size_t Count) const {
    for (int Tries = 0; Tries < 300; ++Tries) {
      if (std::filesystem::exists(FLog) && Lines(ReadTextFile(FLog)).size() >= Count) {
        return true;
      }
      std::this_thread::sleep_for(100ms);
    }
    return false;
  }
  // The log's records as board → the numbers of its chips, "ok" or not.
  std::map<int, std::vector<std::pair<int, bool>>> SerialsByBoard() const {
    std::map<int, std::vector<std::pair<int, bool>>> Found;
    const std::regex Record("\"board\":(\\d).*\"serial\":(\\d+).*\"result\":\"(\\w+)\"");
    for (const std::string& Line : Lines(ReadTextFile(FLog))) {
      std::smatch Match;
      EXPECT_TRUE(std::regex_search(Line, Match, Record)) << Line;
      Found[std::stoi(Match[1])].push_back({std::stoi(Match[2]), Match[3] == "ok"});
    }
    return Found;
  }

  TTempDir FDir;
  std::vector<std::string> FSockets;
  std::vector<std::unique_ptr<sim::TBoardSim>> FBoards;
  std::string FLog = FDir.File("run.jsonl");
  std::string FSerial = FDir.File("serial.txt");
  std::vector<std::string> Records{"--log",         FLog,   "--serial", "0x1000:dec4:1",
                                   "--serial-file", FSerial};
  std::string Blink = ExampleFile("blink/blink.hex");
};

TEST_F(CliSeveralBoards, ThreeBoardsNumberTheirChipsFromOneFileAndStopAnsweringOnCtrlC) {
  StartBoards({{}, {}, {}});
  auto Cli = StartCli(Args(Records), "");
  ASSERT_TRUE(AwaitRecords(3)) << Cli->Finish().Err;
  Swap({1, 2, 3});
  ASSERT_TRUE(AwaitRecords(6));
  Swap({2});
  ASSERT_TRUE(AwaitRecords(7));
  Cli->Signal(SIGINT);
  const TProcessResult Run = Cli->Finish();
  EXPECT_EQ(Run.ExitCode, 130) << Run.Err;

  std::set<int> Serials;
  for (const auto& [Board, Chips] : SerialsByBoard()) {
    EXPECT_EQ(Chips.size(), Board == 2 ? 3u : 2u) << "board " << Board;
    for (const auto& [Serial, Ok] : Chips) {
      EXPECT_TRUE(Ok);
      EXPECT_TRUE(Serials.insert(Serial).second) << Serial << " went to two chips";
    }
  }
  EXPECT_EQ(Serials, (std::set<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(ReadTextFile(FSerial), "8\n");
  for (size_t Board = 1; Board <= 3; ++Board) {
    const std::string Port = FBoards[Board - 1]->DevicePath();
    EXPECT_NE(Run.Err.find("board " + std::to_string(Board) + ": " + Port + ": 89C52\n"),
              std::string::npos)
        << Run.Err;
    EXPECT_NE(Run.Out.find("board " + std::to_string(Board) + " (" + Port +
                           "): " + (Board == 2 ? "3" : "2") +
                           " programmed, 0 failed, 0 skipped; interrupted: between chips"),
              std::string::npos)
        << Run.Out;
    // Each board was left at its prompt.
    EXPECT_EQ(RunCli({"detect", "-p", Port}, "").Out, Port + ": 89C52\n");
  }
  EXPECT_TRUE(Run.Out.ends_with("all boards: 7 programmed, 0 failed, 0 skipped\n")) << Run.Out;
}

TEST_F(CliSeveralBoards, AFailingBoardAndALostOneHoldTheOthersNotBackAndNoNumberGoesTwice) {
  sim::TBoardSimOptions Failing;
  Failing.EraseTries = 100;
  sim::TBoardSimOptions Lost;
  Lost.HangUpAtWriteByte = 50;
  StartBoards({{}, Failing, Lost});
  std::vector<std::string> More = Records;
  More.push_back("--json");
  auto Cli = StartCli(Args(More), "");
  ASSERT_TRUE(Cli->Await("\"event\":\"summary\",\"board\":3"));
  ASSERT_TRUE(AwaitRecords(3));
  Swap({1, 2});
  ASSERT_TRUE(AwaitRecords(5));
  Swap({1});
  ASSERT_TRUE(AwaitRecords(6));
  Cli->Signal(SIGINT);
  const TProcessResult Run = Cli->Finish();
  EXPECT_EQ(Run.ExitCode, 3) << "a board was lost\n" << Run.Err;

  std::map<int, std::vector<std::pair<int, bool>>> ByBoard = SerialsByBoard();
  EXPECT_EQ(ByBoard[1].size(), 3u);
  EXPECT_EQ(ByBoard[2].size(), 2u);
  EXPECT_EQ(ByBoard[3].size(), 1u);
  std::set<int> Used;
  for (const auto& [Serial, Ok] : ByBoard[1]) {
    EXPECT_TRUE(Ok);
    EXPECT_TRUE(Used.insert(Serial).second) << Serial << " went to two chips";
  }
  for (const int Board : {2, 3}) {
    EXPECT_FALSE(ByBoard[Board][0].second) << "board " << Board;
  }
  const std::vector<std::string> Events = Lines(Run.Out);
  EXPECT_NE(
      Run.Out.find("\"event\":\"summary\",\"board\":3,\"port\":\"" + FBoards[2]->DevicePath() +
                   "\",\"programmed\":0,\"failed\":1,\"skipped\":0,\"ended\":\"the "
                   "programmer board is gone from "),
      std::string::npos)
      << Run.Out;
  EXPECT_TRUE(
      Events.back().starts_with("{\"event\":\"summary\",\"command\":\"program\",\"exit\":3"))
      << Events.back();
  EXPECT_NE(Events.back().find("\"boards\":3,\"programmed\":3,\"failed\":3,\"skipped\":0"),
            std::string::npos)
      << Events.back();
  EXPECT_NE(Run.Err.find("error: the programmer board is gone from " + FBoards[2]->DevicePath() +
                         " (board 3)"),
            std::string::npos)
      << Run.Err;
}

TEST_F(CliSeveralBoards, The2051BoardsWaitForTheEnterThatNamesThem) {
  sim::TBoardSimOptions Board2051;
  Board2051.Chip = "89C2051";
  StartBoards({Board2051, Board2051});
  std::string Line = "(sleep 3; echo; sleep 1; echo 2; sleep 3; echo 1; sleep 3) | " + CliPath();
  for (const std::string& Arg : Args({})) {
    Line += " '" + Arg + "'";
  }
  TProcessOptions Options;
  Options.Env["KORVANE_PORTS"] = "";
  const TProcessResult Run = RunProcess("/bin/sh", {"-c", Line}, Options);
  EXPECT_EQ(Run.ExitCode, 130) << Run.Err;
  EXPECT_NE(Run.Err.find("boards 1, 2 are waiting: type the number of the board"),
            std::string::npos)
      << Run.Err;
  const size_t Second = Run.Out.find("board 2 (" + FBoards[1]->DevicePath() + "): chip 2: OK");
  const size_t First = Run.Out.find("board 1 (" + FBoards[0]->DevicePath() + "): chip 2: OK");
  ASSERT_NE(Second, std::string::npos) << Run.Out;
  ASSERT_NE(First, std::string::npos) << Run.Out;
  EXPECT_LT(Second, First) << "board 2 was named first";
  EXPECT_NE(Run.Out.find("interrupted: the input ended between chips"), std::string::npos);
}

TEST_F(CliSeveralBoards, TheBoardsFoundMustAllAnswerAndHoldOneKindOfChip) {
  sim::TBoardSimOptions Silent;
  Silent.Silent = true;
  sim::TBoardSimOptions Other;
  Other.Chip = "89C51";
  StartBoards({{}, Silent, {}, Other});
  const std::string Ports[] = {FBoards[0]->DevicePath(), FBoards[1]->DevicePath(),
                               FBoards[2]->DevicePath(), FBoards[3]->DevicePath()};
  const struct {
    std::vector<std::string> Choice;
    std::string Error;
  } Refusals[] = {
      {{"-p", Ports[0], "-p", Ports[3]},
       "error: board 2 on " + Ports[3] + " holds an 89C51, board 1 on " + Ports[0] +
           " an 89C52: a run programs one kind of chip\n"},
      {{"-p", Ports[0], "-p", Ports[1]}, "error: no programmer board found on " + Ports[1] + "\n"},
  };
  for (const auto& Case : Refusals) {
    std::vector<std::string> Args{"program", Blink, "--repeat"};
    Args.insert(Args.end(), Case.Choice.begin(), Case.Choice.end());
    const TProcessResult Run = RunCli(Args, "");
    EXPECT_EQ(Run.ExitCode, 3) << Run.Err;
    EXPECT_NE(Run.Err.find(Case.Error), std::string::npos) << Run.Err;
  }
  EXPECT_EQ(FBoards[0]->Flash()[0], 0xFF) << "no chip was written";

  // --all-boards passes over the port where nothing answers.
  auto Cli = StartCli({"program", Blink, "--repeat", "--all-boards", "--json"},
                      Ports[1] + ":" + Ports[0] + ":" + Ports[2]);
  ASSERT_TRUE(Cli->Await("\"board\":2,\"port\":\"" + Ports[2] + "\"")) << Cli->Finish().Err;
  Cli->Signal(SIGINT);
  const TProcessResult Run = Cli->Finish();
  EXPECT_EQ(Run.ExitCode, 130) << Run.Err;
  EXPECT_NE(Run.Out.find("{\"event\":\"chip\",\"board\":1,\"port\":\"" + Ports[0]),
            std::string::npos)
      << Run.Out;
  EXPECT_EQ(Run.Out.find("\"board\":3"), std::string::npos) << Run.Out;
}

// A second Ctrl-C abandons every board in its stream, whichever thread it
// lands on, and every board's chip still gets its record.
TEST_F(CliSeveralBoards, ASecondStopAbandonsEveryBoardAndKeepsEveryRecord) {
  sim::TBoardSimOptions Paced;
  Paced.Realtime = true;
  StartBoards({Paced, Paced});
  std::vector<std::string> More = Records;
  More.push_back("--json");
  auto Cli = StartCli(Args(More), "");
  const TProcessResult Run = StopTwiceMidWrite(*Cli);
  EXPECT_EQ(Run.ExitCode, 130) << Run.Err;
  EXPECT_NE(Run.Err.find("Interrupted again: the board is abandoned in its stream"),
            std::string::npos)
      << Run.Err;
  const std::vector<std::string> Logged = Lines(ReadTextFile(FLog));
  ASSERT_EQ(Logged.size(), 2u);
  for (const std::string& Record : Logged) {
    EXPECT_NE(Record.find("\"error\":\"abandoned in its stream by a second stop"),
              std::string::npos)
        << Record;
  }
  EXPECT_EQ(ReadTextFile(FSerial), "1\n") << "both numbers went back: neither reached its place";
}

// The screen alone: what each mode makes of the same events.
TEST(BoardScreen, DrawsRowsInPlaceOrLinesOrEventsNamedByBoard) {
  cli::TChipReport Ok;
  Ok.Result = cli::TChipReport::TResult::Ok;
  Ok.ChipNo = 4;
  Ok.Seconds = 9.04;
  Ok.Status = "Complete!";
  const struct {
    cli::TScreenMode Mode;
    const char* Out;
    const char* Err;
  } Cases[] = {
      {cli::TScreenMode::Lines, "board 2 (B): Writing...\nboard 2 (B): chip 4: OK in 9.0 s\n",
       "board 1 (A): note: slow\n"},
      {cli::TScreenMode::Quiet, "board 2 (B): chip 4: OK in 9.0 s\n", ""},
      {cli::TScreenMode::Json,
       "{\"event\":\"status\",\"board\":2,\"port\":\"B\",\"text\":\"Writing...\"}\n"
       "{\"event\":\"progress\",\"board\":2,\"port\":\"B\",\"phase\":\"write\",\"done\":50,"
       "\"total\":200}\n"
       "{\"event\":\"result\",\"command\":\"program\",\"chip_no\":4,\"exit\":0,\"status\":"
       "\"Complete!\",\"seconds\":9.0,\"board\":2,\"port\":\"B\"}\n",
       "board 1 (A): note: slow\n"},
  };
  for (const auto& Case : Cases) {
    std::ostringstream Out;
    std::ostringstream Err;
    cli::TBoardScreen Screen(Case.Mode, Out, Err, {"A", "B"});
    Screen.Status(2, "Writing...");
    Screen.Progress(2, "write", 50, 200);
    Screen.ChipEnded(2, Ok);
    Screen.Say(1, "note", "slow");
    EXPECT_EQ(Out.str(), Case.Out);
    EXPECT_EQ(Err.str(), Case.Err);
  }

  std::ostringstream Terminal;
  std::ostringstream Err;
  cli::TBoardScreen Screen(cli::TScreenMode::InPlace, Terminal, Err, {"A", "B"}, [] { return 40; });
  Screen.ChipStarted(2, 4);
  Screen.Status(2, "Writing...");
  Screen.Progress(2, "write", 50, 200);
  Screen.ChipEnded(2, Ok);
  Screen.Say(1, "note", "slow");
  Screen.Close();
  const std::string Drawn = Terminal.str();
  // The last picture: two rows and the totals, each within 39 columns.
  const size_t Last = Drawn.rfind("\x1b[3A");
  ASSERT_NE(Last, std::string::npos) << Drawn;
  EXPECT_EQ(Drawn.substr(Last),
            "\x1b[3A\r\x1b[2Kboard 1  A\n"
            "\r\x1b[2Kboard 2  B  chip 4    Writing...  | las\n"
            "\r\x1b[2Kall boards: 1 programmed, 0 failed, 0 s\n");
  EXPECT_NE(Drawn.find("board 2  B  chip 4    Writing... 25%"), std::string::npos) << Drawn;
  // The note went to Err with the rows taken off the terminal first.
  EXPECT_EQ(Err.str(), "board 1 (A): note: slow\n");
  EXPECT_NE(Drawn.find("\x1b[3A\r\x1b[J"), std::string::npos);
}

}  // namespace
}  // namespace korvane::test
