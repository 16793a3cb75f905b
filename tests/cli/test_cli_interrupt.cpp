// korvane-cli stopped by a signal while it works, against a virtual board
// paced at 9600 baud: the board must be left at its prompt, the port given
// back, the files whole, and the user told where the chip stands.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
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

  // A timer nobody may set, but no folder for the note a killed run would
  // need: it is not lowered at all, and the run says why, once.
  ASSERT_EQ(chown(Sysfs.Attribute().c_str(), 65534, 65534), 0);
  AsNobody.Env["XDG_RUNTIME_DIR"] = "";
  AsNobody.Env["XDG_CACHE_HOME"] = "";
  AsNobody.Env["HOME"] = "/nonexistent";
  const TProcessResult Unnoted = RunCli({"erase"}, Board.DevicePath(), AsNobody);
  EXPECT_EQ(Unnoted.ExitCode, 0) << Unnoted.Err;
  EXPECT_NE(Unnoted.Err.find("note: the USB adapter's latency timer stays at 16 ms, so writing is "
                             "slow: there is no folder to note the 1 ms in (/nonexistent/.cache/"
                             "korvane cannot be written)"),
            std::string::npos)
      << Unnoted.Err;
  EXPECT_EQ(Unnoted.Err.find("note:"), Unnoted.Err.rfind("note:")) << "once";
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
  // The board behind a USB adapter whose latency timer (16 ms) the tool
  // lowers while it works, on a device that only root and nobody may open.
  TProcessOptions BehindAnAdapter() {
    FSysfs = std::make_unique<TFakeSysfs>(FBoard->DevicePath(), "16\n");
    EXPECT_EQ(chown(FBoard->DevicePath().c_str(), 65534, 65534), 0);
    EXPECT_EQ(chmod(FBoard->DevicePath().c_str(), 0600), 0);
    TProcessOptions Options;
    Options.Env["KORVANE_SYSFS_ROOT"] = FSysfs->Root();
    return Options;
  }
  // What every stop must give back: the timer, and the claim on the port,
  // which only a second opener without privileges can prove.
  void ExpectPortGivenBack() {
    EXPECT_EQ(FSysfs->Value(), "16\n") << "the latency timer put back";
    TProcessOptions AsNobody;
    AsNobody.Unprivileged = true;
    const TProcessResult Ports = RunCli({"ports"}, FBoard->DevicePath(), AsNobody);
    EXPECT_EQ(Ports.Out, FBoard->DevicePath() + ": can be opened\n") << Ports.Err;
  }
  // Waits until the board is in its write stream, and a little more.
  void AwaitWriteStream() {
    for (int Tries = 0; Tries < 3000 && FBoard->ReceivedBytes().find('w') == std::string::npos;
         ++Tries) {
      std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(300ms);
  }

  TTempDir FDir;
  std::unique_ptr<sim::TBoardSim> FBoard;
  std::unique_ptr<TFakeSysfs> FSysfs;
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
  // 2048 bytes are 4.3 s of digits at the wire's pace; the stop came about
  // when the first of them did (the board settles for 0.5 s first).
  EXPECT_TRUE(std::regex_search(Run.Err, std::regex("\nStopping: reading the chip to the end, "
                                                    "about [2-5] s; Ctrl-C again abandons")))
      << Run.Err;
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
  // Each view still gets the closing line the run owes its reader.
  const std::string Blink = ExampleFile("blink/blink.hex");
  const struct {
    std::vector<std::string> Args;
    std::string Closing;
  } Views[] = {
      {{"program", Blink}, ""},
      {{"program", Blink, "--repeat"}, "0 programmed, 0 failed, 0 skipped\n"},
      {{"read", FDir.File("x.hex"), "--json"},
       "{\"event\":\"result\",\"command\":\"read\",\"exit\":130,\"interrupted\":true,"},
      {{"program", Blink, "--repeat", "--json"},
       "{\"event\":\"summary\",\"command\":\"program\",\"exit\":130,\"interrupted\":true,"},
  };
  for (const auto& View : Views) {
    auto Cli = Start(View.Args, Options);
    ASSERT_TRUE(Cli->Await("Identify target chip"));
    Cli->Signal(SIGINT);
    const TProcessResult Run = Cli->Finish();
    EXPECT_EQ(Run.ExitCode, Interrupted) << Run.Err;
    EXPECT_TRUE(Run.Err.ends_with("Interrupted\n")) << Run.Err;
    const std::vector<std::string> Out = Lines(Run.Out);
    if (View.Closing.empty()) {
      EXPECT_EQ(Run.Out, "");
    } else {
      ASSERT_FALSE(Out.empty()) << View.Args[2];
      EXPECT_TRUE((Out.back() + "\n").starts_with(View.Closing)) << Run.Out;
    }
  }
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

TEST_F(CliInterrupt, AfterSigkillDoctorNamesTheTimerLeftLowAndWhatItWas) {
  StartBoard("89C52", 3000);
  TProcessOptions Options = BehindAnAdapter();
  Options.Env["XDG_RUNTIME_DIR"] = FDir.File("run");
  auto Cli = Start({"erase"}, Options);
  ASSERT_TRUE(Cli->Await("Erasing...[1/10]"));
  Cli->Signal(SIGKILL);
  Cli->Finish();
  ASSERT_EQ(FSysfs->Value(), "1\n") << "nothing can put it back after SIGKILL";

  const TProcessResult Doctor = RunCli({"doctor"}, FBoard->DevicePath(), Options);
  EXPECT_EQ(Doctor.ExitCode, 1) << Doctor.Out;
  EXPECT_NE(Doctor.Out.find(": the adapter's latency timer was left at 1 ms by a korvane-cli run "
                            "that was killed; it was 16 ms before"),
            std::string::npos)
      << Doctor.Out;
  EXPECT_NE(Doctor.Out.find("fix: put it back: echo 16 | sudo tee " + FSysfs->Attribute()),
            std::string::npos)
      << Doctor.Out;
  EXPECT_EQ(Doctor.Out.find("problems: none"), std::string::npos);
  EXPECT_EQ(FSysfs->Value(), "1\n") << "whether 1 ms is now wanted, only the user knows";
  // A later run says so too, and does not take 1 ms for the value to keep;
  // once the erase that the killed run began is over.
  for (int Tries = 0; Tries < 50 && RunCli({"detect"}, FBoard->DevicePath()).ExitCode != 0;
       ++Tries) {
    std::this_thread::sleep_for(100ms);
  }
  const TProcessResult Later = RunCli({"erase"}, FBoard->DevicePath(), Options);
  EXPECT_NE(Later.Err.find("note: the USB adapter's latency timer was left at 1 ms by a "
                           "korvane-cli run that was ended before it could put back the 16 ms it "
                           "found; see 'korvane-cli doctor'\n"),
            std::string::npos)
      << Later.Err;
  EXPECT_EQ(FSysfs->Value(), "1\n");
}

// The first stop during a write is answered at once, in every view, with
// what finishing the stream takes.
struct TNoticeView {
  const char* Name;
  const char* Option;
};

class CliStopNotice : public CliInterrupt, public ::testing::WithParamInterface<TNoticeView> {};

TEST_P(CliStopNotice, SaysAtOnceWhatFinishingTheWriteTakes) {
  StartBoard("89C52");
  const std::string File = FDir.File("image.hex");
  WriteHexFile(File, PatternBytes(ImageBytes, 5));
  const std::string View = GetParam().Option;
  std::vector<std::string> Args = {"program", File};
  if (!View.empty()) {
    Args.push_back(View);
  }
  auto Cli = Start(Args, BehindAnAdapter());
  AwaitWriteStream();
  Cli->Signal(SIGINT);
  const std::string Notice = "Stopping: finishing the write with FF, about ";
  EXPECT_TRUE(Cli->Await(Notice, 1)) << "within a second of the signal";
  const TProcessResult Run = Cli->Finish();

  EXPECT_EQ(Run.ExitCode, Interrupted) << Run.Err;
  std::smatch Match;
  ASSERT_TRUE(std::regex_search(
      Run.Err, Match,
      std::regex(Notice + "(\\d+) s; Ctrl-C again abandons the board in its stream\n")))
      << Run.Err;
  // 1000 bytes take 3.1 s at the wire's pace; the stop came 0.3 s in.
  EXPECT_GE(std::stoi(Match[1]), 1);
  EXPECT_LE(std::stoi(Match[1]), 4);
  EXPECT_LT(Run.Err.find(Notice), Run.Err.find("Interrupted: written "));
  if (View == "--json") {
    EXPECT_TRUE(std::regex_search(
        Run.Out, std::regex("\\{\"event\":\"stopping\",\"step\":\"write\",\"bytes_left\":\\d+,"
                            "\"seconds\":" +
                            std::string(Match[1]) + ",\"output_closed\":false\\}\n")))
        << Run.Out;
  }
  ExpectPortGivenBack();
  ExpectBoardAtItsPrompt();
}

INSTANTIATE_TEST_SUITE_P(EachView, CliStopNotice,
                         ::testing::Values(TNoticeView{"Text", ""}, TNoticeView{"Quiet", "-q"},
                                           TNoticeView{"Json", "--json"}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(CliInterrupt, AClosedOutputStopsTheWriteAsCtrlCDoes) {
  StartBoard("89C52");
  const std::vector<uint8_t> Image = PatternBytes(ImageBytes, 9);
  const std::string File = FDir.File("image.hex");
  WriteHexFile(File, Image);
  TProcessOptions Options = BehindAnAdapter();
  Options.Env["KORVANE_PORTS"] = FBoard->DevicePath();
  // head leaves after a few progress events, in the middle of the write.
  const TProcessResult Run =
      RunProcess("/bin/bash",
                 {"-c", "'" + CliPath() + "' program '" + File +
                            "' --json | head -n 12 >/dev/null; exit ${PIPESTATUS[0]}"},
                 Options);

  EXPECT_EQ(Run.ExitCode, Interrupted) << "not ended by SIGPIPE: " << Run.Err;
  EXPECT_NE(Run.Err.find("Stopping (the output was closed): finishing the write with FF"),
            std::string::npos)
      << Run.Err;
  std::smatch Match;
  ASSERT_TRUE(
      std::regex_search(Run.Err, Match, std::regex("Interrupted: written (\\d+) of 1000 bytes")))
      << Run.Err;
  const std::vector<uint8_t> Flash = FBoard->Flash();
  for (size_t Address = 0; Address < Flash.size(); ++Address) {
    ASSERT_EQ(Flash[Address], Address < std::stoul(Match[1]) ? Image[Address] : 0xFF)
        << "at " << Address;
  }
  ExpectPortGivenBack();
  ExpectBoardAtItsPrompt();
}

TEST_F(CliInterrupt, AStopDuringTheLastStepLetsItsResultStand) {
  StartBoard("89C52");
  const std::vector<uint8_t> Image = PatternBytes(ImageBytes, 4);
  std::vector<uint8_t> Flash(8192, 0xFF);
  std::copy(Image.begin(), Image.end(), Flash.begin());
  FBoard->SetFlash(Flash);
  const std::string File = FDir.File("image.hex");
  WriteHexFile(File, Image);
  auto Cli = Start({"verify", "--fast-verify", File});
  ASSERT_TRUE(Cli->Await("Fast Verify..."));
  Cli->Signal(SIGINT);
  const TProcessResult Run = Cli->Finish();

  // The checksum was asked for and compared: the check finished.
  EXPECT_NE(Run.Out.find("\nComplete!\n"), std::string::npos) << Run.Out;
  EXPECT_EQ(Run.ExitCode, 0) << Run.Err;
  EXPECT_EQ(Run.Err.find("Interrupted"), std::string::npos) << Run.Err;
  EXPECT_NE(Run.Err.find("Not interrupted: the stop came during the last step, which finished"),
            std::string::npos)
      << Run.Err;
}

// doctor, stopped while it looks for a board that never answers "p".
class CliDoctorStop : public CliInterrupt, public ::testing::WithParamInterface<TWriteStop> {};

TEST_P(CliDoctorStop, GivesThePortBackAndKeepsTheReportSoFar) {
  StartBoard("89C52", 200, false);
  auto Cli = Start({"doctor"}, BehindAnAdapter());
  ASSERT_TRUE(Cli->Await("board:\n"));
  std::this_thread::sleep_for(500ms);
  Cli->Signal(GetParam().Signal);
  const TProcessResult Run = Cli->Finish();

  EXPECT_EQ(Run.ExitCode, Interrupted) << Run.Err;
  EXPECT_TRUE(Run.Out.starts_with("ports (1):\n  " + FBoard->DevicePath() + ": can be opened\n"))
      << Run.Out;
  EXPECT_NE(Run.Out.find("    latency timer: 16 ms, 1 ms while Korvane has the port open\n"),
            std::string::npos)
      << Run.Out;
  EXPECT_TRUE(Run.Out.ends_with("board:\ninterrupted: the check-up did not finish\n")) << Run.Out;
  ExpectPortGivenBack();
}

INSTANTIATE_TEST_SUITE_P(EachStopSignal, CliDoctorStop,
                         ::testing::Values(TWriteStop{"Sigint", SIGINT},
                                           TWriteStop{"Sigterm", SIGTERM}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// Where a read cannot save, it says so before the board is touched.
struct TReadTarget {
  const char* Name;
  const char* Said;
};

class CliReadTarget : public CliInterrupt, public ::testing::WithParamInterface<TReadTarget> {
 protected:
  std::string MakeTarget(const std::string& Name) {
    if (Name == "Fifo") {
      EXPECT_EQ(mkfifo(FDir.File("fifo").c_str(), 0600), 0);
      return FDir.File("fifo");
    }
    if (Name == "Device") {
      return "/dev/null";
    }
    if (Name == "Folder") {
      return FDir.Path();
    }
    if (Name == "NameTooLong") {
      return FDir.File(std::string(300, 'a') + ".hex");
    }
    if (Name == "SymlinkLoop") {
      std::filesystem::create_symlink(FDir.File("b.hex"), FDir.File("a.hex"));
      std::filesystem::create_symlink(FDir.File("a.hex"), FDir.File("b.hex"));
      return FDir.File("a.hex");
    }
    return FDir.File("missing/out.hex");
  }
};

TEST_P(CliReadTarget, IsRefusedByNameBeforeTheBoardIsTouched) {
  StartBoard("89C52");
  const std::string Target = MakeTarget(GetParam().Name);
  TProcessOptions Options;
  Options.TimeoutSeconds = 10;
  const TProcessResult Run = RunCli({"read", Target}, FBoard->DevicePath(), Options);
  EXPECT_EQ(Run.ExitCode, 4) << Run.Err;
  EXPECT_EQ(Run.Err, "error: " + Target + ": " + GetParam().Said + "\n");
  EXPECT_EQ(FBoard->ReceivedBytes(), "") << "no scan";
}

INSTANTIATE_TEST_SUITE_P(
    EachKind, CliReadTarget,
    ::testing::Values(TReadTarget{"Fifo", "Not a regular file (FIFO)"},
                      TReadTarget{"Device", "Not a regular file (character device)"},
                      TReadTarget{"Folder", "Not a regular file (folder)"},
                      TReadTarget{"NameTooLong", "File name too long"},
                      TReadTarget{"SymlinkLoop", "Too many levels of symbolic links"},
                      TReadTarget{"MissingFolder", "File not found"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace korvane::test
