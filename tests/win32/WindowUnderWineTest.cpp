// The Windows window, korvane.exe, run by wine on a virtual X display against
// the virtual board, and driven from outside only through window messages by
// korvane-uidriver.exe (UiDriver.cpp), as UI-automation tools drive it. The
// board's pseudo-terminal becomes COM5 through a link in the wine prefix's
// dosdevices folder.
//
// scripts/test-windows.sh runs this with KORVANE_WINE, WINEPREFIX, DISPLAY,
// KORVANE_WIN32_WINDOW (korvane.exe) and KORVANE_WIN32_UIDRIVER.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "UBoardSim.h"
#include "UHexFile.h"
#include "UnderWine.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using test::TRun;

// The window's control IDs (ui/win32/UWinControls.h).
const char ChipLabel[] = "1002";
const char MemSizeGroup[] = "1003";
const char StatusPanel[] = "1006";
const char PortNote[] = "1013";
const char FastVerify[] = "1009";
const char Send[] = "1010";
const char Read[] = "1011";

const char BusyStatus[] = "Please wait: an operation is running";
// The longest one driver script may take, wine's start included.
constexpr int ScriptLimitSeconds = 240;

class WindowUnderWineTest : public test::TWineBoardTest {
 protected:
  void SetUp() override {
    if (!PrepareWine({"KORVANE_WIN32_WINDOW", "KORVANE_WIN32_UIDRIVER", "DISPLAY"})) {
      GTEST_SKIP() << "KORVANE_WINE, KORVANE_WIN32_WINDOW, KORVANE_WIN32_UIDRIVER, WINEPREFIX "
                      "and DISPLAY are set by scripts/test-windows.sh";
    }
    FWindowExe = std::getenv("KORVANE_WIN32_WINDOW");
    FDriver = std::getenv("KORVANE_WIN32_UIDRIVER");
  }

  void TearDown() override {
    if (FWindow && FWindow->Running()) {
      Drive({"close", "gone", "30"});
    }
    FWindow.reset();
    TWineBoardTest::TearDown();
  }

  // Starts korvane.exe scanning COM5 and waits until it shows ChipName.
  void StartWindow(const std::string& ChipName) {
    LaunchWindow();
    const TRun Run = Drive({"window", "60", "wait", ChipLabel, ChipName, "60"});
    ASSERT_EQ(Run.ExitCode, 0) << Run.Err;
  }
  void LaunchWindow() {
    FWindow = std::make_unique<test::TProgram>(
        std::vector<std::string>{FWine, FWindowExe}, FDir,
        std::vector<std::pair<std::string, std::string>>{{"KORVANE_PORTS", "COM5"}});
  }

  // Runs the driver with Steps; what it printed.
  TRun Drive(const std::vector<std::string>& Steps) {
    std::vector<std::string> Words = {FWine, FDriver};
    Words.insert(Words.end(), Steps.begin(), Steps.end());
    test::TProgram Driver(Words, FDir, {});
    TRun Run = Driver.Wait(ScriptLimitSeconds);
    if (Run.TimedOut) {
      ADD_FAILURE() << "the driver did not end within " << ScriptLimitSeconds << " s";
    }
    return Run;
  }

  // Closes the window and expects it to end by itself with exit code 0.
  void CloseWindow() {
    const TRun Run = Drive({"close", "gone", "30"});
    EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
    EXPECT_EQ(FWindow->Wait(30).ExitCode, 0);
  }

  static bool FlashHolds(const std::vector<uint8_t>& Flash, const std::vector<uint8_t>& Data) {
    return Flash.size() >= Data.size() && std::equal(Data.begin(), Data.end(), Flash.begin());
  }

  std::string FWindowExe;
  std::string FDriver;
  std::unique_ptr<test::TProgram> FWindow;
};

TEST_F(WindowUnderWineTest, ShowsTheChipAndTheControlsItAllows) {
  struct TCase {
    const char* Chip;
    const char* Name;
    const char* MemSizeState;
    const char* FastVerifyState;
    // The chip label's place: under the code-memory choice's caption, or at
    // the design's top 30 when the choice is hidden.
    const char* LabelPlace;
  };
  for (const TCase& Case : {
           TCase{"89C52", "89C52", "1003:enabled=1 visible=0", "1009:enabled=1 visible=1",
                 "1002@2,30,213,26"},
           TCase{"89C2051", "89C2051/4051", "1003:enabled=1 visible=1", "1009:enabled=0 visible=1",
                 "1002@2,15,213,26"},
       }) {
    SCOPED_TRACE(Case.Chip);
    sim::TBoardSimOptions Options;
    Options.Chip = Case.Chip;
    StartBoard(Options);
    StartWindow(Case.Name);
    const TRun Run =
        Drive({"text",     "1001",       "text",  "1007",     "text",  "1008",    "text",
               FastVerify, "text",       Send,    "text",     Read,    "text",    StatusPanel,
               "state",    MemSizeGroup, "state", FastVerify, "state", Send,      "state",
               Read,       "place",      "0",     "place",    Send,    "place",   Read,
               "place",    ChipLabel,    "place", "1008",     "place", FastVerify});
    ASSERT_EQ(Run.ExitCode, 0) << Run.Err;
    // At the design font (wine's, 8 points at 96 dpi) the window is the
    // design to the pixel.
    for (const std::string Line :
         {"1001=Target Chip", "1007=Option", "1008=&Lock", "1009=&Fast Verify", "1010=&Send",
          "1011=&Read", "1006=\n", Case.MemSizeState, Case.FastVerifyState,
          "1010:enabled=1 visible=1", "1011:enabled=1 visible=1", "0@0,0,302,118",
          "1010@221,46,77,25", "1011@221,72,77,23", Case.LabelPlace, "1008@220,13,53,17",
          "1009@220,28,78,17"}) {
      EXPECT_NE(Run.Out.find(Line), std::string::npos) << Line << " in\n" << Run.Out;
    }
    CloseWindow();
    FBoard.reset();
  }
}

TEST_F(WindowUnderWineTest, SendProgramsTheFileAndReadSavesTheChip) {
  sim::TBoardSimOptions Options;
  Options.Chip = "89C51";
  sim::TBoardSim& Board = StartBoard(Options);
  const std::vector<uint8_t> Data = test::Firmware(1500);
  const fs::path Source = WriteSource(Data);
  StartWindow("89C51");

  TRun Run = Drive({"click", Send, "file", test::WindowsPath(Source), "30", "wait", StatusPanel,
                    "Complete!", "120"});
  ASSERT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_TRUE(FlashHolds(Board.Flash(), Data)) << "the chip holds the file";

  // The saved file appears whole (written aside, then renamed) at the end.
  const fs::path Copy = FDir / "chip.hex";
  // The dialog starts in the folder of the file programmed.
  Run = Drive({"click", Read, "folder", "30", "file", test::WindowsPath(Copy), "30"});
  ASSERT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_NE(Run.Out.find("folder=" + FDir.filename().string() + "\n"), std::string::npos)
      << Run.Out;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (!fs::exists(Copy) && std::chrono::steady_clock::now() < Deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Run = Drive({"wait", StatusPanel, "Complete!", "30", "enabled", Read, "10"});
  ASSERT_EQ(Run.ExitCode, 0) << Run.Err;
  const std::vector<uint8_t> Flash = Board.Flash();
  THexFile Image;
  Image.SetSize(static_cast<uint16_t>(Flash.size()));
  ASSERT_TRUE(Image.LoadFromFile(Copy.string()));
  for (size_t Address = 0; Address < Flash.size(); ++Address) {
    ASSERT_EQ(Image.GetByte(static_cast<uint16_t>(Address)), Flash[Address])
        << "address " << Address;
  }
  CloseWindow();
}

// A board switched off or silent: the window says which port it tried and
// that no board answered there.
TEST_F(WindowUnderWineTest, WithASilentBoardTheWindowSaysWhereItLooked) {
  sim::TBoardSimOptions Options;
  Options.Silent = true;
  StartBoard(Options);
  LaunchWindow();
  const TRun Run = Drive({"window", "60", "wait", PortNote,
                          "Tried COM5: no board answered; check the board's power and its cable",
                          "60", "state", PortNote, "state", Send});
  ASSERT_EQ(Run.ExitCode, 0) << Run.Out << Run.Err;
  EXPECT_NE(Run.Out.find("1013:enabled=1 visible=1"), std::string::npos) << Run.Out;
  EXPECT_NE(Run.Out.find("1010:enabled=0"), std::string::npos) << Run.Out;
  CloseWindow();
}

// An empty file is refused by name before the chip is touched.
TEST_F(WindowUnderWineTest, AnEmptyFileIsRefusedByNameAndTheChipLeftAlone) {
  sim::TBoardSimOptions Options;
  Options.Chip = "89C51";
  sim::TBoardSim& Board = StartBoard(Options);
  const fs::path Empty = FDir / "empty.hex";
  std::ofstream(Empty).close();
  StartWindow("89C51");
  const TRun Run = Drive(
      {"click", Send, "file", test::WindowsPath(Empty), "30", "box", "60", "text", StatusPanel});
  ASSERT_EQ(Run.ExitCode, 0) << Run.Out << Run.Err;
  EXPECT_NE(Run.Out.find("box=Korvane|No HEX record in file.\n\n" + test::WindowsPath(Empty) +
                         " holds no Intel HEX record at all"),
            std::string::npos)
      << Run.Out;
  EXPECT_NE(Run.Out.find("1006=\n"), std::string::npos) << Run.Out;
  EXPECT_EQ(Board.Counters().EraseCount, 0u);
  CloseWindow();
}

TEST_F(WindowUnderWineTest, CancellingTheDialogsChangesNothing) {
  sim::TBoardSimOptions Options;
  Options.Chip = "89C52";
  sim::TBoardSim& Board = StartBoard(Options);
  StartWindow("89C52");
  const TRun Run = Drive({"click", Send, "cancel", "30", "click", Read, "cancel", "30", "sleep",
                          "1500", "text", StatusPanel, "state", Send, "state", Read});
  ASSERT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_NE(Run.Out.find("1006=\n"), std::string::npos) << Run.Out;
  EXPECT_NE(Run.Out.find("1010:enabled=1"), std::string::npos) << Run.Out;
  EXPECT_NE(Run.Out.find("1011:enabled=1"), std::string::npos) << Run.Out;
  EXPECT_EQ(Board.Counters().EraseCount, 0u);
  const std::vector<uint8_t> Flash = Board.Flash();
  EXPECT_TRUE(std::all_of(Flash.begin(), Flash.end(), [](uint8_t Byte) { return Byte == 0xFF; }));
  for (const auto& Entry : fs::directory_iterator(FDir)) {
    EXPECT_NE(Entry.path().extension(), ".hex") << Entry.path();
  }
  CloseWindow();
}

TEST_F(WindowUnderWineTest, ABoardThatHangsUpMidWriteGivesOneErrorBox) {
  sim::TBoardSimOptions Options;
  Options.Chip = "89C52";
  Options.HangUpAtWriteByte = 100;
  sim::TBoardSim& Board = StartBoard(Options);
  // The line's name stays taken after the hang-up, so that the polls that
  // scan COM5 afterwards meet the dead line and not some other program's new
  // pseudo-terminal under the same name.
  const int Line = open(Board.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(Line, 0) << Board.DevicePath();
  const std::unique_ptr<const int, void (*)(const int*)> CloseLine(
      &Line, [](const int* Fd) { close(*Fd); });
  const fs::path Source = WriteSource(test::Firmware(400));
  StartWindow("89C52");
  const TRun Run = Drive({"click", Send, "file", test::WindowsPath(Source), "30", "box", "60",
                          "nobox", "5", "wait", ChipLabel, "", "30", "state", Send, "alive"});
  ASSERT_EQ(Run.ExitCode, 0) << Run.Out << Run.Err;
  EXPECT_NE(Run.Out.find("box=Korvane|"), std::string::npos) << Run.Out;
  EXPECT_NE(Run.Out.find("(win error code: "), std::string::npos) << Run.Out;
  EXPECT_NE(Run.Out.find("|icon=1"), std::string::npos) << Run.Out;
  // The board is gone: nothing to send to.
  EXPECT_NE(Run.Out.find("1010:enabled=0"), std::string::npos) << Run.Out;
  CloseWindow();
}

TEST_F(WindowUnderWineTest, ACloseAndInputDuringAWriteAreRefusedAndTheWindowClosesAfterIt) {
  sim::TBoardSimOptions Options;
  Options.Chip = "89C52";
  // At 9600 baud the write takes seconds: time enough to ask in the middle.
  Options.Realtime = true;
  Options.EraseMs = 50;
  sim::TBoardSim& Board = StartBoard(Options);
  const std::vector<uint8_t> Data = test::Firmware(2500);
  const fs::path Source = WriteSource(Data);
  StartWindow("89C52");
  // Mid-write the user also clicks Read and presses Enter (the default
  // button): both are dropped, not replayed once the controls come back.
  // clang-format off
  TRun Run = Drive({"click", Send, "file", test::WindowsPath(Source), "30",
                    "wait", StatusPanel, "Writing... [2500 Bytes]", "60",
                    "close", "sleep", "1000", "alive", "text", StatusPanel, "measure", StatusPanel,
                    "state", Send,
                    "press", Read, "key", "13",
                    "wait", StatusPanel, "Complete!", "120", "enabled", Send, "5",
                    "nodialog", "3"});
  // clang-format on
  ASSERT_EQ(Run.ExitCode, 0) << Run.Out << Run.Err;
  EXPECT_NE(Run.Out.find(std::string("1006=") + BusyStatus), std::string::npos) << Run.Out;
  // The refusal fits its panel whole: inside the 2-px bevel and the 2-px
  // margins on either side.
  const size_t Measured = Run.Out.find(std::string("1006:text=") + BusyStatus + " textwidth=");
  ASSERT_NE(Measured, std::string::npos) << Run.Out;
  int TextWidth = 0;
  int PanelWidth = 0;
  ASSERT_EQ(std::sscanf(Run.Out.c_str() + Run.Out.find("textwidth=", Measured),
                        "textwidth=%d width=%d", &TextWidth, &PanelWidth),
            2)
      << Run.Out;
  EXPECT_LE(TextWidth + 2 * 2 + 2 * 2, PanelWidth) << Run.Out;
  // Held while the write ran (and back afterwards: the script waited for it).
  EXPECT_NE(Run.Out.find("1010:enabled=0"), std::string::npos) << Run.Out;
  EXPECT_TRUE(FlashHolds(Board.Flash(), Data));
  CloseWindow();
}

}  // namespace
}  // namespace korvane
