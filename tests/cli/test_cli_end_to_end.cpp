// korvane-cli as a user runs it: the program under test as a child process,
// talking to a virtual board served from this process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "CliTestSupport.h"
#include "UBoardSim.h"
#include "UPortAccess.h"

namespace korvane::test {
namespace {

using StatusLines = std::vector<std::string>;

// What the window's poll sends the board: a carriage return for the banner
// and "p" for the chip's signature.
const char* const CPollBytes = "\rp";

sim::TBoardSimOptions Board(const std::string& Chip = "89C52") {
  sim::TBoardSimOptions Options;
  Options.Chip = Chip;
  return Options;
}

class CliEndToEnd : public ::testing::Test {
 protected:
  // Starts a virtual board; its device is then the only port the CLI sees.
  void StartBoard(sim::TBoardSimOptions Options) {
    FBoard = std::make_unique<sim::TBoardSim>(std::move(Options));
    FBoard->Start();
  }
  const std::string& Device() const { return FBoard->DevicePath(); }
  sim::TBoardSim& Sim() { return *FBoard; }
  TProcessResult Cli(const std::vector<std::string>& Args, TProcessOptions Options = {}) {
    return RunCli(Args, Device(), std::move(Options));
  }
  bool BoardErased() const { return FBoard->ReceivedBytes().find('e') != std::string::npos; }

  TTempDir FDir;
  std::string Blink = ExampleFile("blink/blink.hex");
  std::string Big = ExampleFile("big/big.hex");

 private:
  std::unique_ptr<sim::TBoardSim> FBoard;
};

// The lines of Out without the last, which must be the summary of a run that
// succeeded: Done, " in " the seconds with tenths, " s (" Detail ")".
StatusLines WithSummary(const std::string& Out, const std::string& Done,
                        const std::string& Detail) {
  StatusLines All = Lines(Out);
  if (All.empty()) {
    ADD_FAILURE() << "no output";
    return All;
  }
  const std::string Last = All.back();
  const std::string Head = Done + " in ";
  const std::string Tail = " s (" + Detail + ")";
  const bool Framed =
      Last.starts_with(Head) && Last.ends_with(Tail) && Last.size() > Head.size() + Tail.size();
  const std::string Seconds =
      Framed ? Last.substr(Head.size(), Last.size() - Head.size() - Tail.size()) : "";
  EXPECT_TRUE(Framed && Seconds.size() >= 3 && Seconds[Seconds.size() - 2] == '.' &&
              Seconds.find_first_not_of("0123456789.") == std::string::npos)
      << Last;
  All.pop_back();
  return All;
}

std::vector<uint8_t> Prefix(const std::vector<uint8_t>& Bytes, size_t Count) {
  return {Bytes.begin(), Bytes.begin() + static_cast<long>(std::min(Count, Bytes.size()))};
}

// --- detect --------------------------------------------------------------

TEST_F(CliEndToEnd, DetectNamesThePortAndTheChip) {
  StartBoard(Board("89C52"));
  TProcessResult Run = Cli({"detect"});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(Run.Out, Device() + ": 89C52\n");
  // The scan reports on stderr, so stdout stays one line for scripts.
  EXPECT_NE(Run.Err.find("Try to connect by : " + Device()), std::string::npos) << Run.Err;
}

TEST_F(CliEndToEnd, DetectFinds2051AndTheBoardBehindOtherPorts) {
  StartBoard(Board("89C2051"));
  TProcessResult Run = RunCli({"detect"}, "/dev/korvane-none:" + Device());
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(Run.Out, Device() + ": 89C2051/4051\n");
}

TEST_F(CliEndToEnd, PortOptionReplacesThePortList) {
  StartBoard(Board("89C55"));
  TProcessResult Run = RunCli({"detect", "--port", Device()}, "");
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(Run.Out, Device() + ": 89C55\n");

  // And the list is that port alone: the board on the list is not scanned.
  Run = RunCli({"detect", "--port", "/dev/korvane-none"}, Device());
  EXPECT_EQ(Run.ExitCode, 3);
  EXPECT_EQ(Run.Out, "");
  EXPECT_NE(Run.Err.find("error: no programmer board found on /dev/korvane-none\n"),
            std::string::npos)
      << Run.Err;
  EXPECT_NE(Run.Err.find("/dev/korvane-none: cannot be opened (No such file or directory)"),
            std::string::npos)
      << Run.Err;

  // A chip's name where the port goes, as other programmers take -p.
  for (const char* Chip : {"89c52", "AT89C2051"}) {
    Run = RunCli({"program", Blink, "-p", Chip}, Device());
    EXPECT_EQ(Run.ExitCode, 3);
    EXPECT_TRUE(Run.Err.ends_with(
        std::string("hint: -p (--port) names the serial port, such as /dev/ttyUSB0 ('korvane-cli "
                    "ports' lists them); the chip in the socket is found by itself, so '") +
        Chip + "' needs no option\n"))
        << Run.Err;
  }
  Run = RunCli({"detect", "-p", "/dev/korvane-none"}, "");
  EXPECT_EQ(Run.Err.find("hint: -p"), std::string::npos) << Run.Err;
}

TEST_F(CliEndToEnd, NoBoardOrNoPortsIsExitThree) {
  TProcessResult Run = RunCli({"detect"}, "");
  EXPECT_EQ(Run.ExitCode, 3);
  EXPECT_EQ(Run.Out, "");
  EXPECT_NE(Run.Err.find("Available port not found!"), std::string::npos) << Run.Err;
  EXPECT_NE(Run.Err.find("error: no serial ports to scan (KORVANE_PORTS is empty)"),
            std::string::npos)
      << Run.Err;

  sim::TBoardSimOptions Mute = Board();
  Mute.NoBannerWord = true;
  StartBoard(Mute);
  Run = Cli({"detect"});
  EXPECT_EQ(Run.ExitCode, 3);
  EXPECT_NE(Run.Err.find("error: no programmer board found on " + Device()), std::string::npos)
      << Run.Err;

  // program and read find nothing either, and touch no file.
  const std::string Out = FDir.File("out.hex");
  EXPECT_EQ(Cli({"read", Out}).ExitCode, 3);
  EXPECT_FALSE(access(Out.c_str(), F_OK) == 0);
  EXPECT_EQ(Cli({"program", Blink}).ExitCode, 3);
  EXPECT_FALSE(BoardErased());
}

// --- program -------------------------------------------------------------

TEST_F(CliEndToEnd, ProgramPrintsEveryStatusAndWritesTheChip) {
  StartBoard(Board("89C52"));
  TProcessResult Run = Cli({"program", Blink});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(WithSummary(Run.Out, "148 bytes written and verified", Blink + ", checksum 0xBF4D"),
            (StatusLines{"Erasing...", "Erasing...[1/10]", "Initial for Writing",
                         "Writing... [148 Bytes]", "Verify...", "Complete!"}));
  EXPECT_NE(Run.Err.find(Device() + ": 89C52\n"), std::string::npos) << Run.Err;
  // No progress bar when stderr is not a terminal.
  EXPECT_EQ(Run.Err.find('\r'), std::string::npos);
  EXPECT_EQ(Sim().Flash(), LoadHexFile(Blink, 8192));
  EXPECT_FALSE(Sim().Locked());
}

TEST_F(CliEndToEnd, ProgramLocksAndFastVerifiesOnRequest) {
  StartBoard(Board("89C55"));
  TProcessResult Run = Cli({"program", Big, "--fast-verify", "--lock"});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(
      WithSummary(Run.Out, "5572 bytes written, verified and locked", Big + ", checksum 0x673A"),
      (StatusLines{"Erasing...", "Erasing...[1/10]", "Initial for Writing",
                   "Writing... [5572 Bytes]", "Fast Verify...", "Verify Locked code",
                   "Complete!"}));
  EXPECT_TRUE(Sim().Locked());
}

TEST_F(CliEndToEnd, ProgramOn2051UsesTheMemoryChoiceAndReadsBack) {
  sim::TBoardSimOptions Options = Board("89C2051");
  Options.Size2051 = 4096;
  StartBoard(Options);
  TProcessResult Run = Cli({"program", Blink, "--mem", "4KB", "--fast-verify"});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  // The 89C2051/4051 has no checksum: verified by reading back, and said so.
  EXPECT_EQ(Lines(Run.Out).at(4), "Verify...");
  EXPECT_NE(Run.Err.find("note: the 89C2051/4051 has no fast verify"), std::string::npos);
  EXPECT_EQ(Prefix(Sim().Flash(), 4096), LoadHexFile(Blink, 4096));

  // 3000 bytes fit an 89C4051 only: the 2 KB default says how to choose it.
  const std::string ThreeKB = FDir.File("3k.hex");
  WriteHexFile(ThreeKB, PatternBytes(3000, 5));
  Run = Cli({"program", ThreeKB});
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_TRUE(Run.Err.ends_with("hint: for an 89C4051 (4 KB), add --mem 4KB\n")) << Run.Err;
}

TEST_F(CliEndToEnd, EraseRetriesAreEachAStatusLine) {
  sim::TBoardSimOptions Options = Board();
  Options.EraseTries = 3;
  StartBoard(Options);
  TProcessResult Run = Cli({"program", Blink});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  const StatusLines Out = Lines(Run.Out);
  ASSERT_GE(Out.size(), 4u);
  EXPECT_EQ(
      StatusLines(Out.begin(), Out.begin() + 4),
      (StatusLines{"Erasing...", "Erasing...[1/10]", "Erasing...[2/10]", "Erasing...[3/10]"}));
}

TEST_F(CliEndToEnd, FailedVerifyEndsWithItsStatusAndExitOne) {
  sim::TBoardSimOptions Options = Board();
  Options.CorruptByteAt = 100;
  StartBoard(Options);
  TProcessResult Run = Cli({"program", Blink, "--lock"});
  EXPECT_EQ(Run.ExitCode, 1) << Run.Err;
  EXPECT_EQ(Lines(Run.Out), (StatusLines{"Erasing...", "Erasing...[1/10]", "Initial for Writing",
                                         "Writing... [148 Bytes]", "Verify...", "Verify Failed!"}));
  EXPECT_EQ(Run.Err.find("error:"), std::string::npos) << Run.Err;
  EXPECT_FALSE(Sim().Locked());  // no lock after a failed verify
}

// A failed step is exit 1, its status the last line, said once (the lock's
// read-back fails in the operation and the workflow both).
TEST_F(CliEndToEnd, AFailedStepIsExitOneAndItsStatusSaidOnce) {
  sim::TBoardSimOptions Echo = Board();
  Echo.WrongReadEcho = '?';
  StartBoard(Echo);
  const TProcessResult Run = Cli({"program", Blink, "--fast-verify", "--lock"});
  EXPECT_EQ(Run.ExitCode, 1);
  const StatusLines Out = Lines(Run.Out);
  EXPECT_EQ(Out.back(), "Lock Failed!");
  EXPECT_EQ(std::count(Out.begin(), Out.end(), "Lock Failed!"), 1) << Run.Out;
}

TEST_F(CliEndToEnd, BadFilesAreExitFourBeforeTheChipIsTouched) {
  StartBoard(Board("89C51"));
  const std::string Bad = FDir.File("bad.hex");
  WriteTextFile(Bad, ":0400000001020304F2\r\n:0400040001020304EF\r\n:00000001FF\r\n");
  TProcessResult Run = Cli({"program", Bad});
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_EQ(Run.Out, "");
  EXPECT_TRUE(Run.Err.ends_with("error: " + Bad + ": Checksum error at line:2\n")) << Run.Err;

  Run = Cli({"program", FDir.File("missing.hex")});
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_TRUE(Run.Err.ends_with("error: " + FDir.File("missing.hex") + ": File not found\n"))
      << Run.Err;

  // A lock of an image that is all FF could not be proven by reading back.
  const std::string Blank = FDir.File("blank.hex");
  WriteHexFile(Blank, std::vector<uint8_t>(16, 0xFF));
  Run = Cli({"program", Blank, "--lock"});
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_NE(Run.Err.find("error: " + Blank + ": Nothing to lock: the image is all FF"),
            std::string::npos)
      << Run.Err;
  // None of these even scanned for the board.
  EXPECT_EQ(Sim().ReceivedBytes(), "");

  // 5572 bytes do not fit the 89C51's 4096.
  Run = Cli({"program", Big});
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_TRUE(Run.Err.ends_with("error: " + Big + ": Exceed Memory Size[Target:1000 Size:1000]\n" +
                                "hint: " + Big +
                                " has data up to 0x15C3; the 89C51 holds 0x0000-0x0FFF (4096 "
                                "bytes)\n"))
      << Run.Err;
  EXPECT_FALSE(BoardErased());
}

TEST_F(CliEndToEnd, LostPortIsExitFive) {
  sim::TBoardSimOptions Options = Board();
  Options.HangUpAtWriteByte = 50;
  StartBoard(Options);
  TProcessResult Run = Cli({"program", Blink});
  EXPECT_EQ(Run.ExitCode, 5) << Run.Out << Run.Err;
  EXPECT_EQ(Lines(Run.Out).back(), "Writing... [148 Bytes]");
  // The errno in words, not taken for a Windows code, then where the chip stands.
  EXPECT_TRUE(
      Run.Err.ends_with("error: ReadFile function failed (error 5: Input/output error)\n"
                        "The chip is partly written (50 of 148 bytes). Reconnect the "
                        "board and run the command again.\n"))
      << Run.Err;
  // The JSON result names the step the port was lost in.
  StartBoard(Options);
  Run = Cli({"program", Blink, "--json"});
  EXPECT_EQ(Run.ExitCode, 5);
  EXPECT_TRUE(Lines(Run.Out).back().starts_with(
      "{\"event\":\"result\",\"command\":\"program\",\"exit\":5,\"status\":\"Writing... [148 "
      "Bytes]\""))
      << Run.Out;
}

// --- read ----------------------------------------------------------------

// A standard descriptor closed by the caller is never taken by the port:
// no status text reaches the board as commands, and the board is never read
// as the standard input. A closed stdout is the closed-output stop.
TEST_F(CliEndToEnd, AClosedStandardDescriptorNeverBecomesThePort) {
  struct TCase {
    int Closed;
    std::string Chip;
    std::vector<std::string> Args;
    int Exit;
    uint64_t Erases;
  };
  const std::string Copy = FDir.File("copy.hex");
  const std::vector<TCase> Cases = {
      {0, "89C52", {"read", Copy}, 0, 0},
      {1, "89C52", {"read", Copy}, 130, 0},
      {2, "89C52", {"read", Copy}, 0, 0},
      {0, "89C52", {"program", Blink}, 0, 1},
      {1, "89C52", {"program", Blink}, 130, 0},
      {2, "89C52", {"program", Blink}, 0, 1},
      // Enter is awaited between chips: a closed input ends the run there.
      {0, "89C2051", {"program", Blink, "--repeat"}, 130, 1},
  };
  for (const TCase& Case : Cases) {
    StartBoard(Board(Case.Chip));
    const std::vector<uint8_t> Before(Sim().Flash().size(), 0x5A);
    Sim().SetFlash(Before);
    TProcessOptions Options;
    Options.Closed = Case.Closed;
    Options.TimeoutSeconds = 30;
    const TProcessResult Run = Cli(Case.Args, Options);
    const std::string What = Case.Args[0] + " with descriptor " + std::to_string(Case.Closed);
    EXPECT_EQ(Run.ExitCode, Case.Exit) << What << Run.Err;
    EXPECT_EQ(Sim().Counters().EraseCount, Case.Erases) << What;
    EXPECT_FALSE(Sim().Locked()) << What;
    if (Case.Erases == 0) {
      EXPECT_EQ(Sim().Flash(), Before) << What;
    }
  }
}

// The virtual board and the window keep their standard descriptors too: the
// board, started with one closed, writes nothing to its line and still
// serves it; the window, started with stdout or stderr closed, sends the
// board nothing but its poll, and ends SIGTERM as an interrupt.
TEST_F(CliEndToEnd, TheBoardAndTheWindowKeepTheirStandardDescriptors) {
  const std::string Link = FDir.File("board");
  for (const int Closed : {0, 1, 2}) {
    TProcessOptions Options;
    Options.Closed = Closed;
    Options.TimeoutSeconds = 30;
    TChildProcess Board(KORVANE_BOARDSIM_PATH, {"--link", Link}, Options);
    for (int Tries = 0; Tries < 500 && !std::filesystem::exists(Link); ++Tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int Line = open(Link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(Line, 0) << "descriptor " << Closed;
    pollfd Waiting{Line, POLLIN, 0};
    EXPECT_EQ(poll(&Waiting, 1, 500), 0) << "the board wrote to its line, descriptor " << Closed;
    close(Line);
    const TProcessResult Detect = RunCli({"detect"}, Link);
    EXPECT_EQ(Detect.ExitCode, 0) << "descriptor " << Closed << Detect.Err;
    Board.Signal(SIGTERM);
    EXPECT_EQ(Board.Finish().ExitCode, 0) << "descriptor " << Closed;
  }
#ifdef KORVANE_WINDOW_PATH
  for (const int Closed : {1, 2}) {
    StartBoard(Board());
    TProcessOptions Options;
    Options.Closed = Closed;
    Options.TimeoutSeconds = 60;
    Options.Env = {{"QT_QPA_PLATFORM", "offscreen"},
                   {"KORVANE_PORTS", Device()},
                   {"XDG_RUNTIME_DIR", FDir.Path()}};
    TChildProcess Window(KORVANE_WINDOW_PATH, {}, Options);
    for (int Tries = 0; Tries < 3000 && Sim().ReceivedBytes().find('p') == std::string::npos;
         ++Tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Window.Signal(SIGTERM);
    const TProcessResult Ended = Window.Finish();
    const std::string Received = Sim().ReceivedBytes();
    EXPECT_NE(Received.find('p'), std::string::npos) << "descriptor " << Closed;
    EXPECT_EQ(Received.find_first_not_of(CPollBytes), std::string::npos)
        << "descriptor " << Closed << ": " << Received;
    EXPECT_EQ(Ended.ExitCode, 130) << "descriptor " << Closed << Ended.Err;
  }
#endif
}

TEST_F(CliEndToEnd, ReadSavesTheWholeChip) {
  StartBoard(Board("89C52"));
  std::vector<uint8_t> Contents(8192, 0xFF);
  for (size_t I = 0; I < 3000; ++I) {
    Contents[I] = static_cast<uint8_t>(I * 7 + 3);
  }
  Sim().SetFlash(Contents);
  const std::string Out = FDir.File("chip.hex");
  TProcessResult Run = Cli({"read", Out});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(WithSummary(Run.Out, "8192 bytes read", Out), (StatusLines{"Reading...", "Complete!"}));
  EXPECT_EQ(LoadHexFile(Out, 8192), Contents);
  // 512 data records of 16 bytes, a comment line and the end record.
  EXPECT_EQ(Lines(ReadTextFile(Out)).size(), 514u);
}

TEST_F(CliEndToEnd, ReadOf2051TakesTheMemoryChoice) {
  sim::TBoardSimOptions Options = Board("89C2051");
  Options.Size2051 = 4096;
  StartBoard(Options);
  const std::string Two = FDir.File("2k.hex");
  const std::string Four = FDir.File("4k.hex");
  // The board cannot tell the two apart: the size used is said.
  TProcessResult Run = Cli({"read", Two});
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_NE(Run.Err.find("note: the board cannot tell an 89C2051 from an 89C4051; 2 KB (2048 "
                         "bytes) used; --mem 4KB for an 89C4051\n"),
            std::string::npos)
      << Run.Err;
  Run = Cli({"read", Four, "--mem", "4KB"});
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_NE(Run.Err.find("note: the board cannot tell an 89C2051 from an 89C4051; 4 KB (4096 "
                         "bytes) used, as --mem says; --mem 2KB for an 89C2051\n"),
            std::string::npos)
      << Run.Err;
  EXPECT_EQ(Lines(ReadTextFile(Two)).size(), 2048u / 16 + 2);
  EXPECT_EQ(Lines(ReadTextFile(Four)).size(), 4096u / 16 + 2);

  StartBoard(Board("89C52"));
  Run = Cli({"read", FDir.File("8k.hex"), "--mem", "4KB"});
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_NE(Run.Err.find("note: --mem applies to the 89C2051/4051 only; the 89C52 has 8192 bytes"),
            std::string::npos)
      << Run.Err;
}

TEST_F(CliEndToEnd, FailedReadShowsTheMessageAndKeepsTheOldFile) {
  sim::TBoardSimOptions Options = Board();
  Options.WrongReadEcho = 'x';
  StartBoard(Options);
  const std::string Out = FDir.File("old.hex");
  WriteTextFile(Out, "previous contents\n");
  TProcessResult Run = Cli({"read", Out});
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_EQ(Lines(Run.Out), (StatusLines{"Reading...", "Read Failed!"}));
  EXPECT_NE(Run.Err.find("message: x\n"), std::string::npos) << Run.Err;
  EXPECT_EQ(ReadTextFile(Out), "previous contents\n");
}

TEST_F(CliEndToEnd, UnwritableReadTargetIsExitFour) {
  StartBoard(Board());
  TProcessResult Run = Cli({"read", FDir.File("no-such-folder/chip.hex")});
  EXPECT_EQ(Run.ExitCode, 4);
  // Found out before the board is scanned, not after the read.
  EXPECT_EQ(Run.Out, "");
  EXPECT_EQ(Run.Err, "error: " + FDir.File("no-such-folder/chip.hex") + ": File not found\n");
}

// --- the progress bar ----------------------------------------------------

TEST_F(CliEndToEnd, ProgressBarOnlyOnATerminal) {
  StartBoard(Board("89C52"));
  TProcessOptions Terminal;
  Terminal.ErrOnTerminal = true;
  TProcessResult Run = Cli({"program", Blink}, Terminal);
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_NE(Run.Err.find("\rWriting ["), std::string::npos) << Run.Err;
  EXPECT_NE(Run.Err.find("148/148 bytes"), std::string::npos) << Run.Err;
  EXPECT_NE(Run.Err.find("\rVerify ["), std::string::npos) << Run.Err;
  // The bar is taken off the line before anything else is printed.
  EXPECT_NE(Run.Err.find("\r\033[K"), std::string::npos);
  // Status lines stay on stdout, untouched by the bar.
  EXPECT_EQ(Lines(Run.Out).at(5), "Complete!");
  EXPECT_EQ(Run.Out.find('\r'), std::string::npos);

  Run = Cli({"read", FDir.File("chip.hex")}, Terminal);
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_NE(Run.Err.find("8192/8192 bytes"), std::string::npos) << Run.Err;

  // Each redraw fits a narrow terminal, short of its last column, or the
  // terminal would wrap it onto a new line every time.
  for (const unsigned short Columns : {60, 40}) {
    Terminal.TerminalColumns = Columns;
    Run = Cli({"read", FDir.File("chip.hex")}, Terminal);
    EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
    size_t Frames = 0;
    for (size_t At = Run.Err.find("\rReading "); At != std::string::npos;
         At = Run.Err.find("\rReading ", At + 1)) {
      const size_t End = Run.Err.find("\033[K", At);
      ASSERT_NE(End, std::string::npos);
      EXPECT_LT(End - At - 1, Columns) << Run.Err.substr(At + 1, End - At - 1);
      ++Frames;
    }
    EXPECT_GE(Frames, 1U) << Run.Err;
    EXPECT_NE(Run.Err.find("8192/8192 bytes"), std::string::npos) << Run.Err;
  }
}

// --- ports ---------------------------------------------------------------

TEST_F(CliEndToEnd, PortsSaysWhichCanBeOpened) {
  StartBoard(Board());
  // In scan order, which is sorted.
  TProcessResult Run = RunCli({"ports"}, Device() + ":/dev/korvane-none");
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(Run.Out, "/dev/korvane-none: cannot be opened (No such file or directory)\n" +
                         Device() + ": can be opened\n");

  Run = RunCli({"ports"}, "");
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Out, "");
  EXPECT_EQ(Run.Err, "no serial ports (KORVANE_PORTS is empty)\n");
}

TEST_F(CliEndToEnd, PortsHintsAtTheGroupOnAPermissionRefusal) {
  // Two devices that refuse this user; the hint comes once, after the first.
  ASSERT_EQ(chmod(FDir.Path().c_str(), 0711), 0);
  const std::string First = FDir.File("ttyLockedA");
  const std::string Second = FDir.File("ttyLockedB");
  for (const std::string& Device : {First, Second}) {
    WriteTextFile(Device, "");
    ASSERT_EQ(chmod(Device.c_str(), 0), 0);
  }
  TProcessOptions Options;
  Options.Unprivileged = true;
  TProcessResult Run = RunCli({"ports"}, First + ":" + Second, Options);
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  const StatusLines Out = Lines(Run.Out);
  ASSERT_EQ(Out.size(), 3u) << Run.Out;
  EXPECT_EQ(Out[0], First + ": cannot be opened (Permission denied)");
  // Mode 000: no group may open it, so joining one is not the fix.
  EXPECT_EQ(Out[1], "  hint: " + First +
                        " is open to its owner 'root' only (mode 000): " + OwnerOnlyFix(First));
  EXPECT_EQ(Out[2], Second + ": cannot be opened (Permission denied)");
}

// --- check ---------------------------------------------------------------

TEST_F(CliEndToEnd, CheckCountsBytesUpToTheLastUsedAddress) {
  TProcessResult Run = RunCli({"check", Blink, "--chip", "89C2051"}, "");
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(Run.Out, "148\n");
  EXPECT_EQ(Run.Err, "");
  EXPECT_EQ(RunCli({"check", Big, "--size", "8K"}, "").Out, "5572\n");

  // FF bytes at the end are not counted; an all-FF file counts 0.
  const std::string Tail = FDir.File("tail.hex");
  WriteTextFile(Tail, ":0400FC00AA55FFFF03\r\n:00000001FF\r\n");
  EXPECT_EQ(RunCli({"check", Tail, "--size", "256"}, "").Out, "254\n");
  const std::string Blank = FDir.File("blank.hex");
  WriteTextFile(Blank, ":02000000FFFF00\r\n:00000001FF\r\n");
  Run = RunCli({"check", Blank, "--chip", "89C51"}, "");
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Out, "0\n");
}

TEST_F(CliEndToEnd, CheckReportsABadFileExactly) {
  const std::string Bad = FDir.File("bad.hex");
  WriteTextFile(Bad, ":0400000001020304F2\r\n:04000400010203G4EE\r\n:00000001FF\r\n");
  TProcessResult Run = RunCli({"check", Bad, "--chip", "89C52"}, "");
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_EQ(Run.Out, "");
  EXPECT_EQ(Run.Err, "error: " + Bad + ": Invalid Data at Line:2\n");

  // Too large: the file's reach and the image's range as well.
  Run = RunCli({"check", Big, "--chip", "89C51"}, "");
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_EQ(Run.Err, "error: " + Big + ": Exceed Memory Size[Target:1000 Size:1000]\nhint: " + Big +
                         " has data up to 0x15C3; the image of --chip or --size holds "
                         "0x0000-0x0FFF (4096 bytes)\n");

  // A file that is not HEX at all is refused as program refuses it, not
  // counted as an all-FF image.
  const std::string Text = FDir.File("notes.txt");
  WriteTextFile(Text, "firmware notes\nnothing to burn here\n");
  Run = RunCli({"check", Text, "--chip", "89C52"}, "");
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_EQ(Run.Out, "");
  EXPECT_EQ(Run.Err, "error: " + Text + ": No HEX record in file\nhint: " + Text +
                         " holds no Intel HEX record at all: it is empty, or not the HEX file "
                         "that an assembler or compiler wrote\n");
}

TEST_F(CliEndToEnd, AnExtendedAddressRecordIsExplainedWithTheCommandThatRemovesIt) {
  StartBoard(Board("89C52"));
  // As other tools write them: an extended linear address of 0, then data
  // below 64 KB, a start address and the end.
  const std::string File = FDir.File("tool.hex");
  WriteTextFile(File,
                ":020000040000FA\r\n:0400000001020304F2\r\n:0400000500000000F7\r\n:00000001FF\r\n");
  TProcessResult Run = Cli({"program", File});
  EXPECT_EQ(Run.ExitCode, 4);
  const std::string Rewritten = FDir.File("tool-16bit.hex");
  const std::string Command =
      "srec_cat " + File + " -intel -o " + Rewritten + " -intel -address-length=2";
  EXPECT_EQ(
      Run.Err,
      "error: " + File +
          ": Non subport block type at line:1\n"
          "hint: line 1 is an extended linear address record (type 04), which sets the upper 16 "
          "bits of the addresses after it; these chips take 16-bit addresses and data records "
          "only\nhint: for a file whose data lies below 64 KB, write it again with 16-bit "
          "addresses: " +
          Command + "\n");
  EXPECT_EQ(Sim().ReceivedBytes(), "");

  // The command as the hint gives it does remove them, where srec_cat is.
  if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) {
    return;
  }
  ASSERT_EQ(RunProcess("/bin/sh", {"-c", Command}).ExitCode, 0);
  Run = Cli({"program", Rewritten});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(Prefix(Sim().Flash(), 4), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(CliEndToEnd, AChipThatReadsAllFFMayBeLocked) {
  StartBoard(Board("89C52"));
  ASSERT_EQ(Cli({"program", Blink, "--lock"}).ExitCode, 0);
  const std::string Note =
      "note: the chip reads as all FF: it is blank or locked (a locked chip reads FF; erase "
      "unlocks it)\n";
  TProcessResult Run = Cli({"read", FDir.File("locked.hex")});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_TRUE(Run.Err.ends_with(Note)) << Run.Err;
  Run = Cli({"verify", Blink});
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_NE(Run.Err.find(Note), std::string::npos) << Run.Err;

  // A chip that holds something says nothing of the kind.
  ASSERT_EQ(Cli({"program", Blink}).ExitCode, 0);
  Run = Cli({"read", FDir.File("open.hex")});
  EXPECT_EQ(Run.Err.find("note: the chip reads as all FF"), std::string::npos) << Run.Err;
}

// --- usage ---------------------------------------------------------------

TEST_F(CliEndToEnd, UsageErrorsAreExitTwo) {
  for (const std::vector<std::string>& Args : {std::vector<std::string>{},
                                               {"burn"},
                                               {"program"},
                                               {"read", "x.hex", "--lock"},
                                               {"check", "x.hex"},
                                               {"program", "x.hex", "--mem", "8KB"}}) {
    TProcessResult Run = RunCli(Args, "");
    EXPECT_EQ(Run.ExitCode, 2) << ::testing::PrintToString(Args);
    EXPECT_EQ(Run.Out, "");
    EXPECT_TRUE(Run.Err.starts_with("error: ")) << Run.Err;
    EXPECT_TRUE(Run.Err.ends_with("Try 'korvane-cli --help'.\n")) << Run.Err;
  }
  // A reader of --json gets its result all the same.
  const TProcessResult Json = RunCli({"program", "--json", "--mem", "8KB"}, "");
  EXPECT_EQ(Json.ExitCode, 2);
  EXPECT_TRUE(Json.Out.starts_with("{\"event\":\"result\",\"exit\":2,\"error\":\"")) << Json.Out;
  TProcessResult Help = RunCli({"--help"}, "");
  EXPECT_EQ(Help.ExitCode, 0);
  EXPECT_TRUE(Help.Out.starts_with("Usage: korvane-cli COMMAND")) << Help.Out;
}

// --- verify, erase, blank ------------------------------------------------

TEST_F(CliEndToEnd, VerifyEraseAndBlankCheckTheChipWithoutWritingIt) {
  StartBoard(Board("89C52"));
  TProcessResult Run = Cli({"blank"});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(Lines(Run.Out), (StatusLines{"Reading...", "blank"}));
  EXPECT_TRUE(
      Run.Err.ends_with("note: the chip reads as all FF: it is blank or locked (a locked "
                        "chip reads FF; erase unlocks it)\n"))
      << Run.Err;

  ASSERT_EQ(Cli({"program", Blink}).ExitCode, 0);
  const std::string Before = Sim().ReceivedBytes();
  Run = Cli({"verify", Blink});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(WithSummary(Run.Out, "148 bytes verified", Blink),
            (StatusLines{"Verify...", "Complete!"}));
  EXPECT_EQ(Sim().ReceivedBytes().substr(Before.size()).find('w'), std::string::npos)
      << "verify writes nothing";
  EXPECT_EQ(Cli({"verify", Blink, "--fast-verify"}).ExitCode, 0);

  Run = Cli({"blank"});
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_EQ(Lines(Run.Out).back(), "not blank: first used byte at 0x0000, 144 bytes not FF");

  // One cell changed behind the file's back.
  std::vector<uint8_t> Flash = Sim().Flash();
  const uint8_t Was = Flash[0x10];
  Flash[0x10] = 0x00;
  Sim().SetFlash(Flash);
  Run = Cli({"verify", Blink});
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_EQ(Lines(Run.Out).back(), "Verify Failed!");
  char Expected[80];
  std::snprintf(Expected, sizeof Expected,
                "first difference at 0x0010: file %02X, chip 00 (1 bytes differ)\n", Was);
  EXPECT_TRUE(Run.Err.ends_with(Expected)) << Run.Err;
  Run = Cli({"verify", Blink, "--fast-verify"});
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_EQ(Run.Err.find("first difference"), std::string::npos) << "a checksum cannot say where";

  Run = Cli({"erase"});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(Lines(Run.Out), (StatusLines{"Erasing...", "Erasing...[1/10]", "Complete!"}));
  EXPECT_EQ(Sim().Flash(), std::vector<uint8_t>(8192, 0xFF));
  sim::TBoardSimOptions Stubborn = Board();
  Stubborn.EraseTries = 11;
  StartBoard(Stubborn);
  Run = Cli({"erase"});
  EXPECT_EQ(Run.ExitCode, 1);
}

// --- raw binary files ----------------------------------------------------

TEST_F(CliEndToEnd, RawBinaryFilesAreProgrammedVerifiedAndRead) {
  StartBoard(Board("89C52"));
  const std::vector<uint8_t> Image = PatternBytes(3000, 11);
  const std::string Bin = FDir.File("firmware.BIN");
  std::ofstream(Bin, std::ios::binary)
      .write(reinterpret_cast<const char*>(Image.data()), static_cast<long>(Image.size()));
  TProcessResult Run = Cli({"program", Bin});
  ASSERT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(Lines(Run.Out)[3], "Writing... [3000 Bytes]");
  EXPECT_EQ(Prefix(Sim().Flash(), 3000), Image);
  EXPECT_EQ(Cli({"verify", Bin}).ExitCode, 0);

  // read writes the whole chip as raw bytes, by name or by --format.
  for (const auto& [Name, Args] :
       {std::pair{"chip.bin", std::vector<std::string>{}},
        std::pair{"chip.raw", std::vector<std::string>{"--format", "bin"}}}) {
    std::vector<std::string> Read{"read", FDir.File(Name)};
    Read.insert(Read.end(), Args.begin(), Args.end());
    ASSERT_EQ(Cli(Read).ExitCode, 0) << Name;
    const std::string Saved = ReadTextFile(FDir.File(Name));
    EXPECT_EQ(std::vector<uint8_t>(Saved.begin(), Saved.end()), Sim().Flash()) << Name;
  }

  // Longer than the chip: refused before anything is erased.
  const std::string Long = FDir.File("long.bin");
  std::ofstream(Long, std::ios::binary) << std::string(8193, '\x01');
  const std::string Sent = Sim().ReceivedBytes();
  Run = Cli({"program", Long});
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_TRUE(Run.Err.ends_with("error: " + Long +
                                ": Exceed Memory Size[Target:2000 Size:2000]\nhint: " + Long +
                                " has data up to 0x2000; the 89C52 holds 0x0000-0x1FFF (8192 "
                                "bytes)\n"))
      << Run.Err;
  EXPECT_EQ(Sim().ReceivedBytes().substr(Sent.size()).find('e'), std::string::npos);
  // --format hex reads a HEX text whatever its name.
  const std::string HexNamedBin = FDir.File("hex.bin");
  std::filesystem::copy_file(Blink, HexNamedBin);
  EXPECT_EQ(Cli({"verify", HexNamedBin, "--format", "hex"}).ExitCode, 1)
      << "the chip holds the .bin";
  EXPECT_EQ(Cli({"program", HexNamedBin, "--format", "hex"}).ExitCode, 0);
  EXPECT_EQ(Cli({"verify", Blink}).ExitCode, 0);
}

// --- -q and --json -------------------------------------------------------

TEST_F(CliEndToEnd, QuietPrintsOnlyErrorsAndTheResultLine) {
  StartBoard(Board("89C52"));
  TProcessResult Run = Cli({"program", Blink, "-q"});
  EXPECT_EQ(Run.ExitCode, 0);
  EXPECT_EQ(Run.Out, "Complete!\n");
  EXPECT_EQ(Run.Err, "");
  Run = Cli({"detect", "-q"});
  EXPECT_EQ(Run.Out, Device() + ": 89C52\n");
  EXPECT_EQ(Run.Err, "");
  Run = Cli({"blank", "--quiet"});
  EXPECT_EQ(Run.Out, "not blank: first used byte at 0x0000, 144 bytes not FF\n");

  sim::TBoardSimOptions Handshake = Board();
  Handshake.Dc3InsteadOfDc1At = 10;
  StartBoard(Handshake);
  Run = Cli({"program", Blink, "-q"});
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_EQ(Run.Out, "Write Failed!\n");
  Run = RunCli({"erase", "-q"}, "");
  EXPECT_EQ(Run.ExitCode, 3);
  EXPECT_EQ(Run.Out, "");
  EXPECT_EQ(Run.Err, "error: no serial ports to scan (KORVANE_PORTS is empty)\n");
}

TEST_F(CliEndToEnd, JsonGivesOneEventALineAndAResultWithTheDetails) {
  StartBoard(Board("89C52"));
  TProcessResult Run = Cli({"program", Blink, "--json"});
  EXPECT_EQ(Run.ExitCode, 0);
  const StatusLines Events = Lines(Run.Out);
  StatusLines Statuses;
  int Progress = 0;
  for (const std::string& Event : Events) {
    ASSERT_TRUE(Event.starts_with("{\"event\":\"") && Event.ends_with("}")) << Event;
    if (Event.starts_with("{\"event\":\"status\",\"text\":\"")) {
      Statuses.push_back(Event.substr(26, Event.size() - 28));
    }
    Progress += Event.starts_with("{\"event\":\"progress\"") ? 1 : 0;
  }
  EXPECT_EQ(Statuses, (StatusLines{"Try to connect by : " + Device(), "Identify target chip ...",
                                   "Erasing...", "Erasing...[1/10]", "Initial for Writing",
                                   "Writing... [148 Bytes]", "Verify...", "Complete!"}));
  EXPECT_NE(std::find(Events.begin(), Events.end(),
                      "{\"event\":\"chip\",\"port\":\"" + Device() + "\",\"chip\":\"89C52\"}"),
            Events.end());
  EXPECT_NE(std::find(Events.begin(), Events.end(),
                      "{\"event\":\"progress\",\"phase\":\"write\",\"done\":148,\"total\":148}"),
            Events.end());
  EXPECT_NE(std::find(Events.begin(), Events.end(),
                      "{\"event\":\"progress\",\"phase\":\"verify\",\"done\":148,\"total\":148}"),
            Events.end());
  EXPECT_GE(Progress, 2);
  // The summary's figures: bytes, seconds with tenths, the board's checksum.
  const std::string Head =
      "{\"event\":\"result\",\"command\":\"program\",\"exit\":0,\"status\":"
      "\"Complete!\",\"port\":\"" +
      Device() + "\",\"chip\":\"89C52\",\"bytes\":148,\"seconds\":";
  EXPECT_TRUE(Events.back().starts_with(Head) && Events.back().ends_with(",\"checksum\":48973}"))
      << Events.back();
  EXPECT_NE(Events.back().find('.', Head.size()), std::string::npos) << Events.back();

  std::vector<uint8_t> Flash = Sim().Flash();
  Flash[0x20] ^= 0xFF;
  Sim().SetFlash(Flash);
  Run = Cli({"verify", Blink, "--json"});
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_TRUE(Lines(Run.Out).back().ends_with(
      "\"status\":\"Verify Failed!\",\"port\":\"" + Device() +
      "\",\"chip\":\"89C52\",\"first_difference\":{\"address\":32,\"file\":" +
      std::to_string(Flash[0x20] ^ 0xFF) + ",\"chip\":" + std::to_string(Flash[0x20]) +
      ",\"count\":1}}"))
      << Run.Out;

  Run = RunCli({"blank", "--json"}, "");
  EXPECT_EQ(Run.ExitCode, 3);
  EXPECT_EQ(Run.Out,
            "{\"event\":\"status\",\"text\":\"Available port not found!\"}\n"
            "{\"event\":\"result\",\"command\":\"blank\",\"exit\":3,\"status\":"
            "\"Available port not found!\",\"error\":"
            "\"no serial ports to scan (KORVANE_PORTS is empty)\"}\n");
  // A file refused before any status: no status key rather than an empty one.
  Run = RunCli({"program", FDir.File("missing.hex"), "--json"}, "");
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_EQ(Run.Out, "{\"event\":\"result\",\"command\":\"program\",\"exit\":4,\"error\":\"" +
                         FDir.File("missing.hex") + ": File not found\"}\n");
}

// --- a slow handshake ----------------------------------------------------

TEST_F(CliEndToEnd, AWriteMuchSlowerThanTheWireIsWarnedOnceWithTheFix) {
  // 9600 baud behind an adapter that holds the board's bytes for 16 ms.
  sim::TBoardSimOptions Adapter = Board();
  Adapter.Realtime = true;
  Adapter.UsbLatencyMs = 16;
  StartBoard(Adapter);
  WriteHexFile(FDir.File("small.hex"), PatternBytes(100, 9));
  TProcessResult Run = Cli({"program", FDir.File("small.hex"), "--fast-verify"});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  const size_t Warning = Run.Err.find("warning: each written byte takes ");
  ASSERT_NE(Warning, std::string::npos) << Run.Err;
  EXPECT_NE(Run.Err.find("where the wire needs 3.1 ms, so writing 100 bytes takes about"),
            std::string::npos)
      << Run.Err;
  EXPECT_NE(Run.Err.find("'korvane-cli doctor'"), std::string::npos);
  EXPECT_EQ(Warning, Run.Err.rfind("warning:")) << "once";

  // Without the adapter's hold, nothing to say. Unpaced, so that a slow
  // build (the sanitizers) cannot pass for a slow line.
  Adapter.UsbLatencyMs = 0;
  Adapter.Realtime = false;
  StartBoard(Adapter);
  Run = Cli({"program", FDir.File("small.hex"), "--fast-verify"});
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(Run.Err.find("warning:"), std::string::npos) << Run.Err;
}

// --- info ----------------------------------------------------------------

TEST_F(CliEndToEnd, InfoSaysWhatAFileHoldsWithoutABoard) {
  const std::vector<uint8_t> Bytes = LoadHexFile(Blink, 148);
  unsigned Sum = 0;
  for (uint8_t Byte : Bytes) {
    Sum += Byte;
  }
  char Checksum[64];
  std::snprintf(Checksum, sizeof Checksum,
                "checksum: 0x%04X (the board's \"c\" answer for 148 bytes)",
                (0x10000 - Sum % 0x10000) % 0x10000);
  TProcessResult Run = RunCli({"info", Blink}, "");
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  const StatusLines Info = Lines(Run.Out);
  ASSERT_EQ(Info.size(), 6u) << Run.Out;
  EXPECT_EQ(Info[0], "file: " + Blink + " (Intel HEX, 65535-byte image)");
  EXPECT_EQ(Info[1], "used: 0x0000-0x0093 (144 bytes not FF)");
  EXPECT_EQ(Info[2], "count: 148 bytes up to the last used address");
  EXPECT_EQ(Info[3], Checksum);
  EXPECT_EQ(Info[4], "fits: 89C51, 89LV51, 89C52, 89LV52, 89C55, 89LV55, 89C2051/4051 (2KB)");
  EXPECT_TRUE(
      Info[5].starts_with("time at 9600 baud: 1.3 s with read-back, 1.0 s with fast verify"))
      << Info[5];

  EXPECT_EQ(Lines(RunCli({"info", Big}, "").Out)[4], "fits: 89C52, 89LV52, 89C55, 89LV55");
  Run = RunCli({"info", Big, "--chip", "89C51"}, "");
  EXPECT_EQ(Run.ExitCode, 4);
  EXPECT_NE(Run.Err.find("error: " + Big + ": Exceed Memory Size[Target:1000 Size:1000]\n"),
            std::string::npos)
      << Run.Err;
  WriteHexFile(FDir.File("ff.hex"), std::vector<uint8_t>(64, 0xFF));
  EXPECT_EQ(Lines(RunCli({"info", FDir.File("ff.hex")}, "").Out)[1],
            "used: nothing, every byte is FF (programming it only erases the chip)");
}

}  // namespace
}  // namespace korvane::test
