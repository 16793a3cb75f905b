// The port's exclusive claim on its device ends with the port: while another
// process keeps the device open (as the board simulator keeps its
// pseudo-terminal), a port that was opened and given back by any path must
// leave the device open to the next ordinary user. Root ignores the claim,
// so the port is used by a child that runs as the user nobody.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>

#include "PtyPair.h"
#include "UComPort.h"

namespace korvane {
namespace {

using test::TPtyPair;

constexpr uid_t kNobody = 65534;

enum class TGivenBack { gbClose, gbDestructor, gbCloseAfterAFailedSend };

struct TGivingBackCase {
  const char* Name;
  TGivenBack How;
};

void PrintTo(const TGivingBackCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

// Opens the port, gives it back as How says, then opens the device afresh.
// Exits 0 when the fresh open succeeded, 3 when the port failed, 4 when the
// fresh open failed, 5 when the user could not be changed; the reason goes
// to stderr.
[[noreturn]] void UseThePortAsNobodyAndExit(const std::string& Device, TGivenBack How) {
  if (::geteuid() == 0 &&
      (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
    ::_exit(5);
  try {
    TComPort Port;
    AssignBoardSettings(Port);
    Port.Timeouts().SetWriteTotalMultiplier(0);
    Port.Timeouts().SetWriteTotalConstant(20);
    Port.SetPort(Device);
    Port.Open();
    if (How == TGivenBack::gbCloseAfterAFailedSend) {
      // Nobody reads the far end: the line fills up and a send times out.
      bool Failed = false;
      for (int Sent = 0; !Failed && Sent < (1 << 22); ++Sent) {
        try {
          Port.SendChar('U');
        } catch (const EComPort&) {
          Failed = true;
        }
      }
      if (!Failed) {
        std::fputs("the line never filled up", stderr);
        ::_exit(3);
      }
    }
    if (How != TGivenBack::gbDestructor)
      Port.Close();
  } catch (const EComPort& Error) {
    std::fprintf(stderr, "port: %s", Error.what());
    ::_exit(3);
  }
  const int Fd = ::open(Device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Fd < 0) {
    std::fprintf(stderr, "fresh open: %s", std::strerror(errno));
    ::_exit(4);
  }
  ::close(Fd);
  std::fputs("fresh open succeeded", stderr);
  ::_exit(0);
}

class ExclusiveClaimDeathTest : public ::testing::TestWithParam<TGivingBackCase> {};

TEST_P(ExclusiveClaimDeathTest, EndsWhenThePortIsGivenBack) {
  TPtyPair Pty;
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(Pty.SlavePath().c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(Pty.SlavePath().c_str(), 0600), 0);
  }
  // The holder stays open throughout, so the device itself is never released.
  const int Holder = ::open(Pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(Holder, 0) << std::strerror(errno);

  EXPECT_EXIT(UseThePortAsNobodyAndExit(Pty.SlavePath(), GetParam().How),
              ::testing::ExitedWithCode(0), "fresh open succeeded");
  ::close(Holder);
}

INSTANTIATE_TEST_SUITE_P(EveryWay, ExclusiveClaimDeathTest,
                         ::testing::Values(TGivingBackCase{"Close", TGivenBack::gbClose},
                                           TGivingBackCase{"Destructor", TGivenBack::gbDestructor},
                                           TGivingBackCase{"CloseAfterAFailedSend",
                                                           TGivenBack::gbCloseAfterAFailedSend}),
                         [](const ::testing::TestParamInfo<TGivingBackCase>& Info) {
                           return Info.param.Name;
                         });

}  // namespace
}  // namespace korvane
