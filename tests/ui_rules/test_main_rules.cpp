// The window's rules through a recording face, against the virtual board:
// the poll that finds a chip and loses it, the 89C2051/4051's code-memory
// choice, Send and Read with their statuses, a cancelled dialog, a stop, a
// close refused mid-workflow, a board lost mid-write, the failures that end
// as a status or a box, and the note on ports that could not be opened.
//
// The boards are the board model on an in-process line handed to the rules'
// link (ModelBoard.h), so the same cases run alike in every build, the
// Windows one under wine included.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <memory>

#ifdef _WIN32
#include <windows.h>

#include "win32/URegistryPorts.h"
#endif

#include "ModelBoard.h"
#include "RecordingView.h"
#include "TestFiles.h"
#include "UBoardSearchNote.h"
#include "UBoxAdvice.h"
#include "UHexFile.h"
#include "UMain.h"
#include "UPortAccess.h"
#ifndef _WIN32
#include "UBoardSim.h"
#endif

namespace korvane::test {
namespace {

sim::TBoardSimOptions BoardWith(const std::string& Chip) {
  sim::TBoardSimOptions Options;
  Options.Chip = Chip;
  return Options;
}

class MainRulesTest : public ::testing::Test {
 protected:
  MainRulesTest()
      : Rules(
            View, [this](std::vector<std::string>& List) { List = Ports; }, &Line) {
    Rules.FormCreate();
  }
  ~MainRulesTest() override { Rules.FormDestroy(); }

  // A board with Options, the only port the poll scans.
  void Plug(const sim::TBoardSimOptions& Options) {
    Board = std::make_unique<TModelBoard>(Line, Options);
    Ports = {Board->Port()};
  }
  void Unplug() { Board.reset(); }
  // A board with Options, found by a poll.
  void Connect(const sim::TBoardSimOptions& Options) {
    Plug(Options);
    Rules.Timer1Timer();
    ASSERT_NE(Rules.TargetChip(), chipNone);
  }

  // A sample file: a block at 0 and a short one further up, FF between them.
  std::string WriteSample(size_t FirstBlock = 1024) {
    std::vector<uint8_t> Bytes = PatternBytes(0x1800 + 20, 3);
    std::fill(Bytes.begin() + static_cast<long>(FirstBlock), Bytes.begin() + 0x1800, 0xFF);
    const std::string Path = Dir.File("sample.hex");
    WriteHexFile(Path, Bytes);
    return Path;
  }
  void Send(const std::string& Path) {
    View.OnAskFileName = [Path] { return Path; };
    Rules.btnSendClick();
  }
  void Read(const std::string& Path) {
    View.OnAskFileName = [Path] { return Path; };
    Rules.BtnReadClick();
  }
  bool StatusSeen(const std::string& Text) const {
    return std::find(View.Statuses.begin(), View.Statuses.end(), Text) != View.Statuses.end();
  }
  // Ready for the next click: nothing running, the cursor and input back.
  void ExpectSettled() const {
    EXPECT_FALSE(Rules.Busy());
    EXPECT_FALSE(Rules.OperationRunning());
    EXPECT_EQ(View.CursorDepth, 0);
    EXPECT_FALSE(View.InputHeld);
  }

  TTempDir Dir;
  TRecordingView View;
  std::vector<std::string> Ports;
  TModelLine Line;
  TFrmMain Rules;
  std::unique_ptr<TModelBoard> Board;
};

struct TChipCase {
  const char* SimChip;
  const char* Label;
  bool MemSizeChoice;
  uint16_t Size;
};

class PollRules : public MainRulesTest, public ::testing::WithParamInterface<TChipCase> {};

TEST_P(PollRules, FindsTheChipShowsItAndForgetsItWithItsBoard) {
  const TChipCase& Case = GetParam();
  EXPECT_TRUE(View.PollTimerRunning);
  Connect(BoardWith(Case.SimChip));

  EXPECT_EQ(View.ChipLabel, Case.Label);
  EXPECT_EQ(View.ChipToolTip, "Found on " + Rules.Port().Port());
  EXPECT_TRUE(View.Enabled[TMainControl::btnSend]);
  EXPECT_TRUE(View.Enabled[TMainControl::BtnRead]);
  EXPECT_EQ(View.MemSizeChoiceShown, Case.MemSizeChoice);
  // The 89C2051/4051 has no checksum command.
  EXPECT_EQ(View.Enabled[TMainControl::chkFastVerify], !Case.MemSizeChoice);
  EXPECT_EQ(Rules.StatusText(), "");
  EXPECT_EQ(Rules.SourceImage().Size(), Case.Size);
  EXPECT_EQ(Rules.ChipImage().Size(), Case.Size);
  EXPECT_TRUE(View.Errors.empty());
  EXPECT_TRUE(View.PollTimerRunning);

  // The board is pulled: the next poll clears the name, the buttons and the
  // choice; polling goes on and shows no further error.
  Unplug();
  Rules.Timer1Timer();
  EXPECT_EQ(View.ChipLabel, "");
  EXPECT_FALSE(View.Enabled[TMainControl::btnSend]);
  EXPECT_FALSE(View.Enabled[TMainControl::BtnRead]);
  EXPECT_FALSE(View.MemSizeChoiceShown);
  EXPECT_LE(View.Errors.size(), 1U);
  // Where the dead line raised (wine's), the box says what happened.
  for (const std::string& Box : View.Errors) {
    EXPECT_NE(Box.find("\n\n" + LostIdleBoardAdvice()), std::string::npos) << Box;
  }
  const size_t ErrorsBefore = View.Errors.size();
  Rules.Timer1Timer();
  EXPECT_EQ(Rules.TargetChip(), chipNone);
  EXPECT_EQ(View.Errors.size(), ErrorsBefore);
  EXPECT_TRUE(View.PollTimerRunning);
  ExpectSettled();
}

INSTANTIATE_TEST_SUITE_P(Chips, PollRules,
                         ::testing::Values(TChipCase{"89C51", "89C51", false, 4096},
                                           TChipCase{"89C52", "89C52", false, 8192},
                                           TChipCase{"89LV55", "89LV55", false, 20480},
                                           TChipCase{"89C2051", "89C2051/4051", true, 2048}),
                         [](const auto& Info) { return std::string(Info.param.SimChip); });

TEST_F(MainRulesTest, WithNoPortThePollSaysSoAndFindsNothing) {
  Rules.Timer1Timer();
  EXPECT_EQ(Rules.StatusText(), "Available port not found!");
  EXPECT_EQ(View.PortNote, "");
  EXPECT_TRUE(View.Errors.empty());
  EXPECT_TRUE(View.PollTimerRunning);
}

// A board switched off, or on but silent: the note names the ports tried and
// says that none answered, until a board does.
TEST_F(MainRulesTest, PortsWhereNoBoardAnsweredAreNamedUntilOneAnswers) {
  sim::TBoardSimOptions Silent = BoardWith("89C52");
  Silent.Silent = true;
  Plug(Silent);
  const std::string SilentPort = Board->Port();
  Rules.Timer1Timer();
  EXPECT_EQ(Rules.TargetChip(), chipNone);
  EXPECT_EQ(View.PortNote, BoardSearchNote({SilentPort}, {}, false));
  EXPECT_EQ(View.PortNote,
            "Tried " + SilentPort + ": no board answered; check the board's power and its cable");
  EXPECT_TRUE(View.Errors.empty());

  std::unique_ptr<TModelBoard> SilentBoard = std::move(Board);
  Plug(BoardWith("89C52"));
  Ports = {SilentPort, Board->Port()};
  Rules.Timer1Timer();
  EXPECT_EQ(Rules.TargetChip(), chip89C52);
  EXPECT_EQ(View.PortNote, "");
}

#ifdef _WIN32
// A machine with no serial port has no device map in the registry: the polls
// go on quietly, and the port of a USB adapter plugged in later is found.
TEST_F(MainRulesTest, WithoutTheRegistryDeviceMapThePollGoesOnUntilAPortComes) {
  const std::string Key = "Software\\KorvaneRulesTest-" + std::to_string(GetCurrentProcessId());
  RegDeleteTreeA(HKEY_CURRENT_USER, Key.c_str());
  Rules.SetPortListSource([&Key](std::vector<std::string>& List) {
    ListSerialPortsFrom(HKEY_CURRENT_USER, Key, List);
  });
  Rules.Timer1Timer();
  EXPECT_TRUE(View.Errors.empty());
  EXPECT_EQ(Rules.StatusText(), "Available port not found!");
  EXPECT_TRUE(View.PollTimerRunning);

  Plug(BoardWith("89C52"));
  HKEY Map = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &Map, nullptr),
            ERROR_SUCCESS);
  const std::string Port = Board->Port();
  RegSetValueExA(Map, "\\Device\\VCP0", 0, REG_SZ, reinterpret_cast<const BYTE*>(Port.c_str()),
                 static_cast<DWORD>(Port.size() + 1));
  RegCloseKey(Map);
  Rules.Timer1Timer();
  RegDeleteTreeA(HKEY_CURRENT_USER, Key.c_str());
  EXPECT_EQ(Rules.TargetChip(), chip89C52);
  EXPECT_TRUE(View.Errors.empty());
}
#endif

TEST_F(MainRulesTest, The2051CodeMemoryChoiceSizesTheImagesAndTheRead) {
  sim::TBoardSimOptions Options = BoardWith("89C2051");
  Options.Size2051 = 4096;
  Connect(Options);
  std::vector<uint8_t> Flash = PatternBytes(4096, 7);
  Board->SetFlash(Flash);

  View.MemSizeItem = 1;
  Rules.rdoMemSizeClick();
  EXPECT_EQ(Rules.SourceImage().Size(), 4096);
  EXPECT_EQ(Rules.ChipImage().Size(), 4096);
  Read(Dir.File("4k.hex"));
  EXPECT_EQ(Rules.StatusText(), "Complete!");
  EXPECT_EQ(LoadHexFile(Dir.File("4k.hex"), 4096), Flash);

  View.MemSizeItem = 0;
  Rules.rdoMemSizeClick();
  EXPECT_EQ(Rules.ChipImage().Size(), 2048);
  // Fast Verify ticked is no checksum for this chip: it is read back.
  View.FastVerify = true;
  WriteHexFile(Dir.File("small.hex"), PatternBytes(600, 5));
  Send(Dir.File("small.hex"));
  EXPECT_EQ(Rules.StatusText(), "Complete!");
  EXPECT_TRUE(StatusSeen("Verify..."));
  EXPECT_FALSE(StatusSeen("Fast Verify..."));
}

TEST_F(MainRulesTest, SendProgramsTheFileAndReadSavesAnEqualFile) {
  Connect(BoardWith("89C52"));
  const std::string Sample = WriteSample();
  // A tick inside the file dialog sends nothing to the board.
  size_t SentDuringTick = 1;
  View.OnAskFileName = [&] {
    const size_t Before = Board->ReceivedBytes().size();
    Rules.Timer1Timer();
    SentDuringTick = Board->ReceivedBytes().size() - Before;
    return Sample;
  };
  Rules.btnSendClick();

  EXPECT_EQ(SentDuringTick, 0U);
  EXPECT_EQ(Rules.StatusText(), "Complete!");
  EXPECT_TRUE(View.Errors.empty());
  const std::vector<uint8_t> Expected = LoadHexFile(Sample, 8192);
  EXPECT_EQ(Board->Flash(), Expected);
  EXPECT_TRUE(StatusSeen("Writing... [" + std::to_string(0x1800 + 20) + " Bytes]"));
  EXPECT_EQ(View.ProgressPosition, 0);
  ExpectSettled();

  // The save dialog starts where the file to program was chosen.
  const std::string Saved = Dir.File("readback.hex");
  Read(Saved);
  EXPECT_EQ(View.StartFolders, (std::vector<std::string>{"", Dir.Path()}));
  EXPECT_EQ(Rules.StatusText(), "Complete!");
  EXPECT_TRUE(View.Errors.empty());
  EXPECT_EQ(LoadHexFile(Saved, 8192), Expected);
  ExpectSettled();
}

TEST_F(MainRulesTest, FastVerifyAndLockAsTicked) {
  Connect(BoardWith("89C52"));
  View.FastVerify = true;
  View.Lock = true;
  Send(WriteSample(256));

  EXPECT_EQ(Rules.StatusText(), "Complete!");
  EXPECT_TRUE(StatusSeen("Fast Verify..."));
  EXPECT_FALSE(StatusSeen("Verify..."));
  EXPECT_TRUE(StatusSeen("Verify Locked code"));
  EXPECT_TRUE(Board->Locked());
}

TEST_F(MainRulesTest, ACancelledDialogChangesNothing) {
  Connect(BoardWith("89C52"));
  const size_t Sent = Board->ReceivedBytes().size();
  const size_t Statuses = View.Statuses.size();
  Rules.btnSendClick();
  Rules.BtnReadClick();
  EXPECT_EQ(Board->ReceivedBytes().size(), Sent);
  EXPECT_EQ(View.Statuses.size(), Statuses);
  EXPECT_TRUE(View.Errors.empty());
  EXPECT_TRUE(View.StartFolders.back().empty());
  ExpectSettled();
}

struct TBadFileCase {
  const char* Name;
  const char* SimChip;
  std::string Text;
  // The box: the message with its full stop, then the advice naming FILE.
  const char* Box;
};

class BadFileRules : public MainRulesTest, public ::testing::WithParamInterface<TBadFileCase> {};

TEST_P(BadFileRules, IsShownWithItsAdviceAndSendsNothing) {
  const TBadFileCase& Case = GetParam();
  Connect(BoardWith(Case.SimChip));
  const std::vector<uint8_t> Flash = Board->Flash();
  const std::string File = Dir.File("bad.hex");
  WriteTextFile(File, Case.Text);
  const size_t Sent = Board->ReceivedBytes().size();
  const size_t Statuses = View.Statuses.size();
  Send(File);

  std::string Box = Case.Box;
  for (size_t At; (At = Box.find("FILE")) != std::string::npos;) {
    Box.replace(At, 4, File);
  }
  // The box may go on with what applies on this system alone.
  ASSERT_EQ(View.Errors.size(), 1U);
  EXPECT_EQ(View.Errors[0].substr(0, Box.size()), Box) << View.Errors[0];
  EXPECT_EQ(Board->ReceivedBytes().size(), Sent);
  EXPECT_EQ(Board->Flash(), Flash);
  EXPECT_EQ(View.Statuses.size(), Statuses);
  EXPECT_TRUE(View.Enabled[TMainControl::btnSend]);
  ExpectSettled();
}

std::string HexLines(const std::vector<uint8_t>& Bytes) {
  const std::string Path = std::filesystem::temp_directory_path().string() + "/korvane-lines.hex";
  WriteHexFile(Path, Bytes);
  std::string Text = ReadTextFile(Path);
  std::filesystem::remove(Path);
  return Text;
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadFileRules,
    ::testing::Values(
        TBadFileCase{"Checksum", "89C52", ":0100000042BC\r\n:00000001FF\r\n",
                     "Checksum error at line:1."},
        // Empty: programming it would erase the chip for nothing.
        TBadFileCase{"Empty", "89C52", "",
                     "No HEX record in file.\n\nFILE holds no Intel HEX record at all: it is "
                     "empty, or not the HEX file that an assembler or compiler wrote."},
        TBadFileCase{"BeyondTheChosen2KB", "89C2051", HexLines(PatternBytes(4096, 5)),
                     "Exceed Memory Size[Target:800 Size:800].\n\nFILE has data up to "
                     "0x0FFF; the 89C2051/4051 at 2KB holds 0x0000-0x07FF (2048 bytes).\nAn "
                     "89C4051 holds 4KB: choose 4KB under Code Memory."},
        TBadFileCase{"ExtendedAddress", "89C52",
                     ":020000040000FA\r\n:0400000001020304F2\r\n:00000001FF\r\n",
                     "Non subport block type at line:1.\n\nLine 1 is an extended linear "
                     "address record (type 04), which sets the upper 16 bits of the addresses "
                     "after it; these chips take 16-bit addresses and data records only.\n"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(MainRulesTest, CloseIsRefusedMidWorkflowAndTheOutcomeIsShownAgain) {
  Connect(BoardWith("89C52"));
  const std::string Sample = WriteSample();
  bool ClosedInDialog = true;
  bool ClosedMidWrite = true;
  std::string StatusAfterRefusal;
  View.OnAskFileName = [&] {
    ClosedInDialog = Rules.CloseQuery();
    return Sample;
  };
  View.OnProgressPosition = [&](int Position) {
    if (Position == 100 && Rules.Busy()) {
      ClosedMidWrite = Rules.CloseQuery();
      StatusAfterRefusal = Rules.StatusText();
    }
  };
  Rules.btnSendClick();

  EXPECT_FALSE(ClosedInDialog);
  EXPECT_FALSE(ClosedMidWrite);
  EXPECT_EQ(StatusAfterRefusal, BusyStatus);
  EXPECT_EQ(Rules.StatusText(), "Complete!");
  EXPECT_EQ(Board->Flash(), LoadHexFile(Sample, 8192));
  EXPECT_TRUE(Rules.CloseQuery());
}

TEST_F(MainRulesTest, AStopDuringAWriteFinishesItWithFFAndLeavesTheBoardAtItsPrompt) {
  Connect(BoardWith("89C52"));
  const std::string Sample = WriteSample();
  bool Stop = false;
  Rules.SetStopRequest([&Stop] { return Stop; });
  View.OnProgressPosition = [&](int Position) { Stop = Stop || Position == 100; };
  Send(Sample);

  EXPECT_TRUE(Rules.Link().LastOutcome().Interrupted);
  EXPECT_EQ(Rules.Link().LastOutcome().Step, TStep::stepWrite);
  EXPECT_NE(Rules.StatusText(), "Complete!");
  const std::vector<uint8_t> Flash = Board->Flash();
  const std::vector<uint8_t> Image = LoadHexFile(Sample, 8192);
  const uint32_t Written = Rules.Link().ChipProgress().Written;
  EXPECT_EQ(Written, 101U);
  for (size_t Address = 0; Address < Flash.size(); ++Address) {
    ASSERT_EQ(Flash[Address], Address < Written ? Image[Address] : 0xFF) << Address;
  }
  EXPECT_TRUE(View.Errors.empty());
  ExpectSettled();
  Rules.SetStopRequest(nullptr);
  Rules.Timer1Timer();
  EXPECT_EQ(Rules.TargetChip(), chip89C52) << "the board answers the next poll";
}

TEST_F(MainRulesTest, ABoardLostMidWriteIsOneBoxAndIsFoundAgain) {
  sim::TBoardSimOptions Options = BoardWith("89C52");
  Options.HangUpAtWriteByte = 100;
  Connect(Options);
  // Under the box, the poll ticks on: it must neither open a box of its own
  // nor fail on the dead port.
  uint8_t ChipUnderTheBox = 0xFF;
  bool PortOpenUnderTheBox = true;
  bool SendEnabledUnderTheBox = true;
  std::string StatusUnderTheBox;
  View.WhileErrorShown = [&] {
    ChipUnderTheBox = Rules.TargetChip();
    PortOpenUnderTheBox = Rules.Port().Connected();
    SendEnabledUnderTheBox = View.Enabled[TMainControl::btnSend];
    StatusUnderTheBox = Rules.StatusText();
    Rules.Timer1Timer();
    View.WhileErrorShown = nullptr;
  };
  std::vector<uint8_t> Bytes = PatternBytes(600, 1);
  WriteHexFile(Dir.File("sample.hex"), Bytes);
  Send(Dir.File("sample.hex"));

  // One box: the port's error (the read of the next DC1 after byte 100),
  // then what the chip holds.
  ASSERT_EQ(View.Errors.size(), 1U);
  EXPECT_EQ(View.Errors.front(),
            std::string(EComPort(ecReadFailed, TModelLine::LostError).what()) +
                "\n\nThe chip is partly written (100 of 600 bytes). Reconnect the board and press "
                "Send again.");
  EXPECT_EQ(StatusUnderTheBox, "Writing... [600 Bytes]");
  EXPECT_EQ(ChipUnderTheBox, chipNone);
  EXPECT_FALSE(PortOpenUnderTheBox);
  EXPECT_FALSE(SendEnabledUnderTheBox);
  ExpectSettled();

  Plug(BoardWith("89C52"));
  Rules.Timer1Timer();
  EXPECT_EQ(Rules.TargetChip(), chip89C52);
  EXPECT_EQ(View.Errors.size(), 1U);
}

struct TFailureCase {
  const char* Name;
  void (*Fault)(sim::TBoardSimOptions&);
  bool Send;
  const char* Error;
  const char* Message;
};

class FailureRules : public MainRulesTest, public ::testing::WithParamInterface<TFailureCase> {};

// Each failure ends as the status line or one box, and a file already on disk
// is not harmed.
TEST_P(FailureRules, EndsAsAStatusOrABoxAndLeavesTheFileAlone) {
  const TFailureCase& Case = GetParam();
  sim::TBoardSimOptions Options = BoardWith("89C52");
  Case.Fault(Options);
  Connect(Options);
  std::string Target = Dir.File("firmware.hex");
  const std::vector<uint8_t> Before = PatternBytes(600, 2);
  WriteHexFile(Target, Before);
  if (std::string(Case.Name) == "UnsavableRead") {
    Target = Dir.File("no-such-folder/readback.hex");
  }
  Case.Send ? Send(Target) : Read(Target);

  EXPECT_NE(Rules.StatusText(), "Complete!");
  EXPECT_EQ(View.Errors, Case.Error != nullptr ? std::vector<std::string>{Case.Error}
                                               : std::vector<std::string>{});
  EXPECT_EQ(View.Messages, Case.Message != nullptr ? std::vector<std::string>{Case.Message}
                                                   : std::vector<std::string>{});
  EXPECT_EQ(LoadHexFile(Dir.File("firmware.hex"), 8192), [&] {
    std::vector<uint8_t> Image(8192, 0xFF);
    std::copy(Before.begin(), Before.end(), Image.begin());
    return Image;
  }());
  EXPECT_FALSE(std::filesystem::exists(Dir.File("no-such-folder")));
  EXPECT_TRUE(View.Enabled[TMainControl::btnSend]);
  EXPECT_EQ(View.ProgressPosition, 0) << "the bar stays where the run failed";
  ExpectSettled();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailureRules,
    ::testing::Values(TFailureCase{"VerifyFailure",
                                   [](sim::TBoardSimOptions& O) { O.CorruptByteAt = 321; }, true,
                                   nullptr, nullptr},
                      TFailureCase{"WrongReadEcho",
                                   [](sim::TBoardSimOptions& O) { O.WrongReadEcho = 'x'; }, false,
                                   nullptr, "x"},
                      TFailureCase{"UnsavableRead", [](sim::TBoardSimOptions&) {}, false,
                                   "File not found.", nullptr}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// Run as the user nobody, for whom a device's mode counts: a port that cannot
// be opened is named on the port note with its reason and the fix, beside
// the status, and the note goes once a board is found.
TEST(PortNoteRules, NamesARefusedPortWithItsFixUntilABoardIsFound) {
#ifdef _WIN32
  GTEST_SKIP() << "a port refused by its file mode, and the group that fixes it, are POSIX's";
#else
  int Master = -1;
  int Slave = -1;
  char Name[128] = {};
  ASSERT_EQ(openpty(&Master, &Slave, Name, nullptr, nullptr), 0);
  ASSERT_EQ(chmod(Name, 0), 0);
  int Pipe[2];
  ASSERT_EQ(pipe(Pipe), 0);
  const pid_t Child = fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    close(Pipe[0]);
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(2);
    }
    TRecordingView View;
    std::vector<std::string> Ports = {Name};
    TFrmMain Rules(View, [&Ports](std::vector<std::string>& List) { List = Ports; });
    Rules.FormCreate();
    Rules.Timer1Timer();
    std::string Report = Rules.StatusText() + "\n" + View.PortNote + "\n";
    sim::TBoardSim Board(BoardWith("89C52"));
    Board.Start();
    Ports.push_back(Board.DevicePath());
    Rules.Timer1Timer();
    Report += ChipName(Rules.TargetChip()) + "\n" + View.PortNote + "\n";
    const bool Written =
        write(Pipe[1], Report.data(), Report.size()) == static_cast<ssize_t>(Report.size());
    _exit(Written ? 0 : 3);
  }
  close(Pipe[1]);
  std::string Report;
  char Buffer[512];
  for (ssize_t Got; (Got = read(Pipe[0], Buffer, sizeof Buffer)) > 0;) {
    Report.append(Buffer, static_cast<size_t>(Got));
  }
  close(Pipe[0]);
  int Status = 0;
  ASSERT_EQ(waitpid(Child, &Status, 0), Child);
  close(Slave);
  close(Master);
  ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status;

  const std::string Note = "Cannot open " + std::string(Name) +
                           " (Permission denied). hint: " + Name +
                           " is open to its owner 'root' only (mode 000): " + OwnerOnlyFix(Name);
  EXPECT_EQ(Report, "Available port not found!\n" + Note + "\n89C52\n\n");
#endif
}

TEST(ErrorBoxText, AppendsAFullStopAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(ErrorBoxText("Checksum error at line:3"), "Checksum error at line:3.");
  EXPECT_EQ(ErrorBoxText("File not found"), "File not found.");
  EXPECT_EQ(ErrorBoxText("Registry error (2)"), "Registry error (2)");
  EXPECT_EQ(ErrorBoxText("Already ends."), "Already ends.");
  EXPECT_EQ(ErrorBoxText("Erase Failed!"), "Erase Failed!");
  EXPECT_EQ(ErrorBoxText("Größe"), "Größe.");
  EXPECT_EQ(ErrorBoxText(""), "");
}

}  // namespace
}  // namespace korvane::test
