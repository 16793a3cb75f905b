// The board's side of the conversation as the link relies on it: the bytes
// it is sent, the words its replies carry, and the time each exchange is
// allowed. docs/PROTOCOL.md describes the protocol as a whole.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvane::protocol {

// Control bytes.
constexpr uint8_t CR = 13;
constexpr uint8_t LF = 10;
constexpr uint8_t DC1 = 17;
constexpr uint8_t DC3 = 19;
// The prompt that ends most answers.
constexpr uint8_t Prompt = '>';

// Command bytes.
constexpr uint8_t CmdSignature = 'p';
constexpr uint8_t CmdErase = 'e';
constexpr uint8_t CmdCounter = 's';
constexpr uint8_t CmdWrite = 'w';
constexpr uint8_t CmdRead = 'r';
constexpr uint8_t CmdChecksum = 'c';
constexpr uint8_t CmdLock = 'l';
// Sends nothing: the exchange only collects what the board still has to say.
constexpr uint8_t CmdNone = 0;

// Words in the replies.
constexpr std::string_view BannerWord = "Vyte";
constexpr std::string_view Banner2051 = "2051";
constexpr std::string_view ReplyOk = "ok";

// Time allowed for each exchange, in milliseconds.
constexpr int32_t ScanTimeoutMs = 500;           // carriage return, while scanning the ports
constexpr int32_t CheckTimeoutMs = 1000;         // carriage return, on the port of a known chip
constexpr int32_t SignatureTimeoutMs = 30000;    // "p"
constexpr int32_t EraseTimeoutMs = 5000;         // "e"
constexpr int32_t CounterStartTimeoutMs = 2000;  // "s"
constexpr int32_t CounterDigitTimeoutMs = 1000;  // each digit, and the closing line feed
constexpr int32_t WriteEchoTimeoutMs = 1000;     // "w"
constexpr int32_t StreamEndTimeoutMs = 1000;     // the prompt after a write or read stream
constexpr int32_t ChecksumTimeoutMs = 1000;      // "c"
constexpr int32_t LockTimeoutMs = 500;           // "l"

// How many times an erase is tried before it counts as failed.
constexpr int EraseTries = 10;

// The bytes at the start of a write stream whose pace is timed.
constexpr uint32_t TimedWriteBytes = 32;
// One byte's handshake on the wire: DC1, the byte and DC3 at 9600 baud.
constexpr double WireCycleMs = 3 * 10 * 1000.0 / 9600;

// The longest reply an exchange keeps; a board that floods the line past it
// gives no usable reply.
constexpr size_t MaxReplyBytes = 64 * 1024;
// The board needs a moment after "r" and before "c" before it answers.
constexpr std::chrono::milliseconds BoardSettleTime{500};

}  // namespace korvane::protocol
