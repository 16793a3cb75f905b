// The port on a real line, the same cases on every platform: opening,
// closing, moving to another device, exclusivity, the line settings applied,
// reading under the time-outs in force, sending, discarding, waiting, and a
// far end that hangs up. How the far end is made and named is the line
// type's (PtyLine.h: pseudo-terminals; ComLine.h: the COM ports that
// scripts/test-windows.sh links for wine).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "UComPort.h"
#ifdef _WIN32
#include "ComLine.h"
#else
#include "PtyLine.h"
#endif

namespace korvane {
namespace {

using test::MsSince;
using Clock = std::chrono::steady_clock;
#ifdef _WIN32
using TLines = ::testing::Types<test::TComLine>;
#else
using TLines = ::testing::Types<test::TPtyLine>;
#endif

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

// Expected 0 takes any platform error but none.
void ExpectPlatformError(const EComPort& Error, int32_t Expected) {
  if (Expected == 0) {
    EXPECT_NE(Error.PlatformError(), 0) << "code " << Error.MessageCode();
  } else {
    EXPECT_EQ(Error.PlatformError(), Expected) << "code " << Error.MessageCode();
  }
}

template <typename TLine>
class ComPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string Why = Line.Absent(); !Why.empty()) {
      GTEST_SKIP() << Why;
    }
    AssignBoardSettings(Port);
  }

  void OpenOn(TComPort& Target, const std::string& Name) {
    AssignBoardSettings(Target);
    Target.SetPort(Name);
    Target.Open();
  }

  // Opens Port on the line, with nothing waiting.
  void OpenLine() {
    OpenOn(Port, Line.Name());
    Port.ClearBuffer(true, true);
  }

  // Waits until Count bytes are waiting at the port (the line hands bytes
  // over asynchronously), at most a few seconds. Not by WaitForInput: where
  // it takes the byte that ends it, the count stops at that byte.
  void AwaitInput(int32_t Count) {
    const auto Start = Clock::now();
    while (Port.InputCount() < Count && MsSince(Start) < 5000) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(Port.InputCount(), Count);
  }

  TLine Line;
  TCountingPort Port;
};

TYPED_TEST_SUITE(ComPortTest, TLines);

TYPED_TEST(ComPortTest, OpenAppliesTheBoardLineToTheDevice) {
  this->OpenOn(this->Port, this->Line.Name());
  EXPECT_TRUE(this->Port.Connected());
  EXPECT_NE(this->Port.Handle(), InvalidComHandle);
  this->Line.ExpectBoardLine(this->Port);
}

TYPED_TEST(ComPortTest, ASettingChangedOnAnOpenPortIsAppliedAtOnce) {
  TCountingPort& Port = this->Port;
  this->OpenOn(Port, this->Line.Name());
  Port.SetBaudRate(TBaudRate::br19200);
  Port.SetStopBits(TStopBits::sbTwoStopBits);
  Port.FlowControl().SetXonXoffOut(true);
  Port.Timeouts().SetReadTotalConstant(500);
  this->Line.ExpectChangedLine(Port);

  // A speed that termios has no constant for.
  EXPECT_NO_THROW(Port.SetBaudRate(TBaudRate::br14400));
  EXPECT_TRUE(Port.Connected());
  EXPECT_EQ(Port.Opens, 1);
}

TYPED_TEST(ComPortTest, AFramingTheDeviceRefusesRaisesCode7AtOnce) {
  this->OpenOn(this->Port, this->Line.Name());
  try {
    this->Port.SetDataBits(TDataBits::dbSeven);
    this->Port.Parity().SetBits(TParityBits::prEven);
    this->Line.ExpectSevenBitsEvenParity(this->Port);
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.MessageCode(), 7);
    ExpectPlatformError(Error, TypeParam::BadFraming);
  }
  EXPECT_TRUE(this->Port.Connected()) << "a refused setting leaves the port open";
}

TYPED_TEST(ComPortTest, OpenAndCloseDoNothingTheSecondTime) {
  TCountingPort& Port = this->Port;
  Port.Close();
  EXPECT_EQ(Port.Releases, 0);
  Port.SetPort(this->Line.Name());
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

TYPED_TEST(ComPortTest, AMissingDeviceRaisesCode1WithError2) {
  const std::string Missing = this->Line.MissingName();
  this->Port.SetPort(Missing);
  EComPort Error = RaisedBy([&] { this->Port.Open(); });
  EXPECT_EQ(Error.MessageCode(), 1);
  EXPECT_EQ(Error.PlatformError(), TypeParam::NoDevice);
  EXPECT_EQ(Error.PlatformError(), 2);
  // The number, then the system's words for it.
  EXPECT_EQ(std::string(Error.what()).rfind(TypeParam::NoDeviceText, 0), 0u) << Error.what();
  EXPECT_TRUE(std::string(Error.what()).ends_with(")")) << Error.what();
  EXPECT_FALSE(this->Port.Connected());
  EXPECT_EQ(this->Port.Handle(), InvalidComHandle);
  EXPECT_EQ(this->Port.Port(), Missing);
}

TYPED_TEST(ComPortTest, TheDeviceIsNotShared) {
  if (const std::string Why = TypeParam::SharingSkip(); !Why.empty()) {
    GTEST_SKIP() << Why;
  }
  this->OpenOn(this->Port, this->Line.Name());
  TComPort Second;
  EComPort Error = RaisedBy([&] { this->OpenOn(Second, this->Line.Name()); });
  EXPECT_EQ(Error.MessageCode(), 1);
  EXPECT_EQ(Error.PlatformError(), TypeParam::Busy);
  EXPECT_FALSE(Second.Connected());

  this->Port.Close();
  Second.Open();
  EXPECT_TRUE(Second.Connected());
}

TYPED_TEST(ComPortTest, DestroyingAnOpenPortReleasesTheDevice) {
  TComHandle Released = InvalidComHandle;
  {
    TComPort First;
    this->OpenOn(First, this->Line.Name());
    Released = First.Handle();
  }
  EXPECT_FALSE(TypeParam::HandleOpen(Released));
  this->OpenOn(this->Port, this->Line.Name());
  EXPECT_TRUE(this->Port.Connected());
}

TYPED_TEST(ComPortTest, RenamingMovesAnOpenPortOnlyForAnotherName) {
  TCountingPort& Port = this->Port;
  this->OpenOn(Port, this->Line.Name());
  Port.SetPort(this->Line.Name());
  EXPECT_EQ(Port.Opens, 1) << "the same name neither closes nor reopens";
  EXPECT_EQ(Port.Releases, 0);

  const std::string Other = this->Line.OtherName();
  Port.SetPort(Other);
  EXPECT_EQ(Port.Releases, 1);
  EXPECT_EQ(Port.Opens, 2);
  EXPECT_TRUE(Port.Connected());
  EXPECT_EQ(Port.Port(), Other);

  const std::string Missing = this->Line.MissingName();
  EComPort Error = RaisedBy([&] { Port.SetPort(Missing); });
  EXPECT_EQ(Error.MessageCode(), 1);
  EXPECT_EQ(Error.PlatformError(), TypeParam::NoDevice);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Port(), Missing);
  EXPECT_EQ(Port.Releases, 2);
}

TYPED_TEST(ComPortTest, RenamingAClosedPortOnlyStoresTheName) {
  this->Port.SetPort(this->Line.Name());
  this->Port.SetPort(this->Line.MissingName());
  EXPECT_EQ(this->Port.Port(), this->Line.MissingName());
  EXPECT_EQ(this->Port.Opens, 0);
  EXPECT_FALSE(this->Port.Connected());
}

TYPED_TEST(ComPortTest, ARefusedSettingReleasesTheDevice) {
  TCountingPort& Port = this->Port;
  this->Line.Refuse(Port);
  EComPort Error = RaisedBy([&] { Port.Open(); });
  EXPECT_EQ(Error.MessageCode(), 7);
  ExpectPlatformError(Error, TypeParam::Refused);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Handle(), InvalidComHandle);
  EXPECT_EQ(Port.Releases, 1);
  // Released means unlocked: a second port gets past the open again.
  TComPort Second;
  this->Line.Refuse(Second);
  EXPECT_EQ(RaisedBy([&] { Second.Open(); }).MessageCode(), 7);
}

TYPED_TEST(ComPortTest, ReadingOneByteGivesUpAfterTheTimeoutsInForce) {
  this->OpenLine();
  uint8_t Byte = 0xAA;
  const auto Start = Clock::now();
  EXPECT_EQ(this->Port.Read(&Byte, 1), 0);
  const long long Elapsed = MsSince(Start);
  EXPECT_GE(Elapsed, 1000) << "100 ms per byte + 1000 ms";
  EXPECT_LT(Elapsed, 4000);
  EXPECT_EQ(Byte, 0xAA) << "the buffer keeps its byte";
}

TYPED_TEST(ComPortTest, ReadingOneByteReturnsAsSoonAsItIsThere) {
  this->OpenLine();
  uint8_t Byte = 0;
  auto Start = Clock::now();
  this->Line.Send(this->Port, "x");
  EXPECT_EQ(this->Port.Read(&Byte, 1), 1);
  EXPECT_LT(MsSince(Start), 900);
  EXPECT_EQ(Byte, 'x');

  this->Line.Send(this->Port, "y");
  this->AwaitInput(1);
  Start = Clock::now();
  EXPECT_EQ(this->Port.Read(&Byte, 1), 1);
  EXPECT_LT(MsSince(Start), 500) << "a waiting byte is taken at once";
  EXPECT_EQ(Byte, 'y');
}

TYPED_TEST(ComPortTest, AByteThatComesDuringAWaitEndsIt) {
  if constexpr (!TypeParam::SendsUnasked) {
    GTEST_SKIP() << TypeParam::WhyNotUnasked;
  } else {
    this->OpenLine();
    for (const bool ByRead : {true, false}) {
      std::thread FarEnd([this] { this->Line.SendAfter(200, ">"); });
      uint8_t Byte = 0;
      const auto Start = Clock::now();
      EXPECT_TRUE(ByRead ? this->Port.Read(&Byte, 1) == 1 : this->Port.WaitForInput(5000));
      EXPECT_LT(MsSince(Start), 1000);
      FarEnd.join();
      this->Port.ClearBuffer(true, true);
    }
  }
}

TYPED_TEST(ComPortTest, ReadStrTakesExactlyTheBytesWaiting) {
  this->OpenLine();
  const std::string Sent("\r\n\0\xFF\x11\x13", 6);
  this->Line.Send(this->Port, Sent);
  this->AwaitInput(6);
  std::string Text = "previous";
  const auto Start = Clock::now();
  EXPECT_EQ(this->Port.ReadStr(Text, this->Port.InputCount()), 6);
  EXPECT_LT(MsSince(Start), 500);
  EXPECT_EQ(Text, Sent) << "bytes pass untranslated";
  EXPECT_EQ(this->Port.InputCount(), 0);

  EXPECT_EQ(this->Port.ReadStr(Text, 0), 0);
  EXPECT_EQ(Text, "");
}

TYPED_TEST(ComPortTest, SendCharPutsTheRawByteOnTheLine) {
  this->OpenLine();
  // XON, XOFF, CR, LF, NUL and bytes with the top bit pass untouched.
  const std::string Bytes("\x11\x13\r\n\x00\xFF\x7F\x80>", 9);
  for (char Ch : Bytes) {
    this->Port.SendChar(static_cast<uint8_t>(Ch));
  }
  EXPECT_EQ(this->Line.Received(this->Port, Bytes.size()), Bytes);
}

TYPED_TEST(ComPortTest, ClearBufferDiscardsWhatWasReceived) {
  this->OpenLine();
  this->Line.Send(this->Port, "abc");
  this->AwaitInput(3);
  this->Port.ClearBuffer(true, true);
  EXPECT_EQ(this->Port.InputCount(), 0);

  this->Line.Send(this->Port, "d");
  uint8_t Byte = 0;
  ASSERT_EQ(this->Port.Read(&Byte, 1), 1);
  EXPECT_EQ(Byte, 'd');
}

TYPED_TEST(ComPortTest, WaitForInputEndsWhenAByteArrives) {
  TCountingPort& Port = this->Port;
  this->OpenLine();
  auto Start = Clock::now();
  EXPECT_FALSE(Port.WaitForInput(300));
  const long long Elapsed = MsSince(Start);
  EXPECT_GE(Elapsed, 280);
  EXPECT_LT(Elapsed, 3000);

  Start = Clock::now();
  this->Line.Send(Port, "w");
  EXPECT_TRUE(Port.WaitForInput(5000));
  EXPECT_LT(MsSince(Start), 2000);
  this->AwaitInput(1);
  Start = Clock::now();
  EXPECT_TRUE(Port.WaitForInput(5000)) << "input already waiting";
  EXPECT_LT(MsSince(Start), 500);
}

// The byte that ended a wait comes out first; where the wait took it, alone
// when the reply is collected by count (the board's first DC1 follows the
// echo of "w" at once), and it goes with a purge like any received byte.
TYPED_TEST(ComPortTest, TheByteThatEndedTheWaitIsReadFirst) {
  TCountingPort& Port = this->Port;
  this->OpenLine();
  this->Line.Send(Port, "a");
  ASSERT_TRUE(Port.WaitForInput(5000));
  this->Line.Send(Port, "b");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::string Text;
  Port.ReadStr(Text, Port.InputCount());
  EXPECT_EQ(Text, TypeParam::WaitTakesAByte ? "a" : "ab");
  std::string All = Text;
  this->AwaitInput(TypeParam::WaitTakesAByte ? 1 : 0);
  Port.ReadStr(Text, Port.InputCount());
  EXPECT_EQ(All + Text, "ab");

  if (TypeParam::WaitTakesAByte) {
    this->Line.Send(Port, "c");
    ASSERT_TRUE(Port.WaitForInput(5000));
    const auto Start = Clock::now();
    EXPECT_GE(Port.ReadStr(Text, 10), 1);
    EXPECT_EQ(Text.substr(0, 1), "c");
    EXPECT_LT(MsSince(Start), 500) << "the taken byte's read does not wait for more";
  }

  this->Line.Send(Port, "d");
  ASSERT_TRUE(Port.WaitForInput(5000));
  Port.ClearBuffer(true, false);
  EXPECT_EQ(Port.InputCount(), 0);
  EXPECT_FALSE(Port.WaitForInput(100));
}

TYPED_TEST(ComPortTest, AHungUpLineRaisesInsteadOfReturningNothing) {
  TCountingPort& Port = this->Port;
  if (this->Line.HangUpName().empty()) {
    GTEST_SKIP() << "no hang-up line given";
  }
  this->OpenOn(Port, this->Line.HangUpName());
  this->Line.HangUp(Port);
  // The far end may need a moment to go; until then the wait times out.
  const auto Start = Clock::now();
  std::optional<EComPort> Failure;
  while (!Failure && MsSince(Start) < 5000) {
    try {
      Port.WaitForInput(200);
    } catch (const EComPort& Error) {
      Failure = Error;
    }
  }
  ASSERT_TRUE(Failure);
  EXPECT_EQ(Failure->MessageCode(), 3);
  ExpectPlatformError(*Failure, TypeParam::HungUp);

  uint8_t Byte = 0;
  const auto ReadStart = Clock::now();
  EXPECT_EQ(RaisedBy([&] { Port.Read(&Byte, 1); }).MessageCode(), 3);
  EXPECT_LT(MsSince(ReadStart), 1000) << "a hung-up line fails at once";
  EXPECT_EQ(RaisedBy([&] { Port.SendChar('x'); }).MessageCode(), 13);
  EXPECT_EQ(RaisedBy([&] { Port.InputCount(); }).MessageCode(), 10);
  Port.Close();
  EXPECT_FALSE(Port.Connected());
}

// Another thread (a console's stop handler) gives the port up while its
// owner waits or reads: that call ends with a failure, as does every later
// one, until the owner closes the port as usual and opens it again.
TYPED_TEST(ComPortTest, AnAbandonedPortFailsEveryCallUntilReopened) {
  TCountingPort& Port = this->Port;
  uint8_t Byte = 0;
  const std::pair<int32_t, std::function<void()>> Cases[] = {
      {3, [&] { Port.WaitForInput(60000); }}, {3, [&] { Port.Read(&Byte, 1); }},
      {10, [&] { Port.InputCount(); }},       {5, [&] { Port.ClearBuffer(true, true); }},
      {13, [&] { Port.SendChar('x'); }},
  };
  for (const bool ByRead : {false, true}) {
    this->OpenLine();
    std::thread Handler([&Port] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      Port.Abandon();
    });
    const auto Start = Clock::now();
    const EComPort Ended = RaisedBy(Cases[ByRead ? 1 : 0].second);
    EXPECT_LT(MsSince(Start), 5000) << "the call in progress ends";
    Handler.join();
    EXPECT_EQ(Ended.MessageCode(), 3);
    ExpectPlatformError(Ended, 0);
    for (const auto& [Code, Action] : Cases) {
      EXPECT_EQ(RaisedBy(Action).MessageCode(), Code);
    }
    EXPECT_NO_THROW(Port.Close());
  }
  this->OpenLine();
  EXPECT_EQ(Port.InputCount(), 0) << "a reopened port is no longer abandoned";
}

TYPED_TEST(ComPortTest, OperationsOnAClosedPortRaiseTheirCodes) {
  TCountingPort& Port = this->Port;
  uint8_t Byte = 0;
  const std::pair<int32_t, std::function<void()>> Cases[] = {
      {10, [&] { Port.InputCount(); }},    {5, [&] { Port.ClearBuffer(true, true); }},
      {13, [&] { Port.SendChar('x'); }},   {3, [&] { Port.Read(&Byte, 1); }},
      {3, [&] { Port.WaitForInput(10); }},
  };
  for (const auto& [Code, Action] : Cases) {
    EComPort Error = RaisedBy(Action);
    EXPECT_EQ(Error.MessageCode(), Code);
    ExpectPlatformError(Error, TypeParam::Closed);
  }
  std::string Text = "kept";
  EXPECT_EQ(RaisedBy([&] { Port.ReadStr(Text, 4); }).MessageCode(), 3);
  EXPECT_EQ(Text, "kept") << "a failed read leaves the text alone";
  EXPECT_NO_THROW(Port.Close());
}

}  // namespace
}  // namespace korvane
