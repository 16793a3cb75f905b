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

#include "UBoardSimCounters.h"
#include "UBoardSimOptions.h"

namespace korvane::sim {

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
