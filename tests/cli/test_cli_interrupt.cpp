// korvane-cli stopped by a signal while it works, against a virtual board
// paced at 9600 baud: the board must be left at its prompt, the port given
// back, the files whole, and the user told where the chip stands.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "CliTestSupport.h"
#include "UBoardSim.h"

namespace korvane::test {
namespace {

using namespace std::chrono_literals;

constexpr int Interrupted = 130;
constexpr size_t ImageBytes = 1000;

// The latency-timer note for an adapter the user may not tune.
TEST(CliLatencyNote, SaysOnceThatTheTimerCouldNotBeSetAndHowToFixIt) {
  sim::TBoardSimOptions Options;
  sim::TBoardSim Board(Options);
  Board.Start();
  TFakeSysfs Sysfs(Board.DevicePath(), "16\n");
  ASSERT_EQ(chmod(Sysfs.Dir().Path().c_str(), 0755), 0);
  ASSERT_EQ(chown(Board.DevicePath().c_str(), 65534, 65534), 0);
  TProcessOptions AsNobody;
  AsNobody.Unprivileged = true;
  AsNobody.Env["KORVANE_SYSFS_ROOT"] = Sysfs.Root();
  const TProcessResult Run = RunCli({"erase"}, Board.DevicePath(), AsNobody);
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  const std::string Note =
      "note: the USB adapter's latency timer is 16 ms and could not be set to 1 (Permission "
      "denied), so writing is slow; fix: install the udev rule 60-korvane.rules (see "
      "'korvane-cli doctor'), or run: echo 1 | sudo tee " +
      Sysfs.Attribute() + "\n";
  EXPECT_NE(Run.Err.find(Note), std::string::npos) << Run.Err;
  EXPECT_EQ(Run.Err.find("note:"), Run.Err.rfind("note:")) << "once";
  EXPECT_EQ(Sysfs.Value(), "16\n");
}

class CliInterrupt : public ::testing::Test {
 protected:
  void StartBoard(const std::string& Chip, int EraseMs = 200, bool Signature = true) {
    sim::TBoardSimOptions Options;
    Options.Chip = Chip;
    Options.Realtime = true;
    Options.EraseMs = EraseMs;
    Options.NoSignatureAnswer = !Signature;
    FBoard = std::make_unique<sim::TBoardSim>(std::move(Options));
    FBoard->Start();
  }
  std::unique_ptr<TChildProcess> Start(const std::vector<std::string>& Args,
                                       TProcessOptions Options = {}) {
    return StartCli(Args, FBoard->DevicePath(), std::move(Options));
  }
  // The board answers a new scan at once: it is at its prompt.
  void ExpectBoardAtItsPrompt() {
    const TProcessResult Detect = RunCli({"detect"}, FBoard->DevicePath());
    EXPECT_EQ(Detect.ExitCode, 0) << Detect.Err;
  }

  TTempDir FDir;
  std::unique_ptr<sim::TBoardSim> FBoard;
};

struct TWriteStop {
  const char* Name;
  int Signal;
};

class CliInterruptMidWrite : public CliInterrupt,
                             public ::testing::WithParamInterface<TWriteStop> {};

TEST_P(CliInterruptMidWrite, FinishesTheStreamWithFFAndSaysWhatWasWritten) {
  StartBoard("89C52");
  const std::vector<uint8_t> Image = PatternBytes(ImageBytes, 7);
  const std::string File = FDir.File("image.hex");
  WriteHexFile(File, Image);

  // Behind a USB adapter whose latency timer the tool lowers while it works.
  TFakeSysfs Sysfs(FBoard->DevicePath(), "16\n");
  TProcessOptions Options;
  Options.Env["KORVANE_SYSFS_ROOT"] = Sysfs.Root();
  auto Cli = Start({"program", File}, Options);
  ASSERT_TRUE(Cli->Await("Writing... [1000 Bytes]"));
  EXPECT_EQ(Sysfs.Value(), "1\n");
  std::this_thread::sleep_for(300ms);
  Cli->Signal(GetParam().Signal);
  const TProcessResult Run = Cli->Finish();
  EXPECT_EQ(Sysfs.Value(), "16\n");

  EXPECT_EQ(Run.ExitCode, Interrupted) << Run.Err;
  std::smatch Match;
  const std::regex Said("Interrupted: written (\\d+) of 1000 bytes; the chip is not verified\n$");
  ASSERT_TRUE(std::regex_search(Run.Err, Match, Said)) << Run.Err;
  const size_t Written = std::stoul(Match[1]);
  EXPECT_GT(Written, 0u);
  EXPECT_LT(Written, ImageBytes);
  EXPECT_EQ(Lines(Run.Out).back(), "Writing... [1000 Bytes]") << "no verify after the stop";

  // The chip holds exactly what the note said: the file up to there, then
  // nothing but the FF the stream was finished with.
  const std::vector<uint8_t> Flash = FBoard->Flash();
  for (size_t Address = 0; Address < Flash.size(); ++Address) {
    ASSERT_EQ(Flash[Address], Address < Written ? Image[Address] : 0xFF) << "at " << Address;
  }
  ExpectBoardAtItsPrompt();
}

INSTANTIATE_TEST_SUITE_P(EachStopSignal, CliInterruptMidWrite,
                         ::testing::Values(TWriteStop{"Sigint", SIGINT},
                                           TWriteStop{"Sigterm", SIGTERM},
                                           TWriteStop{"Sighup", SIGHUP}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(CliInterrupt, MidReadReadsToThePromptAndSavesNothing) {
  StartBoard("89C2051");
  const std::string Out = FDir.File("out.hex");
  WriteTextFile(Out, "previous\n");
  auto Cli = Start({"read", Out});
  ASSERT_TRUE(Cli->Await("Reading..."));
  std::this_thread::sleep_for(300ms);
  Cli->Signal(SIGINT);
  const TProcessResult Run = Cli->Finish();

  EXPECT_EQ(Run.ExitCode, Interrupted) << Run.Err;
  EXPECT_TRUE(Run.Err.ends_with("Interrupted: nothing was saved\n")) << Run.Err;
  EXPECT_EQ(ReadTextFile(Out), "previous\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FDir.Path()),
                          std::filesystem::directory_iterator()),
            1)
      << "no temporary file left";
  ExpectBoardAtItsPrompt();
}

TEST_F(CliInterrupt, MidEraseWaitsForTheEraseAndWritesNothing) {
  StartBoard("89C52", 3000);
  FBoard->SetFlash(std::vector<uint8_t>(8192, 0x5A));
  auto Cli = Start({"program", ExampleFile("blink/blink.hex")});
  ASSERT_TRUE(Cli->Await("Erasing...[1/10]"));
  std::this_thread::sleep_for(300ms);
  Cli->Signal(SIGTERM);
  const TProcessResult Run = Cli->Finish();

  EXPECT_EQ(Run.ExitCode, Interrupted) << Run.Err;
  EXPECT_TRUE(Run.Err.ends_with("Interrupted: the chip is erased; nothing was written\n"))
      << Run.Err;
  EXPECT_EQ(FBoard->Flash(), std::vector<uint8_t>(8192, 0xFF));
  EXPECT_EQ(FBoard->ReceivedBytes().find('s'), std::string::npos) << "no counter after the stop";
  ExpectBoardAtItsPrompt();
}

TEST_F(CliInterrupt, BeforeTheBoardIsInAnyStreamTheStopIsImmediate) {
  // The chip never answers "p": the scan would wait 30 s for it.
  StartBoard("89C52", 200, false);
  TProcessOptions Options;
  Options.TimeoutSeconds = 20;
  auto Cli = Start({"program", ExampleFile("blink/blink.hex")}, Options);
  ASSERT_TRUE(Cli->Await("Identify target chip"));
  Cli->Signal(SIGINT);
  const TProcessResult Run = Cli->Finish();
  EXPECT_EQ(Run.ExitCode, Interrupted) << Run.Err;
  EXPECT_TRUE(Run.Err.ends_with("Interrupted\n")) << Run.Err;
  EXPECT_EQ(FBoard->ReceivedBytes().find('e'), std::string::npos);
}

TEST_F(CliInterrupt, ASecondSignalEndsAtOnceAndStillGivesThePortBack) {
  // As an ordinary user: root is not held back by the port's exclusive claim,
  // so only a second opener without privileges shows that it was released.
  StartBoard("89C52");
  ASSERT_EQ(chown(FBoard->DevicePath().c_str(), 65534, 65534), 0);
  const std::string File = FDir.File("image.hex");
  WriteHexFile(File, PatternBytes(ImageBytes, 3));
  ASSERT_EQ(chmod(FDir.Path().c_str(), 0755), 0);

  TFakeSysfs Sysfs(FBoard->DevicePath(), "16\n");
  ASSERT_EQ(chown(Sysfs.Attribute().c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(Sysfs.Dir().Path().c_str(), 0755), 0);
  TProcessOptions AsNobody;
  AsNobody.Unprivileged = true;
  AsNobody.Env["KORVANE_SYSFS_ROOT"] = Sysfs.Root();
  auto Cli = Start({"program", File}, AsNobody);
  ASSERT_TRUE(Cli->Await("Writing... [1000 Bytes]"));
  EXPECT_EQ(Sysfs.Value(), "1\n");
  std::this_thread::sleep_for(300ms);
  Cli->Signal(SIGINT);
  std::this_thread::sleep_for(200ms);
  Cli->Signal(SIGINT);
  const TProcessResult Run = Cli->Finish();

  EXPECT_EQ(Run.ExitCode, Interrupted) << Run.Err;
  EXPECT_NE(Run.Err.find("Interrupted again: stopped at once"), std::string::npos) << Run.Err;
  EXPECT_LT(FBoard->ReceivedBytes().size(), ImageBytes) << "the stream was not finished";
  EXPECT_EQ(Sysfs.Value(), "16\n") << "the latency timer is put back even so";
  const TProcessResult Ports = RunCli({"ports"}, FBoard->DevicePath(), AsNobody);
  EXPECT_EQ(Ports.Out, FBoard->DevicePath() + ": can be opened\n") << Ports.Err;
}

}  // namespace
}  // namespace korvane::test
