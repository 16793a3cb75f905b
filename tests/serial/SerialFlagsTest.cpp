// The driver's serial flags around an open port: the low-latency flag is
// asked for while the port is open and the flags are put back as they were
// found on every way the port is given back.
//
// A pseudo-terminal has no serial flags, so this program stands in for a
// driver that has them: its own ioctl answers TIOCGSERIAL and TIOCSSERIAL
// for the pseudo-terminal under test and passes every other call on.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "PtyPair.h"
#include "UComPort.h"

namespace {

// The fake driver's flags, and how often it was asked.
int FakeFlags = 0;
int FakeDeviceCalls = 0;
bool FakeEnabled = false;

}  // namespace

extern "C" int ioctl(int Fd, unsigned long Request, ...) __THROW {
  va_list Args;
  va_start(Args, Request);
  void* Argument = va_arg(Args, void*);
  va_end(Args);
  using TIoctl = int (*)(int, unsigned long, ...);
  static const auto Real = reinterpret_cast<TIoctl>(dlsym(RTLD_NEXT, "ioctl"));
  if (!FakeEnabled || (Request != TIOCGSERIAL && Request != TIOCSSERIAL)) {
    return Real(Fd, Request, Argument);
  }
  ++FakeDeviceCalls;
  auto* Serial = static_cast<serial_struct*>(Argument);
  if (Request == TIOCGSERIAL) {
    *Serial = {};
    Serial->flags = FakeFlags;
  } else {
    FakeFlags = Serial->flags;
  }
  return 0;
}

namespace korvane {
namespace {

using test::TPtyPair;

enum class TWayOut { Close, Destructor, ReleaseNow };

struct TFlagsCase {
  const char* Name;
  int Found;
  TWayOut WayOut;
};

void PrintTo(const TFlagsCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class SerialFlags : public ::testing::TestWithParam<TFlagsCase> {
 protected:
  void SetUp() override {
    FakeFlags = GetParam().Found;
    FakeDeviceCalls = 0;
    FakeEnabled = true;
  }
  void TearDown() override { FakeEnabled = false; }
};

// What a signal handler does, in a child that then reports the flags.
void ReleaseNowAndReport(const std::string& Device) {
  TComPort Port;
  Port.SetPort(Device);
  Port.Open();
  Port.ReleaseNow();
  std::fprintf(stderr, "flags=%d", FakeFlags);
  _exit(0);
}

TEST_P(SerialFlags, AreLowLatencyWhileOpenAndAsFoundAfterwards) {
  TPtyPair Pty;
  const TFlagsCase Case = GetParam();
  if (Case.WayOut == TWayOut::ReleaseNow) {
    EXPECT_EXIT(ReleaseNowAndReport(Pty.SlavePath()), ::testing::ExitedWithCode(0),
                "^flags=" + std::to_string(Case.Found) + "$");
    return;
  }
  {
    TComPort Port;
    Port.SetPort(Pty.SlavePath());
    Port.Open();
    EXPECT_EQ(FakeFlags, Case.Found | ASYNC_LOW_LATENCY);
    if (Case.WayOut == TWayOut::Close) {
      Port.Close();
      EXPECT_EQ(FakeFlags, Case.Found);
      Port.Open();
      Port.Close();
    }
  }
  EXPECT_EQ(FakeFlags, Case.Found);
  EXPECT_GT(FakeDeviceCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryWayOut, SerialFlags,
    ::testing::Values(TFlagsCase{"ClearedByClose", ASYNC_SKIP_TEST, TWayOut::Close},
                      TFlagsCase{"ClearedByTheDestructor", 0, TWayOut::Destructor},
                      TFlagsCase{"ClearedByReleaseNow", ASYNC_SKIP_TEST, TWayOut::ReleaseNow},
                      TFlagsCase{"AlreadySetIsLeftSet", ASYNC_LOW_LATENCY, TWayOut::Close},
                      TFlagsCase{"AlreadySetIsLeftSetByReleaseNow", ASYNC_LOW_LATENCY,
                                 TWayOut::ReleaseNow}),
    [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace korvane
