// The host's end of the virtual board's line, driven with plain open, read and
// write on the pseudo-terminal, so that nothing of the project's own port or
// link code stands between a test and the board.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::sim::test {

using TClock = std::chrono::steady_clock;

// One byte on the board's 9600-baud wire (10 bits), in milliseconds.
constexpr double CByteMs = 10 * 1000.0 / 9600;

// Milliseconds since Start, for the timing suites.
inline double MsSince(TClock::time_point Start) {
  return std::chrono::duration<double, std::milli>(TClock::now() - Start).count();
}

constexpr char DC1 = 17;
constexpr char DC3 = 19;

class THostEnd {
 public:
  explicit THostEnd(const std::string& Device);
  ~THostEnd();
  THostEnd(const THostEnd&) = delete;
  THostEnd& operator=(const THostEnd&) = delete;

  void Send(std::string_view Bytes);
  // Everything that arrives until Terminator has been seen, or TimeoutMs passed.
  std::string Collect(char Terminator, int TimeoutMs = 3000);
  std::string Ask(std::string_view Command, char Terminator, int TimeoutMs = 3000) {
    Send(Command);
    return Collect(Terminator, TimeoutMs);
  }
  // One byte, or -1 when none came within TimeoutMs or the line is gone.
  int ReadByte(int TimeoutMs = 3000);
  // Everything that arrives within Ms.
  std::string Drain(int Ms);
  // Bytes waiting to be read.
  int Waiting() const;
  // True when the board hangs up within TimeoutMs.
  bool HangsUp(int TimeoutMs = 3000);

  // Everything this end has sent and received, in order.
  const std::string& Sent() const { return FSent; }
  const std::string& Received() const { return FReceived; }

 private:
  // Waits for input; false after TimeoutMs.
  bool Readable(int TimeoutMs);

  int FFd = -1;
  std::string FSent;
  std::string FReceived;
};

// "s", the digits and line feed, each acknowledged as the board should; true
// when the board answers "ok".
bool SetCounter(THostEnd& Host, uint32_t Count);
// The write stream: the echo, then DC1, the byte and DC3 for each byte, then
// the closing text. Gives the number of bytes the board took.
size_t WriteStream(THostEnd& Host, const std::vector<uint8_t>& Data);
// Two upper-case hex characters per byte.
std::string Hex(const std::vector<uint8_t>& Data);
// The value V the board answers to "c" in "c= XXXX" (-1 when malformed).
long ChecksumValue(const std::string& Reply);
// Sum of Data modulo 65536.
uint32_t Sum16(const std::vector<uint8_t>& Data);
// Count bytes that exercise the handshake: control characters, the prompt,
// 00 and FF among ordinary values.
std::vector<uint8_t> TestPattern(size_t Count);

// A fresh temporary folder, removed with its contents.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& Name) const { return FPath + "/" + Name; }

 private:
  std::string FPath;
};

std::string ReadFile(const std::string& Path);

}  // namespace korvane::sim::test
