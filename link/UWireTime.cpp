#include "UWireTime.h"

#include <chrono>
#include <string>

#include "UBoardProtocol.h"

namespace korvane {

namespace {

using namespace protocol;

// 8 data bits, a start and a stop bit.
constexpr double SecondsPerByte = 10.0 / 9600.0;

// The board's answers, as docs/PROTOCOL.md gives them.
constexpr uint32_t EraseBytes = 1 + 7 + 1 + 11;  // "e", "e ok\r\n>", "p", "pSS ok,B\r\n>"
constexpr uint32_t WriteFrameBytes = 2 + 7;      // "w" and its echo, "\r\nok\r\n>"
constexpr uint32_t WriteBytesEach = 3;           // DC1, the byte, DC3
constexpr uint32_t ReadFrameBytes = 2 + 3;       // "r" and its echo, "\r\n>"
constexpr uint32_t ReadBytesEach = 2;            // two hexadecimal digits
constexpr uint32_t ChecksumBytes = 1 + 10;       // "c", "c= VVVV\r\n>"

uint32_t CounterBytes(uint16_t Count) {
  // "s" and DC1, each digit and its DC1, the line feed and "ok\r\n>".
  return 2 + 2 * static_cast<uint32_t>(std::to_string(Count).size()) + 1 + 5;
}

}  // namespace

double WireSeconds(uint32_t Bytes) {
  return Bytes * SecondsPerByte;
}

double ProgrammingSeconds(uint16_t Count, bool FastVerify) {
  uint32_t Bytes = EraseBytes + CounterBytes(Count) + WriteFrameBytes + WriteBytesEach * Count;
  Bytes += FastVerify ? ChecksumBytes : ReadFrameBytes + ReadBytesEach * Count;
  // Both verifications let the board settle first.
  const double Pause = std::chrono::duration<double>(BoardSettleTime).count();
  return Bytes * SecondsPerByte + Pause;
}

}  // namespace korvane
