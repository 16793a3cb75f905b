// korvane-boardsim, the program: its help, its device-path line, its link and
// transcript, and its counters line at exit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "HostEnd.h"

extern char** environ;

namespace korvane::sim::test {
namespace {

const std::string CProgram = KORVANE_BINARY_DIR "/sim/korvane-boardsim";

// The program running with its stdout and stderr on pipes.
class TProgram {
 public:
  explicit TProgram(std::vector<std::string> Args) {
    int Out[2], Err[2];
    if (::pipe2(Out, O_CLOEXEC) != 0 || ::pipe2(Err, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_adddup2(&Actions, Out[1], 1);
    posix_spawn_file_actions_adddup2(&Actions, Err[1], 2);
    Args.insert(Args.begin(), CProgram);
    std::vector<char*> Argv;
    for (std::string& Arg : Args) {
      Argv.push_back(Arg.data());
    }
    Argv.push_back(nullptr);
    const int Failed =
        posix_spawn(&FPid, CProgram.c_str(), &Actions, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    ::close(Out[1]);
    ::close(Err[1]);
    FOut = Out[0];
    FErr = Err[0];
    if (Failed != 0) {
      throw std::runtime_error("cannot start " + CProgram);
    }
  }
  ~TProgram() {
    if (FPid > 0) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
    ::close(FOut);
    ::close(FErr);
  }

  // The first line on stdout (without its newline), within a few seconds.
  std::string FirstLine() {
    std::string Line;
    char C;
    pollfd Fd{FOut, POLLIN, 0};
    while (::poll(&Fd, 1, 5000) > 0 && ::read(FOut, &C, 1) == 1 && C != '\n') {
      Line += C;
    }
    return Line;
  }
  void Signal(int Number) { ::kill(FPid, Number); }
  // Waits for the end; the exit code, or -1 after a signal or a time-out.
  int Wait() {
    int Status = 0;
    pid_t Done = 0;
    for (int I = 0; I < 500 && (Done = ::waitpid(FPid, &Status, WNOHANG)) == 0; ++I) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (Done != FPid) {
      return -1;
    }
    FPid = -1;
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  }
  std::string Rest(int Fd) {
    std::string Text;
    char Buffer[4096];
    ssize_t Got;
    while ((Got = ::read(Fd, Buffer, sizeof Buffer)) > 0) {
      Text.append(Buffer, size_t(Got));
    }
    return Text;
  }
  std::string Stdout() { return Rest(FOut); }
  std::string Stderr() { return Rest(FErr); }

 private:
  pid_t FPid = -1;
  int FOut = -1;
  int FErr = -1;
};

TEST(BoardSimProgram, HelpDocumentsEveryOption) {
  TProgram Program({"--help"});
  EXPECT_EQ(Program.Wait(), 0);
  const std::string Help = Program.Stdout();
  for (const char* Option :
       {"--chip",           "--size",         "--realtime",    "--sleep-pacing", "--erase-ms",
        "--link",           "--transcript",   "--usb-latency", "--latency-file", "--socket",
        "--erase-tries",    "--no-signature", "--wrong-echo",  "--dc3-at",       "--corrupt-at",
        "--wrong-checksum", "--hangup-at",    "--silent",      "--no-banner",    "--help",
        "89LV55",           "89C2051",        "counters:"}) {
    EXPECT_NE(Help.find(Option), std::string::npos) << Option;
  }
}

TEST(BoardSimProgram, RefusesWhatItDoesNotKnow) {
  for (std::vector<std::string> Args :
       std::vector<std::vector<std::string>>{{"--bogus"},
                                             {"--chip", "8051"},
                                             {"--size", "3000", "--chip", "89C2051"},
                                             {"--dc3-at", "x"},
                                             {"--wrong-echo", "xy"},
                                             {"--usb-latency", "-1"},
                                             {"--erase-ms"}}) {
    TProgram Program(Args);
    EXPECT_EQ(Program.Wait(), 2) << Args[0];
    EXPECT_NE(Program.Stderr().find("korvane-boardsim: "), std::string::npos) << Args[0];
    EXPECT_EQ(Program.Stdout(), "") << Args[0];
  }
}

TEST(BoardSimProgram, ServesOnTheDeviceItPrintsUntilTerminated) {
  TTempDir Dir;
  const std::string Link = Dir.File("board");
  const std::string TranscriptPath = Dir.File("transcript.txt");
  TProgram Program({"--chip", "89C4051", "--size", "4096", "--link", Link, "--transcript",
                    TranscriptPath, "--erase-tries", "2"});
  const std::string Device = Program.FirstLine();
  ASSERT_EQ(Device.rfind("/dev/", 0), 0u) << Device;
  EXPECT_EQ(std::filesystem::read_symlink(Link).string(), Device);

  {
    THostEnd Host(Link);
    EXPECT_NE(Host.Ask("\r", '>').find("2051"), std::string::npos);
    EXPECT_TRUE(SetCounter(Host, 4096));
    Host.Ask("e", '>');
  }

  Program.Signal(SIGTERM);
  EXPECT_EQ(Program.Wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(Link)));
  // "\r", "s", "4096", "\n", "e"; the banner, five DC1, "ok\r\n>", "e ok\r\n>".
  const std::string Counters = Program.Stderr();
  unsigned long long FromHost = 0, ToHost = 0, Erases = 0, EraseMs = 0;
  const size_t At = Counters.find("counters: ");
  ASSERT_NE(At, std::string::npos) << Counters;
  ASSERT_EQ(std::sscanf(Counters.c_str() + At,
                        "counters: from-host=%llu to-host=%llu erases=%llu erase-ms=%llu",
                        &FromHost, &ToHost, &Erases, &EraseMs),
            4)
      << Counters;
  EXPECT_EQ(FromHost, 8u);
  EXPECT_EQ(Erases, 1u);
  EXPECT_EQ(EraseMs, 200u);

  const std::string Transcript = ReadFile(TranscriptPath);
  EXPECT_EQ(Transcript.rfind("# korvane-boardsim 89C4051 on " + Device, 0), 0u) << Transcript;
  EXPECT_NE(Transcript.find("> 0D CR\n< 0D CR\n< 0A LF\n< 56 'V'\n"), std::string::npos);
  EXPECT_NE(Transcript.find("> 65 'e'\n! fault: erase 1 of 2 leaves the chip not blank\n< 65 'e'"),
            std::string::npos);
  const auto Lines = [&](const std::string& Prefix) {
    size_t Count = 0;
    for (size_t At = Transcript.find('\n' + Prefix); At != std::string::npos;
         At = Transcript.find('\n' + Prefix, At + 1)) {
      ++Count;
    }
    return Count;
  };
  EXPECT_EQ(Lines("> "), 8u);
  EXPECT_EQ(Lines("< "), ToHost);
}

TEST(BoardSimProgram, SleepPacingIsTaken) {
  TProgram Program({"--realtime", "--sleep-pacing"});
  const std::string Device = Program.FirstLine();
  ASSERT_EQ(Device.rfind("/dev/", 0), 0u) << Device;
  {
    THostEnd Host(Device);
    EXPECT_NE(Host.Ask("\r", '>').find("Programmer"), std::string::npos);
  }
  Program.Signal(SIGTERM);
  EXPECT_EQ(Program.Wait(), 0);
}

TEST(BoardSimProgram, InterruptEndsItToo) {
  TProgram Program({"--silent"});
  ASSERT_EQ(Program.FirstLine().rfind("/dev/", 0), 0u);
  Program.Signal(SIGINT);
  EXPECT_EQ(Program.Wait(), 0);
  EXPECT_NE(Program.Stderr().find("counters: from-host=0 to-host=0 erases=0 erase-ms=0"),
            std::string::npos);
}

}  // namespace
}  // namespace korvane::sim::test
