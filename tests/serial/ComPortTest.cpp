// The port on real pseudo-terminals: opening, closing, moving to another
// device, exclusivity, the line settings applied, reading under the
// time-outs in force, sending, discarding, waiting, and a far end that hangs
// up. The test plays the far end on the master side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "PtyPair.h"
#include "UComPort.h"

namespace korvane {
namespace {

using test::MsSince;
using test::TPtyPair;
using Clock = std::chrono::steady_clock;

// A port that counts how often it takes and gives back its device.
class TCountingPort : public TComPort {
 public:
  int Opens = 0;
  int Releases = 0;

 protected:
  void OpenDevice() override {
    ++Opens;
    TComPort::OpenDevice();
  }
  void ReleaseDevice() override {
    ++Releases;
    TComPort::ReleaseDevice();
  }
};

// Runs Action and hands back the EComPort it raised; fails the test when it
// raised none.
EComPort RaisedBy(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EComPort& Error) {
    return Error;
  }
  ADD_FAILURE() << "no EComPort raised";
  return EComPort(0, 0);
}

class ComPortTest : public ::testing::Test {
 protected:
  void SetUp() override { AssignBoardSettings(Port); }

  void OpenOn(TComPort& Target, const std::string& Path) {
    AssignBoardSettings(Target);
    Target.SetPort(Path);
    Target.Open();
  }

  // Waits until Count bytes are waiting at the port (the pty hands bytes
  // over asynchronously), at most a few seconds.
  void AwaitInput(int32_t Count) {
    auto Start = Clock::now();
    while (Port.InputCount() < Count && MsSince(Start) < 5000) {
      Port.WaitForInput(50);
    }
    ASSERT_EQ(Port.InputCount(), Count);
  }

  TPtyPair Pty;
  TCountingPort Port;
};

TEST_F(ComPortTest, OpenAppliesTheBoardLineToTheDevice) {
  Port.SetPort(Pty.SlavePath());
  Port.Open();
  EXPECT_TRUE(Port.Connected());
  EXPECT_NE(Port.Handle(), InvalidComHandle);

  termios Line = Pty.SlaveSettings();
  EXPECT_EQ(cfgetospeed(&Line), B9600);
  EXPECT_EQ(cfgetispeed(&Line), B9600);
  EXPECT_EQ(Line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(Line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(Line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u) << "raw mode";
  EXPECT_EQ(Line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
  EXPECT_EQ(Line.c_oflag & OPOST, 0u);
  EXPECT_NE(Line.c_cflag & CREAD, 0u);
}

TEST_F(ComPortTest, ASettingChangedOnAnOpenPortIsAppliedAtOnce) {
  Port.SetPort(Pty.SlavePath());
  Port.Open();
  Port.SetBaudRate(TBaudRate::br19200);
  Port.SetStopBits(TStopBits::sbTwoStopBits);
  Port.FlowControl().SetXonXoffOut(true);
  termios Line = Pty.SlaveSettings();
  EXPECT_EQ(cfgetospeed(&Line), B19200);
  EXPECT_NE(Line.c_cflag & CSTOPB, 0u);
  EXPECT_NE(Line.c_iflag & IXON, 0u);

  // A speed that termios has no constant for.
  EXPECT_NO_THROW(Port.SetBaudRate(TBaudRate::br14400));
  EXPECT_TRUE(Port.Connected());
}

TEST_F(ComPortTest, AFramingTheDeviceRefusesRaisesCode7AtOnce) {
  Port.SetPort(Pty.SlavePath());
  Port.Open();
  // Recent kernels keep a pseudo-terminal at 8 bits without parity; where
  // one accepts 7E1 it must show in the device's settings.
  try {
    Port.SetDataBits(TDataBits::dbSeven);
    Port.Parity().SetBits(TParityBits::prEven);
    termios Line = Pty.SlaveSettings();
    EXPECT_EQ(Line.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(Line.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB));
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.MessageCode(), 7);
    EXPECT_EQ(Error.PlatformError(), EINVAL);
  }
  EXPECT_TRUE(Port.Connected()) << "a refused setting leaves the port open";
}

TEST_F(ComPortTest, OpenAndCloseDoNothingTheSecondTime) {
  Port.Close();
  EXPECT_EQ(Port.Releases, 0);
  Port.SetPort(Pty.SlavePath());
  Port.Open();
  Port.Open();
  EXPECT_EQ(Port.Opens, 1);
  Port.Close();
  Port.Close();
  EXPECT_EQ(Port.Releases, 1);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Handle(), InvalidComHandle);
}

TEST_F(ComPortTest, AMissingDeviceRaisesCode1WithErrno2) {
  std::string Missing = std::filesystem::temp_directory_path() / "korvane-no-such-device";
  Port.SetPort(Missing);
  EComPort Error = RaisedBy([&] { Port.Open(); });
  EXPECT_EQ(Error.MessageCode(), 1);
  EXPECT_EQ(Error.PlatformError(), ENOENT);
  EXPECT_STREQ(Error.what(), "Unable to open com port (error 2: No such file or directory)");
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Port(), Missing);
}

TEST_F(ComPortTest, TheDeviceIsNotShared) {
  OpenOn(Port, Pty.SlavePath());
  TComPort Second;
  EComPort Error = RaisedBy([&] { OpenOn(Second, Pty.SlavePath()); });
  EXPECT_EQ(Error.MessageCode(), 1);
  EXPECT_EQ(Error.PlatformError(), EBUSY);
  EXPECT_FALSE(Second.Connected());

  Port.Close();
  Second.Open();
  EXPECT_TRUE(Second.Connected());
}

TEST_F(ComPortTest, DestroyingAnOpenPortReleasesTheDevice) {
  {
    TComPort First;
    OpenOn(First, Pty.SlavePath());
  }
  OpenOn(Port, Pty.SlavePath());
  EXPECT_TRUE(Port.Connected());
}

TEST_F(ComPortTest, RenamingMovesAnOpenPortOnlyForAnotherName) {
  TPtyPair Other;
  OpenOn(Port, Pty.SlavePath());

  Port.SetPort(Pty.SlavePath());
  EXPECT_EQ(Port.Opens, 1) << "the same name neither closes nor reopens";
  EXPECT_EQ(Port.Releases, 0);

  Port.SetPort(Other.SlavePath());
  EXPECT_EQ(Port.Releases, 1);
  EXPECT_EQ(Port.Opens, 2);
  EXPECT_TRUE(Port.Connected());
  TComPort Probe;
  EXPECT_NO_THROW(OpenOn(Probe, Pty.SlavePath())) << "the old device was released";
  Probe.Close();
  EXPECT_EQ(RaisedBy([&] { OpenOn(Probe, Other.SlavePath()); }).PlatformError(), EBUSY);

  // Letter case counts: the upper-case path is another (missing) device.
  std::string Upper = Other.SlavePath();
  std::transform(Upper.begin(), Upper.end(), Upper.begin(), ::toupper);
  EComPort Error = RaisedBy([&] { Port.SetPort(Upper); });
  EXPECT_EQ(Error.MessageCode(), 1);
  EXPECT_EQ(Error.PlatformError(), ENOENT);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Port(), Upper);
}

TEST_F(ComPortTest, RenamingAClosedPortOnlyStoresTheName) {
  Port.SetPort(Pty.SlavePath());
  EXPECT_EQ(Port.Port(), Pty.SlavePath());
  EXPECT_EQ(Port.Opens, 0);
  EXPECT_FALSE(Port.Connected());
}

TEST_F(ComPortTest, ARefusedSettingReleasesTheDevice) {
  // A plain file opens, but refuses every line setting.
  char Dir[] = "/tmp/korvane-serial-XXXXXX";
  ASSERT_NE(mkdtemp(Dir), nullptr);
  std::string File = std::string(Dir) + "/not-a-tty";
  std::ofstream(File) << "x";

  Port.SetPort(File);
  EComPort Error = RaisedBy([&] { Port.Open(); });
  EXPECT_EQ(Error.MessageCode(), 7);
  EXPECT_EQ(Error.PlatformError(), ENOTTY);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Handle(), InvalidComHandle);
  EXPECT_EQ(Port.Releases, 1);
  // Released means unlocked: a second port gets past the open again.
  TComPort Second;
  EXPECT_EQ(RaisedBy([&] { OpenOn(Second, File); }).MessageCode(), 7);
  std::filesystem::remove_all(Dir);
}

TEST_F(ComPortTest, ReadingOneByteGivesUpAfterTheTimeoutsInForce) {
  OpenOn(Port, Pty.SlavePath());
  uint8_t Byte = 0xAA;
  auto Start = Clock::now();
  EXPECT_EQ(Port.Read(&Byte, 1), 0);
  long long Elapsed = MsSince(Start);
  EXPECT_GE(Elapsed, 1050) << "100 ms per byte + 1000 ms";
  EXPECT_LT(Elapsed, 3000);
  EXPECT_EQ(Byte, 0xAA) << "the buffer keeps its byte";
}

TEST_F(ComPortTest, ReadingOneByteReturnsAsSoonAsItIsThere) {
  OpenOn(Port, Pty.SlavePath());
  Pty.Send("x");
  uint8_t Byte = 0;
  auto Start = Clock::now();
  EXPECT_EQ(Port.Read(&Byte, 1), 1);
  EXPECT_LT(MsSince(Start), 900);
  EXPECT_EQ(Byte, 'x');

  // A byte that comes while the read waits ends the wait too.
  std::thread FarEnd([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Pty.Send("y");
  });
  Start = Clock::now();
  EXPECT_EQ(Port.Read(&Byte, 1), 1);
  EXPECT_LT(MsSince(Start), 1000);
  FarEnd.join();
  EXPECT_EQ(Byte, 'y');
}

TEST_F(ComPortTest, ReadStrTakesExactlyTheBytesWaiting) {
  OpenOn(Port, Pty.SlavePath());
  const std::string Sent("\r\n\0\xFF\x11\x13", 6);
  Pty.Send(Sent);
  AwaitInput(6);
  std::string Text = "previous";
  auto Start = Clock::now();
  EXPECT_EQ(Port.ReadStr(Text, Port.InputCount()), 6);
  EXPECT_LT(MsSince(Start), 900);
  EXPECT_EQ(Text, Sent) << "bytes pass untranslated";
  EXPECT_EQ(Port.InputCount(), 0);

  EXPECT_EQ(Port.ReadStr(Text, 0), 0);
  EXPECT_EQ(Text, "");
}

TEST_F(ComPortTest, SendCharPutsTheRawByteOnTheLine) {
  OpenOn(Port, Pty.SlavePath());
  const std::string Bytes("\r\n\x11\x13\0\xFF>", 7);
  for (char Ch : Bytes) {
    Port.SendChar(static_cast<uint8_t>(Ch));
  }
  EXPECT_EQ(Pty.Receive(Bytes.size() + 1, 1000), Bytes);
}

TEST_F(ComPortTest, ClearBufferDiscardsWhatWasReceived) {
  OpenOn(Port, Pty.SlavePath());
  Pty.Send("abc");
  AwaitInput(3);
  Port.ClearBuffer(true, true);
  EXPECT_EQ(Port.InputCount(), 0);

  Pty.Send("d");
  uint8_t Byte = 0;
  ASSERT_EQ(Port.Read(&Byte, 1), 1);
  EXPECT_EQ(Byte, 'd');
}

TEST_F(ComPortTest, WaitForInputWaitsInTheKernel) {
  OpenOn(Port, Pty.SlavePath());
  auto Start = Clock::now();
  EXPECT_FALSE(Port.WaitForInput(300));
  long long Elapsed = MsSince(Start);
  EXPECT_GE(Elapsed, 280);
  EXPECT_LT(Elapsed, 2000);

  std::thread FarEnd([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Pty.Send(">");
  });
  Start = Clock::now();
  EXPECT_TRUE(Port.WaitForInput(5000));
  EXPECT_LT(MsSince(Start), 3000);
  FarEnd.join();

  AwaitInput(1);
  EXPECT_TRUE(Port.WaitForInput(0)) << "input already waiting";
}

TEST_F(ComPortTest, AHungUpDeviceRaisesInsteadOfReturningNothing) {
  OpenOn(Port, Pty.SlavePath());
  Pty.CloseMaster();
  auto Start = Clock::now();
  EComPort Error = RaisedBy([&] { Port.WaitForInput(5000); });
  EXPECT_LT(MsSince(Start), 2000);
  EXPECT_EQ(Error.MessageCode(), 3);
  EXPECT_EQ(Error.PlatformError(), EIO);

  uint8_t Byte = 0;
  Start = Clock::now();
  EXPECT_EQ(RaisedBy([&] { Port.Read(&Byte, 1); }).MessageCode(), 3);
  EXPECT_LT(MsSince(Start), 1000);
  EXPECT_EQ(RaisedBy([&] { Port.SendChar('x'); }).MessageCode(), 13);

  Port.Close();
  EXPECT_FALSE(Port.Connected());
}

TEST_F(ComPortTest, OperationsOnAClosedPortRaiseTheirCodes) {
  const std::pair<int32_t, std::function<void()>> Cases[] = {
      {10, [&] { Port.InputCount(); }},
      {5, [&] { Port.ClearBuffer(true, true); }},
      {13, [&] { Port.SendChar('x'); }},
      {3,
       [&] {
         uint8_t Byte;
         Port.Read(&Byte, 1);
       }},
      {3, [&] { Port.WaitForInput(10); }},
  };
  for (const auto& [Code, Action] : Cases) {
    EComPort Error = RaisedBy(Action);
    EXPECT_EQ(Error.MessageCode(), Code);
    EXPECT_EQ(Error.PlatformError(), EBADF) << "code " << Code;
  }
  std::string Text = "kept";
  EXPECT_EQ(RaisedBy([&] { Port.ReadStr(Text, 4); }).MessageCode(), 3);
  EXPECT_EQ(Text, "kept") << "a failed read leaves the text alone";
}

}  // namespace
}  // namespace korvane
