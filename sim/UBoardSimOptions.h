// What the virtual board is: the chip in its socket, how it paces the wire,
// the adapter between it and the host, what it records, and the faults it
// plays. Read by every part of the board; set by its program's switches or by
// a test.
#pragma once

#include <cstdint>
#include <string>

namespace korvane::sim {

struct TBoardSimOptions {
  // "89C51", "89LV51", "89C52", "89LV52", "89C55", "89LV55", "89C2051" (or "89C4051").
  std::string Chip = "89C52";
  // Code memory of the 89C2051/4051 kinds: 2048 or 4096.
  uint16_t Size2051 = 2048;
  // 9600-baud pacing in both directions and a realistic erase time.
  bool Realtime = false;
  // With Realtime, paced waits sleep right to their moment instead of
  // spinning its last 150 us: a byte the host waits for comes some tens of
  // microseconds late, but many boards can share few cores without each
  // taking a core's time from the host.
  bool SleepPacing = false;
  // Time one erase takes with Realtime.
  int EraseMs = 200;
  // Every byte in each direction, readable; empty for none.
  std::string TranscriptPath;
  // A symlink made to the device path while the board serves; empty for none.
  std::string LinkPath;

  // --- The USB serial adapter between the board and the host ---
  // The adapter's latency timer in milliseconds: the board's outgoing bytes
  // (after their pacing, with Realtime) are held until this long after the
  // first of them was ready, or until 62 are waiting, and then reach the host
  // together. 0 = no hold: every byte goes to the host when it is ready.
  int UsbLatencyMs = 0;
  // A file holding the latency timer as a decimal number, read again at the
  // start of each held packet; while it is missing or unreadable,
  // UsbLatencyMs counts. Empty for none.
  std::string LatencyFile;

  // --- The socket ---
  // A file naming the chip kind in the socket (as Chip takes it) or "empty",
  // read at every "p" and every carriage return. Another name than before
  // puts a new blank chip of that kind in; while the file is missing, the
  // chip in the socket stays. Empty for none: Chip stays in the socket.
  std::string SocketPath;

  // --- Fault injection (combinable) ---
  // The chip is fully erased only by the Nth "e" (1 = the first).
  int EraseTries = 1;
  // "p" gets no answer at all.
  bool NoSignatureAnswer = false;
  // "r" is echoed with this byte instead of "r" (0 = no fault).
  uint8_t WrongReadEcho = 0;
  // During a write, DC3 is sent where DC1 is expected before byte I (-1 = off).
  int Dc3InsteadOfDc1At = -1;
  // The byte at address I is stored corrupted (bits flipped) (-1 = off).
  int CorruptByteAt = -1;
  // The answer to "c" is off by one.
  bool WrongChecksum = false;
  // The board hangs up (closes its side) when write byte I is due (-1 = off).
  int HangUpAtWriteByte = -1;
  // The device answers nothing at all.
  bool Silent = false;
  // Carriage return is answered without the banner word.
  bool NoBannerWord = false;
};

}  // namespace korvane::sim
