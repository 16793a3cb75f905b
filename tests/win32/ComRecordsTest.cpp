// The port's plain records against the real Win32 structures: the packed
// flags word of the line-settings record must be the bit fields of the DCB
// the driver reads.
#include <gtest/gtest.h>

#include <cstring>

#include "UComPort.h"
#include "win32/UWin32Records.h"

namespace korvane {
namespace {

uint32_t FlagsWord(const DCB& Block) {
  uint32_t Word = 0;
  std::memcpy(&Word, reinterpret_cast<const char*>(&Block) + offsetof(DCB, BaudRate) + 4,
              sizeof Word);
  return Word;
}

TEST(Win32Records, TheBoardSettingsMakeTheDcbInForce) {
  TComPort Port;
  AssignBoardSettings(Port);
  const DCB Block = binding::ToDcb(BuildLineSettings(Port));
  EXPECT_EQ(Block.DCBlength, sizeof(DCB));
  EXPECT_EQ(Block.BaudRate, 9600u);
  EXPECT_EQ(FlagsWord(Block), 1u) << "fBinary alone";
  EXPECT_EQ(Block.fAbortOnError, 0u);
  EXPECT_EQ(Block.XonLim, 1024);
  EXPECT_EQ(Block.XoffLim, 1024);
  EXPECT_EQ(Block.ByteSize, 8);
  EXPECT_EQ(Block.Parity, NOPARITY);
  EXPECT_EQ(Block.StopBits, ONESTOPBIT);
  EXPECT_EQ(Block.XonChar, 17);
  EXPECT_EQ(Block.XoffChar, 19);
  EXPECT_EQ(Block.ErrorChar, 0);
  EXPECT_EQ(Block.EvtChar, 0);
}

TEST(Win32Records, EveryFlagLandsInItsDcbBitField) {
  TComPort Port;
  Port.Parity().SetCheck(true);
  Port.Parity().SetReplace(true);
  Port.Parity().SetReplaceChar('?');
  Port.Parity().SetBits(TParityBits::prMark);
  Port.SetDiscardNull(true);
  Port.SetEventChar('#');
  Port.SetStopBits(TStopBits::sbTwoStopBits);
  TComFlowControl& Flow = Port.FlowControl();
  Flow.SetOutCTSFlow(true);
  Flow.SetOutDSRFlow(true);
  Flow.SetControlDTR(TDTRFlowControl::dtrHandshake);
  Flow.SetControlRTS(TRTSFlowControl::rtsToggle);
  Flow.SetDSRSensitivity(true);
  Flow.SetTxContinueOnXoff(true);
  Flow.SetXonXoffOut(true);
  Flow.SetXonXoffIn(true);
  const TLineSettings Record = BuildLineSettings(Port);
  const DCB Block = binding::ToDcb(Record);
  EXPECT_EQ(FlagsWord(Block), Record.Flags());
  EXPECT_EQ(Block.fParity, 1u);
  EXPECT_EQ(Block.fOutxCtsFlow, 1u);
  EXPECT_EQ(Block.fOutxDsrFlow, 1u);
  EXPECT_EQ(Block.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
  EXPECT_EQ(Block.fDsrSensitivity, 1u);
  EXPECT_EQ(Block.fTXContinueOnXoff, 1u);
  EXPECT_EQ(Block.fOutX, 1u);
  EXPECT_EQ(Block.fInX, 1u);
  EXPECT_EQ(Block.fErrorChar, 1u);
  EXPECT_EQ(Block.fNull, 1u);
  EXPECT_EQ(Block.fRtsControl, static_cast<DWORD>(RTS_CONTROL_TOGGLE));
  EXPECT_EQ(Block.Parity, MARKPARITY);
  EXPECT_EQ(Block.StopBits, TWOSTOPBITS);
  EXPECT_EQ(Block.ErrorChar, '?');
  EXPECT_EQ(Block.EvtChar, '#');

  // One flag at a time, so that no two fields can stand in for each other.
  Flow.SetXonXoffOut(false);
  EXPECT_EQ(FlagsWord(binding::ToDcb(BuildLineSettings(Port))), Record.Flags() & ~0x100u);
}

TEST(Win32Records, TimeoutsPassOneForOneWithMinusOneAsMaxDword) {
  TComPort Port;
  AssignBoardSettings(Port);
  const COMMTIMEOUTS Record = binding::ToCommTimeouts(BuildTimeoutRecord(Port));
  EXPECT_EQ(Record.ReadIntervalTimeout, MAXDWORD);
  EXPECT_EQ(Record.ReadTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(Record.ReadTotalTimeoutConstant, 1000u);
  EXPECT_EQ(Record.WriteTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(Record.WriteTotalTimeoutConstant, 1000u);
}

}  // namespace
}  // namespace korvane
