// The USB adapter's latency timer, in a fake sysfs tree beside a real
// pseudo-terminal: lowered to 1 ms while the port is open, the old value put
// back on every way the port is given back, and a refusal noted rather than
// fatal.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
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
  for (const std::string& Name : {Pty.SlavePath(), Link}) {
    TComPort Port;
    Port.SetSysfsRoot(Sysfs.Root());
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
    Port.SetPort(Pty.SlavePath());
    Port.Open();
  }
  EXPECT_EQ(Sysfs.Value(), "16\n") << "the destructor puts it back too";
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

}  // namespace
}  // namespace korvane
