#include "HostEnd.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace korvane::sim::test {

namespace {

using TClock = std::chrono::steady_clock;

int MsLeft(TClock::time_point Deadline) {
  const auto Left =
      std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now()).count();
  return Left > 0 ? int(Left) : 0;
}

}  // namespace

THostEnd::THostEnd(const std::string& Device) {
  FFd = ::open(Device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (FFd < 0) {
    throw std::runtime_error("cannot open " + Device + ": " + std::strerror(errno));
  }
}

THostEnd::~THostEnd() {
  ::close(FFd);
}

void THostEnd::Send(std::string_view Bytes) {
  FSent += Bytes;
  while (!Bytes.empty()) {
    const ssize_t Put = ::write(FFd, Bytes.data(), Bytes.size());
    if (Put < 0) {
      throw std::runtime_error(std::string("write to the board failed: ") + std::strerror(errno));
    }
    Bytes.remove_prefix(size_t(Put));
  }
}

bool THostEnd::Readable(int TimeoutMs) {
  pollfd Fd{FFd, POLLIN, 0};
  return ::poll(&Fd, 1, TimeoutMs) > 0 && (Fd.revents & POLLIN) != 0;
}

std::string THostEnd::Collect(char Terminator, int TimeoutMs) {
  const auto Deadline = TClock::now() + std::chrono::milliseconds(TimeoutMs);
  std::string Reply;
  while (Reply.find(Terminator) == std::string::npos && Readable(MsLeft(Deadline))) {
    char Buffer[4096];
    const ssize_t Got = ::read(FFd, Buffer, sizeof Buffer);
    if (Got <= 0) {
      break;
    }
    Reply.append(Buffer, size_t(Got));
  }
  FReceived += Reply;
  return Reply;
}

int THostEnd::ReadByte(int TimeoutMs) {
  unsigned char Byte;
  if (!Readable(TimeoutMs) || ::read(FFd, &Byte, 1) != 1) {
    return -1;
  }
  FReceived += char(Byte);
  return Byte;
}

std::string THostEnd::Drain(int Ms) {
  const auto Deadline = TClock::now() + std::chrono::milliseconds(Ms);
  std::string Got;
  while (Readable(MsLeft(Deadline))) {
    char Buffer[4096];
    const ssize_t N = ::read(FFd, Buffer, sizeof Buffer);
    if (N <= 0) {
      break;
    }
    Got.append(Buffer, size_t(N));
  }
  FReceived += Got;
  return Got;
}

int THostEnd::Waiting() const {
  int Count = 0;
  ::ioctl(FFd, FIONREAD, &Count);
  return Count;
}

bool THostEnd::HangsUp(int TimeoutMs) {
  const auto Deadline = TClock::now() + std::chrono::milliseconds(TimeoutMs);
  do {
    pollfd Fd{FFd, POLLIN, 0};
    if (::poll(&Fd, 1, MsLeft(Deadline)) <= 0) {
      return false;
    }
    if (Fd.revents & (POLLHUP | POLLERR)) {
      return true;
    }
    char Byte;
    const ssize_t Got = ::read(FFd, &Byte, 1);
    if (Got <= 0) {
      return Got == 0 || errno == EIO;
    }
    FReceived += Byte;
  } while (MsLeft(Deadline) > 0);
  return false;
}

bool SetCounter(THostEnd& Host, uint32_t Count) {
  if (Host.Ask("s", DC1) != std::string(1, DC1)) {
    return false;
  }
  for (char Digit : std::to_string(Count)) {
    if (Host.Ask(std::string(1, Digit), DC1) != std::string(1, DC1)) {
      return false;
    }
  }
  return Host.Ask("\n", '>') == "ok\r\n>";
}

size_t WriteStream(THostEnd& Host, const std::vector<uint8_t>& Data) {
  if (Host.Ask("w", 'w') != "w") {
    return 0;
  }
  size_t Taken = 0;
  for (uint8_t Byte : Data) {
    if (Host.ReadByte() != DC1) {
      return Taken;
    }
    Host.Send(std::string(1, char(Byte)));
    if (Host.ReadByte() != DC3) {
      return Taken;
    }
    ++Taken;
  }
  Host.Collect('>');
  return Taken;
}

std::string Hex(const std::vector<uint8_t>& Data) {
  std::string Text;
  for (uint8_t Byte : Data) {
    char Pair[3];
    std::snprintf(Pair, sizeof Pair, "%02X", Byte);
    Text += Pair;
  }
  return Text;
}

long ChecksumValue(const std::string& Reply) {
  const size_t Equals = Reply.find('=');
  if (Equals == std::string::npos || Reply.size() < Equals + 6) {
    return -1;
  }
  const std::string Digits = Reply.substr(Equals + 2, 4);
  if (Digits.find_first_not_of("0123456789ABCDEF") != std::string::npos) {
    return -1;
  }
  return std::strtol(Digits.c_str(), nullptr, 16);
}

uint32_t Sum16(const std::vector<uint8_t>& Data) {
  uint32_t Sum = 0;
  for (uint8_t Byte : Data) {
    Sum += Byte;
  }
  return Sum % 65536;
}

std::vector<uint8_t> TestPattern(size_t Count) {
  static const uint8_t CSpecial[] = {0x00, 0x11, 0x13, 0x0D, 0x0A, '>', 'w', 0xFF};
  std::vector<uint8_t> Data(Count);
  for (size_t I = 0; I < Count; ++I) {
    Data[I] = I < sizeof CSpecial ? CSpecial[I] : uint8_t((I * 37 + 11) ^ (I >> 8));
  }
  return Data;
}

TTempDir::TTempDir() {
  std::string Template = (std::filesystem::temp_directory_path() / "korvane-sim-XXXXXX").string();
  if (::mkdtemp(Template.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder: " +
                             std::string(std::strerror(errno)));
  }
  FPath = Template;
}

TTempDir::~TTempDir() {
  std::error_code Ignored;
  std::filesystem::remove_all(FPath, Ignored);
}

std::string ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

}  // namespace korvane::sim::test
