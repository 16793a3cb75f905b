// The far end of the port suite's line on Windows: the COM ports that
// scripts/test-windows.sh links into the wine prefix, one that sends back
// every byte and one that hangs up on EOT, and the Windows error codes the
// port reports.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <string>

#include "UComPort.h"

namespace korvane::test {

inline long long MsSince(std::chrono::steady_clock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               Start)
      .count();
}

// True when wine runs this program rather than Windows itself.
inline bool RunningUnderWine() {
  HMODULE Ntdll = GetModuleHandleA("ntdll.dll");
  return Ntdll != nullptr && GetProcAddress(Ntdll, "wine_get_version") != nullptr;
}

class TComLine {
 public:
  // 0: any error code but none.
  static constexpr int32_t AnyError = 0;
  static constexpr int32_t NoDevice = ERROR_FILE_NOT_FOUND;
  static constexpr int32_t Busy = ERROR_ACCESS_DENIED;
  static constexpr int32_t Refused = AnyError;
  static constexpr int32_t Closed = AnyError;
  static constexpr int32_t HungUp = AnyError;
  static constexpr int32_t BadFraming = AnyError;
  // The system's words follow the number, in the user's language.
  static constexpr const char* NoDeviceText = "Unable to open com port (win error code: 2: ";
  // Whether WaitForInput reads the byte that ends it (the wait reads the byte that ends it).
  static constexpr bool WaitTakesAByte = true;
  static constexpr bool SendsUnasked = false;
  static constexpr const char* WhyNotUnasked =
      "the echo line sends only what the port sent, so nothing comes while the port waits";

  std::string Absent() const {
    return FEcho.empty() ? "no echo line given; scripts/test-windows.sh provides one" : "";
  }
  static std::string SharingSkip() {
    return RunningUnderWine() ? "wine lets a second handle open a COM device" : "";
  }

  std::string Name() const { return FEcho; }
  // Letter case counts as a change, though Windows opens the same device.
  std::string OtherName() const {
    std::string Lower = FEcho;
    std::transform(Lower.begin(), Lower.end(), Lower.begin(), ::tolower);
    return Lower;
  }
  static std::string MissingName() { return "COM199"; }
  std::string HangUpName() const { return FHangUp; }

  // The echo line: what the port sends comes back.
  static void Send(TComPort& Port, const std::string& Bytes) {
    for (char Ch : Bytes) {
      Port.SendChar(static_cast<uint8_t>(Ch));
    }
  }
  // What came back of the bytes sent, waiting a moment for one more.
  static std::string Received(TComPort& Port, size_t Count) {
    const auto Start = std::chrono::steady_clock::now();
    while (static_cast<size_t>(Port.InputCount()) < Count && MsSince(Start) < 3000) {
      Sleep(5);
    }
    Sleep(100);
    std::string Echo;
    Port.ReadStr(Echo, Port.InputCount());
    return Echo;
  }
  static void HangUp(TComPort& Port) { Port.SendChar(4); }
  // A parity kind beyond space parity, which every driver refuses.
  void Refuse(TComPort& Port) const {
    Port.SetPort(FEcho);
    Port.Parity().SetBits(static_cast<TParityBits>(5));
  }

  static bool HandleOpen(TComHandle Handle) {
    DWORD Flags = 0;
    return GetHandleInformation(reinterpret_cast<HANDLE>(Handle), &Flags) != 0;
  }

  static void ExpectBoardLine(TComPort& Port) {
    const DCB Block = State(Port);
    EXPECT_EQ(Block.BaudRate, 9600u);
    EXPECT_EQ(Block.ByteSize, 8);
    EXPECT_EQ(Block.Parity, NOPARITY);
    EXPECT_EQ(Block.StopBits, ONESTOPBIT);
    EXPECT_EQ(Block.fOutxCtsFlow, 0u);
    EXPECT_EQ(Block.fOutX, 0u);
    EXPECT_EQ(Block.fInX, 0u);
    const COMMTIMEOUTS Timeouts = TimeoutsOf(Port);
    EXPECT_EQ(Timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(Timeouts.ReadTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(Timeouts.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(Timeouts.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(Timeouts.WriteTotalTimeoutConstant, 1000u);
    if (RunningUnderWine()) {
      // The line has no modem lines here: the status call fails as not
      // supported, and Open went through all the same.
      DWORD Status = 0;
      SetLastError(ERROR_SUCCESS);
      EXPECT_FALSE(GetCommModemStatus(reinterpret_cast<HANDLE>(Port.Handle()), &Status));
      const DWORD Error = GetLastError();
      EXPECT_TRUE(Error == ERROR_SUCCESS || Error == ERROR_NOT_SUPPORTED) << Error;
    }
  }

  // 19200 baud, two stop bits, XON/XOFF on output, a read constant of 500 ms.
  static void ExpectChangedLine(TComPort& Port) {
    const DCB Block = State(Port);
    EXPECT_EQ(Block.BaudRate, 19200u);
    EXPECT_EQ(Block.StopBits, TWOSTOPBITS);
    EXPECT_NE(Block.fOutX, 0u);
    EXPECT_EQ(TimeoutsOf(Port).ReadTotalTimeoutConstant, 500u);
  }

  static void ExpectSevenBitsEvenParity(TComPort& Port) {
    const DCB Block = State(Port);
    EXPECT_EQ(Block.ByteSize, 7);
    EXPECT_EQ(Block.Parity, EVENPARITY);
  }

 private:
  static DCB State(TComPort& Port) {
    DCB Block{};
    Block.DCBlength = sizeof Block;
    EXPECT_TRUE(GetCommState(reinterpret_cast<HANDLE>(Port.Handle()), &Block)) << GetLastError();
    return Block;
  }
  static COMMTIMEOUTS TimeoutsOf(TComPort& Port) {
    COMMTIMEOUTS Timeouts{};
    EXPECT_TRUE(GetCommTimeouts(reinterpret_cast<HANDLE>(Port.Handle()), &Timeouts))
        << GetLastError();
    return Timeouts;
  }

  static std::string Given(const char* Variable) {
    const char* Name = std::getenv(Variable);
    return Name != nullptr ? Name : "";
  }

  // A line whose far end sends back every byte, and one that hangs up on EOT.
  std::string FEcho = Given("KORVANE_TEST_ECHO_PORT");
  std::string FHangUp = Given("KORVANE_TEST_HANGUP_PORT");
};

}  // namespace korvane::test
