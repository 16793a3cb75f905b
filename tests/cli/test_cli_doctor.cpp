// korvane-cli doctor against the virtual board behind a simulated USB
// adapter, with a fake sysfs tree: what it finds, and the problems it lists.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "CliTestSupport.h"
#include "UBoardSim.h"
#include "UComPort.h"

namespace korvane::test {
namespace {

constexpr uid_t kNobody = 65534;

bool Has(const TProcessResult& Run, const std::string& Text) {
  return Run.Out.find(Text) != std::string::npos;
}

// brltty or ModemManager on the machine add problems of their own.
bool MachineClearOfTakers(const TProcessResult& Run) {
  return Has(Run, "brltty: not installed") && !Has(Run, "ModemManager: running");
}

class CliDoctor : public ::testing::Test {
 protected:
  // A board behind an FTDI adapter whose latency timer is the fake tree's
  // attribute, 16 ms to begin with. Unpaced, so that a loaded machine cannot
  // pass for a slow line.
  void StartBoard() {
    FBoard = std::make_unique<sim::TBoardSim>(BoardOptions());
    FBoard->Start();
    FSysfs = std::make_unique<TFakeSysfs>(FBoard->DevicePath(), "16\n");
    FSysfs->MakeUsbAdapter("0403", "6001", "ftdi_sio");
  }
  sim::TBoardSimOptions BoardOptions() {
    sim::TBoardSimOptions Options;
    Options.UsbLatencyMs = 16;
    Options.LatencyFile = FLatencyLink.File("latency_timer");
    return Options;
  }
  TProcessResult Doctor(const std::string& Ports, TProcessOptions Options = {}) {
    // The board reads the timer where the fake tree keeps it.
    std::filesystem::remove(FLatencyLink.File("latency_timer"));
    std::filesystem::create_symlink(FSysfs->Attribute(), FLatencyLink.File("latency_timer"));
    Options.Env["KORVANE_SYSFS_ROOT"] = FSysfs->Root();
    return RunCli({"doctor"}, Ports, Options);
  }

  TTempDir FLatencyLink;
  std::unique_ptr<sim::TBoardSim> FBoard;
  std::unique_ptr<TFakeSysfs> FSysfs;
};

TEST_F(CliDoctor, ATunableAdapterAndABoardMakeNoProblem) {
  StartBoard();
  const TProcessResult Run = Doctor(FBoard->DevicePath());
  const std::string Device = FBoard->DevicePath();
  EXPECT_TRUE(Has(Run, "ports (1):\n  " + Device + ": can be opened\n")) << Run.Out;
  EXPECT_TRUE(Has(Run, "    USB adapter 0403:6001, driver ftdi_sio\n")) << Run.Out;
  EXPECT_TRUE(Has(Run, "    latency timer: 16 ms, 1 ms while Korvane has the port open\n"))
      << Run.Out;
  EXPECT_TRUE(Has(Run, "board:\n  " + Device + ": 89C52\n  turnaround: ")) << Run.Out;
  EXPECT_TRUE(Has(Run, "  at this pace, the whole 8192-byte chip: program ")) << Run.Out;
  if (MachineClearOfTakers(Run)) {
    EXPECT_EQ(Run.ExitCode, 0) << Run.Out;
    EXPECT_TRUE(Run.Out.ends_with("problems: none\n")) << Run.Out;
  }
  EXPECT_EQ(FSysfs->Value(), "16\n") << "left as it was found";
}

TEST_F(CliDoctor, AnUntunableAdapterIsTwoProblemsWithTheirFixes) {
  StartBoard();
  ASSERT_EQ(chown(FBoard->DevicePath().c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(chmod(FSysfs->Dir().Path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(FLatencyLink.Path().c_str(), 0755), 0);
  TProcessOptions AsNobody;
  AsNobody.Unprivileged = true;
  const TProcessResult Run = Doctor(FBoard->DevicePath(), AsNobody);
  EXPECT_EQ(Run.ExitCode, 1) << Run.Out << Run.Err;
  EXPECT_TRUE(Has(Run, "latency timer: 16 ms, 16 ms while Korvane has the port open")) << Run.Out;
  EXPECT_TRUE(Has(Run, "the adapter's latency timer stays at 16 ms")) << Run.Out;
  EXPECT_TRUE(Has(Run, "fix: install the udev rule 60-korvane.rules")) << Run.Out;
  EXPECT_TRUE(Has(Run, "for the line to turn around")) << Run.Out;
  // The fix names its means rather than pointing above, where nothing may be.
  EXPECT_TRUE(Has(Run, "(the udev rule 60-korvane.rules lets every run do it)")) << Run.Out;
  EXPECT_FALSE(Has(Run, "(see above)")) << Run.Out;
}

TEST_F(CliDoctor, APortHeldByAnotherProgramNamesIt) {
  StartBoard();
  TComPort Holder;
  Holder.SetPort(FBoard->DevicePath());
  Holder.Open();
  const TProcessResult Run = Doctor(FBoard->DevicePath() + ":/dev/korvane-none");
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_TRUE(Has(Run, FBoard->DevicePath() + ": cannot be opened (Device or resource busy)\n"))
      << Run.Out;
  EXPECT_TRUE(Has(Run, "    held by " + std::to_string(getpid()) + " (")) << Run.Out;
  EXPECT_TRUE(Has(Run, "fix: close that program")) << Run.Out;
  EXPECT_TRUE(Has(Run, "/dev/korvane-none: cannot be opened (No such file or directory)"));
  EXPECT_TRUE(Has(Run, "no programmer board answered on any port")) << Run.Out;
}

TEST_F(CliDoctor, APortOnlyItsOwnerMayOpenIsExplainedByItsOwnerAndMode) {
  StartBoard();
  ASSERT_EQ(chown(FBoard->DevicePath().c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(FBoard->DevicePath().c_str(), 0600), 0);
  TProcessOptions AsNobody;
  AsNobody.Unprivileged = true;
  const TProcessResult Run = Doctor(FBoard->DevicePath(), AsNobody);
  EXPECT_EQ(Run.ExitCode, 1);
  EXPECT_TRUE(Has(Run, FBoard->DevicePath() +
                           ": permission denied: it is open to its owner 'root' only (mode 600)"))
      << Run.Out;
  EXPECT_TRUE(Has(Run, "sudo chgrp dialout " + FBoard->DevicePath() + " && sudo chmod 660 "))
      << Run.Out;
  EXPECT_FALSE(Has(Run, "usermod")) << "joining a group cannot help: " << Run.Out;
}

TEST_F(CliDoctor, APortLockedByAnotherUsersProgramIsAProblemThatNamesIt) {
  StartBoard();
  // Locked as other programs lock a port, by a process whose open files
  // nobody may not look at.
  const int Held = open(FBoard->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(Held, 0);
  ASSERT_EQ(flock(Held, LOCK_EX | LOCK_NB), 0);
  ASSERT_EQ(chown(FBoard->DevicePath().c_str(), kNobody, kNobody), 0);
  TProcessOptions AsNobody;
  AsNobody.Unprivileged = true;
  const TProcessResult Run = Doctor(FBoard->DevicePath(), AsNobody);
  close(Held);
  EXPECT_EQ(Run.ExitCode, 1);
  const std::string Holder = std::to_string(getpid()) + " (";
  EXPECT_TRUE(Has(Run, "cannot be opened (Device or resource busy)\n    held by " + Holder))
      << Run.Out;
  EXPECT_TRUE(Has(Run, FBoard->DevicePath() + ": held by " + Holder)) << Run.Out;
  EXPECT_TRUE(Has(Run, "fix: close that program")) << Run.Out;
}

}  // namespace
}  // namespace korvane::test
