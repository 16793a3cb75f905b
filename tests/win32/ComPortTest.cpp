// The port on Windows, against the far ends that scripts/test-windows.sh
// links into the wine prefix: a line that sends every byte back, and one
// that hangs up on EOT.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <string>
#include <utility>

#include "UComPort.h"
#include "Win32TestSupport.h"

namespace korvane {
namespace {

using test::MsSince;
using Clock = std::chrono::steady_clock;

const char MissingPort[] = "COM199";

// Counts the steps that Open and Close are built from.
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

// The code and platform error of the EComPort that Action raises.
template <typename TAction>
std::pair<int32_t, int32_t> Raised(TAction Action) {
  try {
    Action();
  } catch (const EComPort& Error) {
    return {Error.MessageCode(), Error.PlatformError()};
  }
  return {0, 0};
}

class Win32ComPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FEcho = test::TestPort("KORVANE_TEST_ECHO_PORT");
    if (FEcho.empty()) {
      GTEST_SKIP() << "no echo line given; scripts/test-windows.sh provides one";
    }
  }

  void Prepare(TCustomComPort& Port, const std::string& Name) {
    Port.SetPort(Name);
    AssignBoardSettings(Port);
  }

  // Waits until Count bytes are waiting; false after TimeoutMs.
  static bool AwaitInput(TCustomComPort& Port, int32_t Count, int TimeoutMs = 3000) {
    const auto Start = Clock::now();
    while (Port.InputCount() < Count) {
      if (MsSince(Start) > TimeoutMs) {
        return false;
      }
      Sleep(5);
    }
    return true;
  }

  std::string FEcho;
};

TEST_F(Win32ComPortTest, OpenAppliesTheBoardSettingsToTheDevice) {
  TComPort Port;
  Prepare(Port, FEcho);
  Port.Open();
  ASSERT_TRUE(Port.Connected());
  HANDLE Device = reinterpret_cast<HANDLE>(Port.Handle());
  ASSERT_NE(Device, INVALID_HANDLE_VALUE);

  DCB Block{};
  Block.DCBlength = sizeof Block;
  ASSERT_TRUE(GetCommState(Device, &Block)) << GetLastError();
  EXPECT_EQ(Block.BaudRate, 9600u);
  EXPECT_EQ(Block.ByteSize, 8);
  EXPECT_EQ(Block.Parity, NOPARITY);
  EXPECT_EQ(Block.StopBits, ONESTOPBIT);
  EXPECT_EQ(Block.fOutxCtsFlow, 0u);
  EXPECT_EQ(Block.fOutX, 0u);
  EXPECT_EQ(Block.fInX, 0u);

  COMMTIMEOUTS Timeouts{};
  ASSERT_TRUE(GetCommTimeouts(Device, &Timeouts)) << GetLastError();
  EXPECT_EQ(Timeouts.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(Timeouts.ReadTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(Timeouts.ReadTotalTimeoutConstant, 1000u);
  EXPECT_EQ(Timeouts.WriteTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(Timeouts.WriteTotalTimeoutConstant, 1000u);

  if (test::RunningUnderWine()) {
    // The line has no modem lines here: the status call fails as not
    // supported, and Open went through all the same.
    DWORD Status = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(GetCommModemStatus(Device, &Status));
    const DWORD Error = GetLastError();
    EXPECT_TRUE(Error == ERROR_SUCCESS || Error == ERROR_NOT_SUPPORTED) << Error;
  }
}

TEST_F(Win32ComPortTest, ASettingChangedOnAnOpenPortIsAppliedAtOnce) {
  TComPort Port;
  Prepare(Port, FEcho);
  Port.Open();
  HANDLE Device = reinterpret_cast<HANDLE>(Port.Handle());
  Port.SetBaudRate(TBaudRate::br19200);
  Port.Timeouts().SetReadTotalConstant(500);

  DCB Block{};
  Block.DCBlength = sizeof Block;
  ASSERT_TRUE(GetCommState(Device, &Block));
  EXPECT_EQ(Block.BaudRate, 19200u);
  COMMTIMEOUTS Timeouts{};
  ASSERT_TRUE(GetCommTimeouts(Device, &Timeouts));
  EXPECT_EQ(Timeouts.ReadTotalTimeoutConstant, 500u);
}

TEST_F(Win32ComPortTest, OpenAndCloseDoNothingTheSecondTime) {
  TCountingPort Port;
  Prepare(Port, FEcho);
  Port.Open();
  const TComHandle Handle = Port.Handle();
  Port.Open();
  EXPECT_EQ(Port.Opens, 1);
  EXPECT_EQ(Port.Handle(), Handle);
  Port.Close();
  Port.Close();
  EXPECT_EQ(Port.Releases, 1);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Handle(), InvalidComHandle);
}

TEST_F(Win32ComPortTest, AMissingDeviceRaisesCode1WithError2) {
  TComPort Port;
  Prepare(Port, MissingPort);
  try {
    Port.Open();
    FAIL() << "no EComPort raised";
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.MessageCode(), 1);
    EXPECT_EQ(Error.PlatformError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(std::string(Error.what()).rfind("Unable to open com port (win error code: 2: ", 0),
              0u)
        << Error.what();
  }
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Handle(), InvalidComHandle);
  EXPECT_EQ(Port.Port(), MissingPort);
}

TEST_F(Win32ComPortTest, TheDeviceIsNotShared) {
  if (test::RunningUnderWine()) {
    GTEST_SKIP() << "wine lets a second handle open a COM device";
  }
  TComPort First;
  Prepare(First, FEcho);
  First.Open();
  TComPort Second;
  Prepare(Second, FEcho);
  EXPECT_EQ(Raised([&] { Second.Open(); }), std::make_pair(1, int32_t{ERROR_ACCESS_DENIED}));
  EXPECT_FALSE(Second.Connected());
}

TEST_F(Win32ComPortTest, DestroyingAnOpenPortReleasesTheDevice) {
  HANDLE Released = INVALID_HANDLE_VALUE;
  {
    TComPort Port;
    Prepare(Port, FEcho);
    Port.Open();
    Released = reinterpret_cast<HANDLE>(Port.Handle());
  }
  DWORD Flags = 0;
  EXPECT_FALSE(GetHandleInformation(Released, &Flags)) << "the handle is still open";
  TComPort Again;
  Prepare(Again, FEcho);
  EXPECT_NO_THROW(Again.Open());
}

TEST_F(Win32ComPortTest, RenamingMovesAnOpenPortOnlyForAnotherName) {
  TCountingPort Port;
  Prepare(Port, FEcho);
  Port.Open();
  Port.SetPort(FEcho);
  EXPECT_EQ(Port.Opens, 1);
  EXPECT_EQ(Port.Releases, 0);

  // Letter case counts as a change, though Windows opens the same device.
  std::string Lower = FEcho;
  for (char& Ch : Lower) {
    Ch = static_cast<char>(std::tolower(static_cast<unsigned char>(Ch)));
  }
  Port.SetPort(Lower);
  EXPECT_EQ(Port.Releases, 1);
  EXPECT_EQ(Port.Opens, 2);
  EXPECT_TRUE(Port.Connected());
  EXPECT_EQ(Port.Port(), Lower);
  Port.SendChar('m');
  uint8_t Byte = 0;
  EXPECT_EQ(Port.Read(&Byte, 1), 1);
  EXPECT_EQ(Byte, 'm');

  EXPECT_EQ(Raised([&] { Port.SetPort(MissingPort); }),
            std::make_pair(1, int32_t{ERROR_FILE_NOT_FOUND}));
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Port(), MissingPort);
  EXPECT_EQ(Port.Releases, 2);
}

TEST_F(Win32ComPortTest, RenamingAClosedPortOnlyStoresTheName) {
  TCountingPort Port;
  Port.SetPort(FEcho);
  Port.SetPort(MissingPort);
  EXPECT_EQ(Port.Opens, 0);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Port(), MissingPort);
}

TEST_F(Win32ComPortTest, ARefusedSettingReleasesTheDevice) {
  TCountingPort Port;
  Prepare(Port, FEcho);
  // A parity kind beyond space parity, which every driver refuses.
  Port.Parity().SetBits(static_cast<TParityBits>(5));
  const auto [Code, Error] = Raised([&] { Port.Open(); });
  EXPECT_EQ(Code, 7);
  EXPECT_NE(Error, 0);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Handle(), InvalidComHandle);
  EXPECT_EQ(Port.Releases, 1);
}

TEST_F(Win32ComPortTest, ReadingOneByteGivesUpAfterTheTimeoutsInForce) {
  TComPort Port;
  Prepare(Port, FEcho);
  Port.Open();
  Port.ClearBuffer(true, true);
  uint8_t Byte = '#';
  const auto Start = Clock::now();
  EXPECT_EQ(Port.Read(&Byte, 1), 0);
  const long long Elapsed = MsSince(Start);
  EXPECT_GE(Elapsed, 1000) << "100 ms per byte plus 1000 ms";
  EXPECT_LT(Elapsed, 4000);
  EXPECT_EQ(Byte, '#');
}

TEST_F(Win32ComPortTest, ReadingOneByteReturnsAsSoonAsItIsThere) {
  TComPort Port;
  Prepare(Port, FEcho);
  Port.Open();
  Port.ClearBuffer(true, true);
  uint8_t Byte = 0;
  auto Start = Clock::now();
  Port.SendChar('x');
  EXPECT_EQ(Port.Read(&Byte, 1), 1);
  EXPECT_LT(MsSince(Start), 900);
  EXPECT_EQ(Byte, 'x');

  Port.SendChar('y');
  ASSERT_TRUE(AwaitInput(Port, 1));
  Start = Clock::now();
  EXPECT_EQ(Port.Read(&Byte, 1), 1);
  EXPECT_LT(MsSince(Start), 500) << "a waiting byte is taken at once";
  EXPECT_EQ(Byte, 'y');
}

TEST_F(Win32ComPortTest, ReadStrTakesExactlyTheBytesWaiting) {
  TComPort Port;
  Prepare(Port, FEcho);
  Port.Open();
  Port.ClearBuffer(true, true);
  for (char Ch : std::string("abc")) {
    Port.SendChar(static_cast<uint8_t>(Ch));
  }
  ASSERT_TRUE(AwaitInput(Port, 3));
  std::string Text = "previous";
  const auto Start = Clock::now();
  EXPECT_EQ(Port.ReadStr(Text, Port.InputCount()), 3);
  EXPECT_LT(MsSince(Start), 500);
  EXPECT_EQ(Text, "abc");
  EXPECT_EQ(Port.ReadStr(Text, 0), 0);
  EXPECT_EQ(Text, "");
}

TEST_F(Win32ComPortTest, SendCharPutsTheRawByteOnTheLine) {
  TComPort Port;
  Prepare(Port, FEcho);
  Port.Open();
  Port.ClearBuffer(true, true);
  // XON, XOFF, CR, LF, NUL and bytes with the top bit pass untouched.
  const std::string Bytes("\x11\x13\r\n\x00\xFF\x7F\x80", 8);
  for (char Ch : Bytes) {
    Port.SendChar(static_cast<uint8_t>(Ch));
  }
  ASSERT_TRUE(AwaitInput(Port, static_cast<int32_t>(Bytes.size())));
  std::string Echo;
  Port.ReadStr(Echo, Port.InputCount());
  EXPECT_EQ(Echo, Bytes);
}

TEST_F(Win32ComPortTest, ClearBufferDiscardsWhatWasReceived) {
  TComPort Port;
  Prepare(Port, FEcho);
  Port.Open();
  Port.SendChar('z');
  ASSERT_TRUE(AwaitInput(Port, 1));
  Port.ClearBuffer(true, true);
  EXPECT_EQ(Port.InputCount(), 0);
}

TEST_F(Win32ComPortTest, WaitForInputEndsWhenAByteArrives) {
  TComPort Port;
  Prepare(Port, FEcho);
  Port.Open();
  Port.ClearBuffer(true, true);
  auto Start = Clock::now();
  EXPECT_FALSE(Port.WaitForInput(300));
  long long Elapsed = MsSince(Start);
  EXPECT_GE(Elapsed, 280);
  EXPECT_LT(Elapsed, 3000);

  Start = Clock::now();
  Port.SendChar('w');
  EXPECT_TRUE(Port.WaitForInput(5000));
  EXPECT_LT(MsSince(Start), 2000);
  EXPECT_EQ(Port.InputCount(), 1);
  // A byte already waiting ends the wait at once.
  Start = Clock::now();
  EXPECT_TRUE(Port.WaitForInput(5000));
  EXPECT_LT(MsSince(Start), 500);
}

// The wait reads the first byte to end; that byte must come out first,
// alone when the reply is collected by count (the board's first DC1 follows
// the echo of "w" at once), and go with a purge like any received byte.
TEST_F(Win32ComPortTest, TheByteThatEndedTheWaitIsReadFirst) {
  TComPort Port;
  Prepare(Port, FEcho);
  Port.Open();
  Port.ClearBuffer(true, true);
  Port.SendChar('a');
  ASSERT_TRUE(Port.WaitForInput(5000));
  Port.SendChar('b');
  Sleep(100);
  std::string Text;
  EXPECT_EQ(Port.ReadStr(Text, Port.InputCount()), 1);
  EXPECT_EQ(Text, "a");
  ASSERT_TRUE(AwaitInput(Port, 1));
  EXPECT_EQ(Port.ReadStr(Text, Port.InputCount()), 1);
  EXPECT_EQ(Text, "b");

  Port.SendChar('c');
  ASSERT_TRUE(Port.WaitForInput(5000));
  const auto Start = Clock::now();
  EXPECT_GE(Port.ReadStr(Text, 10), 1);
  EXPECT_EQ(Text.substr(0, 1), "c");
  EXPECT_LT(MsSince(Start), 500) << "reading what is waiting does not wait for more";

  Port.SendChar('d');
  ASSERT_TRUE(Port.WaitForInput(5000));
  Port.ClearBuffer(true, false);
  EXPECT_EQ(Port.InputCount(), 0);
  EXPECT_FALSE(Port.WaitForInput(100));
}

TEST_F(Win32ComPortTest, AHungUpLineRaisesInsteadOfReturningNothing) {
  const std::string HangUp = test::TestPort("KORVANE_TEST_HANGUP_PORT");
  if (HangUp.empty()) {
    GTEST_SKIP() << "no hang-up line given";
  }
  TComPort Port;
  Prepare(Port, HangUp);
  Port.Open();
  Port.SendChar(4);
  // The far end needs a moment to go; until then the wait times out.
  std::pair<int32_t, int32_t> Failure{0, 0};
  const auto Start = Clock::now();
  while (Failure.first == 0 && MsSince(Start) < 5000) {
    Failure = Raised([&] { Port.WaitForInput(200); });
  }
  EXPECT_EQ(Failure.first, 3);
  EXPECT_NE(Failure.second, 0);
  uint8_t Byte = 0;
  const auto ReadStart = Clock::now();
  EXPECT_EQ(Raised([&] { Port.Read(&Byte, 1); }).first, 3);
  EXPECT_LT(MsSince(ReadStart), 1000) << "a hung-up line fails at once";
  EXPECT_EQ(Raised([&] { Port.InputCount(); }).first, 10);
  EXPECT_NO_THROW(Port.Close());
}

TEST(Win32ClosedPort, OperationsOnAClosedPortRaiseTheirCodes) {
  TComPort Port;
  uint8_t Byte = 0;
  const std::pair<int, std::function<void()>> Operations[] = {
      {10, [&] { Port.InputCount(); }},    {5, [&] { Port.ClearBuffer(true, true); }},
      {13, [&] { Port.SendChar('a'); }},   {3, [&] { Port.Read(&Byte, 1); }},
      {3, [&] { Port.WaitForInput(10); }},
  };
  for (const auto& [Code, Operation] : Operations) {
    const auto [Raise, Error] = Raised(Operation);
    EXPECT_EQ(Raise, Code);
    EXPECT_NE(Error, 0) << "code " << Code;
  }
  EXPECT_NO_THROW(Port.Close());
}

}  // namespace
}  // namespace korvane
