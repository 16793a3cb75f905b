// The virtual programmer board: a pseudo-terminal whose far end answers the
// board's protocol from a model of the chip in its socket.
//
// Used as a program (korvane-boardsim) and as a library that a test starts on
// its own thread. Without Realtime it answers at once; with it, every byte on
// the wire, in either direction, costs the time it takes at 9600 baud.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane::sim {

struct TBoardSimOptions {
  // "89C51", "89LV51", "89C52", "89LV52", "89C55", "89LV55", "89C2051" (or "89C4051").
  std::string Chip = "89C52";
  // Code memory of the 89C2051/4051 kinds: 2048 or 4096.
  uint16_t Size2051 = 2048;
  // 9600-baud pacing in both directions and a realistic erase time.
  bool Realtime = false;
  // Time one erase takes with Realtime.
  int EraseMs = 200;
  // Every byte in each direction, readable; empty for none.
  std::string TranscriptPath;
  // A symlink made to the device path while the board serves; empty for none.
  std::string LinkPath;

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

// Byte counts for the wire model.
struct TBoardSimCounters {
  uint64_t BytesFromHost = 0;
  uint64_t BytesToHost = 0;
  uint64_t EraseCount = 0;
  // Simulated erase time spent, in milliseconds.
  uint64_t EraseMsSpent = 0;
};

class TBoardSim {
 public:
  explicit TBoardSim(TBoardSimOptions Options);
  ~TBoardSim();  // Stop()s
  TBoardSim(const TBoardSim&) = delete;
  TBoardSim& operator=(const TBoardSim&) = delete;

  // Opens the pseudo-terminal pair and starts serving on a thread.
  void Start();
  // Stops serving and closes the board's side: the host sees a hang-up.
  void Stop();
  // The device a host opens ("/dev/pts/7").
  const std::string& DevicePath() const;

  // The chip model, for tests (thread-safe snapshots).
  std::vector<uint8_t> Flash() const;
  void SetFlash(const std::vector<uint8_t>& Contents);
  bool Locked() const;
  TBoardSimCounters Counters() const;
  // Every byte the host sent, in order.
  std::string ReceivedBytes() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

}  // namespace korvane::sim
