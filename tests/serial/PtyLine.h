// The far end of the port suite's line on POSIX: a pseudo-terminal whose
// master the test plays, a second one to move to, and the errno values the
// port reports here.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "PtyPair.h"
#include "UComPort.h"

namespace korvane::test {

class TPtyLine {
 public:
  static constexpr int32_t NoDevice = ENOENT;
  static constexpr int32_t Busy = EBUSY;
  static constexpr int32_t Refused = ENOTTY;
  static constexpr int32_t Closed = EBADF;
  static constexpr int32_t HungUp = EIO;
  static constexpr int32_t BadFraming = EINVAL;
  static constexpr const char* NoDeviceText = "Unable to open com port (error 2: ";
  // The master sends whenever the test wants, also while the port waits.
  // Whether WaitForInput reads the byte that ends it (the wait asks the kernel and takes no byte).
  static constexpr bool WaitTakesAByte = false;
  static constexpr bool SendsUnasked = true;
  static constexpr const char* WhyNotUnasked = "";

  TPtyLine() = default;
  TPtyLine(const TPtyLine&) = delete;
  TPtyLine& operator=(const TPtyLine&) = delete;
  ~TPtyLine() {
    if (!FDir.empty()) {
      std::filesystem::remove_all(FDir);
    }
  }

  // Why the line cannot be had here, or "".
  static std::string Absent() { return ""; }
  static std::string SharingSkip() { return ""; }

  std::string Name() const { return FPty.SlavePath(); }
  std::string OtherName() const { return FOther.SlavePath(); }
  // Letter case counts: the upper-case path is a device that does not exist.
  std::string MissingName() const {
    std::string Upper = Name();
    std::transform(Upper.begin(), Upper.end(), Upper.begin(), ::toupper);
    return Upper;
  }
  std::string HangUpName() const { return Name(); }

  void Send(TComPort&, const std::string& Bytes) { FPty.Send(Bytes); }
  void SendAfter(int Ms, const std::string& Bytes) {
    std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
    FPty.Send(Bytes);
  }
  // What the far end got, waiting for one byte more than Count.
  std::string Received(TComPort&, size_t Count) { return FPty.Receive(Count + 1, 1000); }
  void HangUp(TComPort&) { FPty.CloseMaster(); }
  // A plain file opens, but refuses every line setting.
  void Refuse(TComPort& Port) {
    char Dir[] = "/tmp/korvane-serial-XXXXXX";
    if (mkdtemp(Dir) == nullptr) {
      throw std::runtime_error("mkdtemp failed");
    }
    FDir = Dir;
    std::ofstream(FDir + "/not-a-tty") << "x";
    Port.SetPort(FDir + "/not-a-tty");
  }

  static bool HandleOpen(TComHandle Handle) {
    return fcntl(static_cast<int>(Handle), F_GETFD) != -1;
  }

  void ExpectBoardLine(TComPort&) const {
    termios Line = FPty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&Line), B9600);
    EXPECT_EQ(cfgetispeed(&Line), B9600);
    EXPECT_EQ(Line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(Line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(Line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u) << "raw mode";
    EXPECT_EQ(Line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(Line.c_oflag & OPOST, 0u);
    EXPECT_NE(Line.c_cflag & CREAD, 0u);
  }

  // 19200 baud, two stop bits, XON/XOFF on output.
  void ExpectChangedLine(TComPort&) const {
    termios Line = FPty.SlaveSettings();
    EXPECT_EQ(cfgetospeed(&Line), B19200);
    EXPECT_NE(Line.c_cflag & CSTOPB, 0u);
    EXPECT_NE(Line.c_iflag & IXON, 0u);
  }

  // Recent kernels keep a pseudo-terminal at 8 bits without parity; where
  // one accepts 7E1 it must show in the device's settings.
  void ExpectSevenBitsEvenParity(TComPort&) const {
    termios Line = FPty.SlaveSettings();
    EXPECT_EQ(Line.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_EQ(Line.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB));
  }

 private:
  TPtyPair FPty;
  TPtyPair FOther;
  std::string FDir;
};

}  // namespace korvane::test
