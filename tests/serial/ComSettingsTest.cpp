// The port's settings, the records built from them and the exception's
// messages: everything that needs no device.
#include <gtest/gtest.h>

#include "UComPort.h"

namespace korvane {
namespace {

TEST(ComSettings, FreshPortIsClosedWithTheConstructorDefaults) {
  TComPort Port;
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Handle(), InvalidComHandle);
  EXPECT_EQ(Port.Port(), "COM1");
  EXPECT_EQ(Port.Events(), TComEvents::All());
  EXPECT_EQ(Port.Buffer().OutputSize(), 1024);

  TLineSettings Expected;
  Expected.BaudRate = 9600;
  Expected.fBinary = 1;
  Expected.XonLim = 256;
  Expected.XoffLim = 256;
  Expected.ByteSize = 8;
  Expected.XonChar = 17;
  Expected.XoffChar = 19;
  EXPECT_EQ(BuildLineSettings(Port), Expected);
  EXPECT_EQ(BuildTimeoutRecord(Port), (TTimeoutRecord{0xFFFFFFFFu, 0, 0, 100, 1000}));
}

TEST(ComSettings, BoardSettingsBuildTheRecordsInForce) {
  TComPort Port;
  Port.SetPort("/dev/ttyUSB3");
  AssignBoardSettings(Port);
  EXPECT_EQ(Port.Port(), "/dev/ttyUSB3");
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(Port.Events(), TComEvents({TComEvent::evRxChar}));
  EXPECT_FALSE(Port.Events().Contains(TComEvent::evTxEmpty));

  TLineSettings Expected;
  Expected.BaudRate = 9600;
  Expected.fBinary = 1;
  Expected.XonLim = 1024;
  Expected.XoffLim = 1024;
  Expected.ByteSize = 8;
  Expected.XonChar = 17;
  Expected.XoffChar = 19;
  TLineSettings Record = BuildLineSettings(Port);
  EXPECT_EQ(Record, Expected);
  EXPECT_EQ(Record.DCBlength, 28u);
  EXPECT_EQ(Record.Flags(), 1u) << "only fBinary in force";

  TTimeoutRecord Timeouts = BuildTimeoutRecord(Port);
  EXPECT_EQ(Timeouts, (TTimeoutRecord{0xFFFFFFFFu, 100, 1000, 100, 1000}));
}

TEST(ComSettings, OddPositiveBufferSizesAreStoredOneLower) {
  TComPort Port;
  Port.Buffer().SetInputSize(4097);
  Port.Buffer().SetOutputSize(1025);
  EXPECT_EQ(Port.Buffer().InputSize(), 4096);
  EXPECT_EQ(Port.Buffer().OutputSize(), 1024);
  EXPECT_EQ(BuildLineSettings(Port).XonLim, 1024);
  EXPECT_EQ(BuildLineSettings(Port).XoffLim, 1024);

  Port.Buffer().SetInputSize(1);
  EXPECT_EQ(Port.Buffer().InputSize(), 0);
  Port.Buffer().SetInputSize(4098);
  EXPECT_EQ(Port.Buffer().InputSize(), 4098);
  EXPECT_EQ(BuildLineSettings(Port).XonLim, 1024) << "4098 / 4, truncated";
  Port.Buffer().SetInputSize(-3);
  EXPECT_EQ(Port.Buffer().InputSize(), -3);
  EXPECT_EQ(BuildLineSettings(Port).XonLim, 0);
  // A queue too big for the 16-bit limit saturates rather than wrapping.
  Port.Buffer().SetInputSize(1000000);
  EXPECT_EQ(BuildLineSettings(Port).XonLim, 65535);
}

TEST(ComSettings, EverySettingReachesItsRecordMember) {
  TComPort Port;
  Port.SetBaudRate(TBaudRate::br256000);
  Port.SetDataBits(TDataBits::dbFive);
  Port.SetStopBits(TStopBits::sbOne5StopBits);
  Port.Parity().SetBits(TParityBits::prSpace);
  Port.SetDiscardNull(true);
  Port.SetEventChar('#');
  Port.FlowControl().SetOutCTSFlow(true);
  Port.FlowControl().SetControlDTR(TDTRFlowControl::dtrHandshake);
  Port.FlowControl().SetControlRTS(TRTSFlowControl::rtsToggle);
  Port.FlowControl().SetXonXoffIn(true);
  Port.FlowControl().SetXonChar('Q');
  TLineSettings Record = BuildLineSettings(Port);
  EXPECT_EQ(Record.BaudRate, 256000u);
  EXPECT_EQ(Record.ByteSize, 5);
  EXPECT_EQ(Record.StopBits, 1);
  EXPECT_EQ(Record.Parity, 4);
  EXPECT_EQ(Record.EvtChar, '#');
  EXPECT_EQ(Record.XonChar, 'Q');
  EXPECT_EQ(Record.fDtrControl, 2);
  EXPECT_EQ(Record.fRtsControl, 3);
  // fBinary, fOutxCtsFlow, fDtrControl 2, fInX, fNull, fRtsControl 3.
  EXPECT_EQ(Record.Flags(), 0x1u | 0x4u | 0x20u | 0x200u | 0x800u | 0x3000u);

  Port.SetBaudRate(TBaudRate::brCustom);
  Port.SetCustomBaudRate(31250);
  EXPECT_EQ(BuildLineSettings(Port).BaudRate, 31250u);
  EXPECT_EQ(BaudRateValue(TBaudRate::br110, 0), 110u);
  EXPECT_EQ(BaudRateValue(TBaudRate::br14400, 0), 14400u);
}

TEST(ComSettings, ReplacementCharacterNeedsParityCheck) {
  TComPort Port;
  Port.Parity().SetReplace(true);
  Port.Parity().SetReplaceChar('?');
  TLineSettings Record = BuildLineSettings(Port);
  EXPECT_EQ(Record.fErrorChar, 0);
  EXPECT_EQ(Record.ErrorChar, 0);

  Port.Parity().SetCheck(true);
  Record = BuildLineSettings(Port);
  EXPECT_EQ(Record.fParity, 1);
  EXPECT_EQ(Record.fErrorChar, 1);
  EXPECT_EQ(Record.ErrorChar, '?');
  EXPECT_EQ(Record.Flags(), 0x1u | 0x2u | 0x400u);
}

TEST(ComSettings, ExceptionMessageIsTheTextAndThePlatformError) {
  EComPort Error(ecOpenFailed, 2);
#ifdef _WIN32
  // The number, then the system's own words for it; a number the system has
  // no words for stands alone.
  const std::pair<int, bool> Codes[] = {{2, true}, {5, true},           {21, true},
                                        {1, true}, {0x20000001, false}, {-1, false}};
  for (const auto& [Code, HasWords] : Codes) {
    const std::string Text = EComPort(ecOpenFailed, Code).what();
    const std::string Number = "Unable to open com port (win error code: " + std::to_string(Code);
    ASSERT_EQ(Text.rfind(Number, 0), 0u) << Text;
    const std::string Rest = Text.substr(Number.size());
    EXPECT_EQ(Rest.back(), ')') << Text;
    if (HasWords) {
      EXPECT_EQ(Rest.rfind(": ", 0), 0u) << Text;
      EXPECT_GT(Rest.size(), 4u) << Text;
      EXPECT_EQ(Rest.find_first_of("\r\n"), std::string::npos) << Text;
    } else {
      EXPECT_EQ(Rest, ")") << Text;
    }
  }
#else
  // The errno and its words: "win error code 2" would send a search astray.
  EXPECT_STREQ(Error.what(), "Unable to open com port (error 2: No such file or directory)");
  EXPECT_STREQ(EComPort(ecPortListFailed, -1).what(), "Registry error (error -1)");
#endif
  EXPECT_EQ(Error.MessageCode(), 1);
  EXPECT_EQ(Error.PlatformError(), 2);

  const std::pair<int32_t, const char*> Table[] = {
      {1, "Unable to open com port"},
      {3, "ReadFile function failed"},
      {5, "PurgeComm function failed"},
      {7, "SetCommState function failed"},
      {8, "SetCommTimeouts failed"},
      {9, "SetupComm function failed"},
      {10, "ClearCommError function failed"},
      {11, "GetCommModemStatus function failed"},
      {13, "TransmitCommChar function failed"},
      {23, "Registry error"},
  };
  for (const auto& [Code, Text] : Table) {
    EXPECT_EQ(EComPort::MessageText(Code), Text) << "code " << Code;
  }
}

}  // namespace
}  // namespace korvane
