// The USB adapter's latency timer, in a fake sysfs tree beside a real
// pseudo-terminal: lowered to 1 ms while the port is open, the old value put
// back on every way the port is given back, and a refusal noted rather than
// fatal.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "PtyPair.h"
#include "TestFiles.h"
#include "UComPort.h"

namespace korvane {
namespace {

using test::TFakeSysfs;
using test::TPtyPair;

constexpr uid_t kNobody = 65534;

TEST(LatencyTimer, IsLoweredWhileOpenAndPutBackOnClose) {
  TPtyPair Pty;
  TFakeSysfs Sysfs(Pty.SlavePath(), "16\n");
  // By its own path, and by a link as /dev/serial/by-id gives one.
  const std::string Link = Sysfs.Dir().File("usb-FTDI_FT232R-if00-port0");
  std::filesystem::create_symlink(Pty.SlavePath(), Link);
  const std::string Notes = Sysfs.Dir().File("notes");
  for (const std::string& Name : {Pty.SlavePath(), Link}) {
    TComPort Port;
    Port.SetSysfsRoot(Sysfs.Root());
    Port.SetStateDir(Notes);
    Port.SetPort(Name);
    Port.Open();
    EXPECT_EQ(Sysfs.Value(), "1\n") << Name;
    const TAdapterLatency& Latency = Port.AdapterLatency();
    EXPECT_TRUE(Latency.Found);
    EXPECT_EQ(Latency.Attribute, Sysfs.Attribute());
    EXPECT_EQ(Latency.Before, 16);
    EXPECT_EQ(Latency.Now, 1);
    EXPECT_EQ(Latency.WriteError, 0);
    Port.Close();
    EXPECT_EQ(Sysfs.Value(), "16\n") << Name;
  }
  {
    TComPort Port;
    Port.SetSysfsRoot(Sysfs.Root());
    Port.SetStateDir(Notes);
    Port.SetPort(Pty.SlavePath());
    Port.Open();
  }
  EXPECT_EQ(Sysfs.Value(), "16\n") << "the destructor puts it back too";

  // Without a folder for the note that a killed run leaves, the timer stays.
  const std::string File = Sysfs.Dir().File("a-file");
  test::WriteTextFile(File, "");
  for (const std::string& NoFolder : {std::string(), File + "/notes"}) {
    TComPort Port;
    Port.SetSysfsRoot(Sysfs.Root());
    Port.SetStateDir(NoFolder);
    Port.SetPort(Pty.SlavePath());
    Port.Open();
    EXPECT_EQ(Sysfs.Value(), "16\n") << NoFolder;
    EXPECT_TRUE(Port.AdapterLatency().Unnoted) << NoFolder;
  }
}

TEST(LatencyTimer, OneMillisecondOrNoAttributeIsLeftAlone) {
  TPtyPair Pty;
  TFakeSysfs Sysfs(Pty.SlavePath(), "1\n");
  ASSERT_EQ(chmod(Sysfs.Attribute().c_str(), 0444), 0);
  TComPort Port;
  Port.SetSysfsRoot(Sysfs.Root());
  Port.SetPort(Pty.SlavePath());
  Port.Open();
  EXPECT_TRUE(Port.AdapterLatency().Found);
  EXPECT_EQ(Port.AdapterLatency().WriteError, 0) << "nothing was written";
  Port.Close();

  Port.SetSysfsRoot(Sysfs.Dir().File("nothing-here"));
  Port.Open();
  EXPECT_FALSE(Port.AdapterLatency().Found);
  EXPECT_TRUE(Port.Connected());
}

// As nobody, who may not write the attribute: the port opens all the same.
void OpenAsNobodyAndExit(const std::string& Device, const std::string& Root) {
  if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
    _exit(2);
  }
  TComPort Port;
  Port.SetSysfsRoot(Root);
  Port.SetStateDir("/tmp");
  Port.SetPort(Device);
  Port.Open();
  const TAdapterLatency& Latency = Port.AdapterLatency();
  std::fprintf(stderr, "found=%d before=%d now=%d error=%s", Latency.Found, Latency.Before,
               Latency.Now, Latency.WriteError == EACCES ? "EACCES" : "other");
  _exit(Port.Connected() ? 0 : 3);
}

TEST(LatencyTimerDeathTest, ARefusedWriteIsReportedAndTheOpenGoesOn) {
  TPtyPair Pty;
  TFakeSysfs Sysfs(Pty.SlavePath(), "16\n");
  ASSERT_EQ(chmod(Sysfs.Attribute().c_str(), 0644), 0);
  ASSERT_EQ(chmod(Sysfs.Dir().Path().c_str(), 0755), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(Pty.SlavePath().c_str(), kNobody, kNobody), 0);
  }
  EXPECT_EXIT(OpenAsNobodyAndExit(Pty.SlavePath(), Sysfs.Root()), ::testing::ExitedWithCode(0),
              "found=1 before=16 now=16 error=EACCES");
  EXPECT_EQ(Sysfs.Value(), "16\n");
}

// What the signal handler of an interrupted program calls.
void ReleaseNowAndExit(const std::string& Device, const std::string& Root) {
  TComPort Port;
  Port.SetSysfsRoot(Root);
  Port.SetPort(Device);
  Port.Open();
  Port.ReleaseNow();
  _exit(0);
}

TEST(LatencyTimerDeathTest, ReleaseNowPutsItBackAsWell) {
  TPtyPair Pty;
  TFakeSysfs Sysfs(Pty.SlavePath(), "16\n");
  EXPECT_EXIT(ReleaseNowAndExit(Pty.SlavePath(), Sysfs.Root()), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(Sysfs.Value(), "16\n");
}

// A run killed while it has the port open: its note outlives it.
void OpenAndKill(const std::string& Device, const std::string& Root, const std::string& Notes) {
  TComPort Port;
  Port.SetSysfsRoot(Root);
  Port.SetStateDir(Notes);
  Port.SetPort(Device);
  Port.Open();
  raise(SIGKILL);
}

size_t NotesIn(const std::string& Folder) {
  std::error_code None;
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(Folder, None),
                                           std::filesystem::directory_iterator()));
}

TEST(LatencyTimerDeathTest, ARunKilledWithTheTimerLowIsKnownByItsNoteUntilTheTimerChanges) {
  TPtyPair Pty;
  TFakeSysfs Sysfs(Pty.SlavePath(), "16\n");
  const std::string Notes = Sysfs.Dir().File("state/korvane");
  const auto Open = [&](TComPort& Port) {
    Port.SetSysfsRoot(Sysfs.Root());
    Port.SetStateDir(Notes);
    Port.SetPort(Pty.SlavePath());
    Port.Open();
  };
  {
    TComPort Port;
    Open(Port);
    EXPECT_EQ(NotesIn(Notes), 1u) << "noted while the timer is owed";
    Port.Close();
    EXPECT_EQ(NotesIn(Notes), 0u) << "and no longer once it is put back";
  }
  EXPECT_EXIT(OpenAndKill(Pty.SlavePath(), Sysfs.Root(), Notes), ::testing::KilledBySignal(SIGKILL),
              "");
  ASSERT_EQ(Sysfs.Value(), "1\n");
  {
    TComPort Port;
    Open(Port);
    EXPECT_TRUE(Port.AdapterLatency().LeftLow);
    EXPECT_EQ(Port.AdapterLatency().LeftBefore, 16);
    EXPECT_EQ(Port.AdapterLatency().Before, 1);
  }
  EXPECT_EQ(Sysfs.Value(), "1\n") << "not put back unasked";
  EXPECT_EQ(NotesIn(Notes), 1u);
  // Set by the user (or the adapter plugged in again): the note is stale.
  std::ofstream(Sysfs.Attribute()) << "8\n";
  {
    TComPort Port;
    Open(Port);
    EXPECT_FALSE(Port.AdapterLatency().LeftLow);
  }
  EXPECT_EQ(Sysfs.Value(), "8\n");
  EXPECT_EQ(NotesIn(Notes), 0u);
}

}  // namespace
}  // namespace korvane
