// The board's 9600-baud wire: when each byte, in either direction, has
// crossed it, and waits that end at those moments without drifting over a
// long run. Without Realtime there is no schedule; the waits still serve for
// the board's other delays.
#pragma once

#include <chrono>

#include "UStopSignal.h"

namespace korvane::sim {

class TWirePacer {
 public:
  using TClock = std::chrono::steady_clock;

  // One byte at 9600 baud: a start bit, eight data bits, a stop bit.
  static constexpr auto CByteTime = std::chrono::nanoseconds(10 * 1000000000LL / 9600);
  // A timed sleep here wakes 50 to 100 us late (more under load). Where the
  // host is waiting for the byte (the end of an output: each DC1 of a write
  // stream, the prompt of an answer) that lateness would be the host's lost
  // time, byte after byte, so such a wait sleeps until this long before its
  // deadline and spins the rest.
  static constexpr auto CSpinLead = std::chrono::microseconds(150);

  // SleepOnly: every wait sleeps right to its deadline and never spins, for
  // many boards sharing few cores, where spinning boards would take the time
  // of the host they serve; the host then waits that lateness byte after byte.
  TWirePacer(bool Realtime, bool SleepOnly, TStopSignal& Stop)
      : FRealtime(Realtime), FSleepOnly(SleepOnly), FStop(Stop) {}

  bool Realtime() const { return FRealtime; }
  // Asks the kernel, for the calling thread, to wake paced waits on time.
  void TuneThread() const;

  // Waits until Deadline unless the stop comes first; false once stopping.
  // OnTime: the host is waiting for what follows, so wake at the deadline
  // itself rather than when the kernel gets round to it (unless SleepOnly).
  bool WaitUntil(TClock::time_point Deadline, bool OnTime = false);

  // An output begins: its first byte leaves once the one before it has left,
  // and not before the moment the board acts at.
  void BeginOutput();
  // When the next byte of the output has all its bits on the wire.
  TClock::time_point NextOutputByte();
  // When a byte that the board read at Arrival has all its bits in.
  TClock::time_point NextInputByte(TClock::time_point Arrival);

 private:
  // The moment the board acts at now: the end of the paced wait it has just
  // come out of, or the clock when it has been idle since.
  TClock::time_point ActingTime() const;

  bool FRealtime;
  bool FSleepOnly;
  TStopSignal& FStop;
  // When each direction of the wire is next free.
  TClock::time_point FRxFree{};
  TClock::time_point FTxFree{};
  // The end of the last paced wait: the moment the board acted at.
  TClock::time_point FReached{};
};

}  // namespace korvane::sim
