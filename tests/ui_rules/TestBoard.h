// The virtual board of the rule suite, reached through a port name as the
// rules' scan would find it: in this process on POSIX (InProcessBoard.cpp);
// under wine, kept on the host by korvane-board-broker (BoardBroker.cpp) and
// asked for through files (BrokeredBoard.cpp). Destroying it unplugs it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "UBoardSimOptions.h"

namespace korvane::test {

class TTestBoard {
 public:
  virtual ~TTestBoard() = default;
  // The name the rules open: "/dev/pts/7", "COM12".
  virtual const std::string& Port() const = 0;
  virtual std::vector<uint8_t> Flash() const = 0;
  virtual void SetFlash(const std::vector<uint8_t>& Contents) = 0;
  virtual bool Locked() const = 0;
  // Every byte the host sent, in order.
  virtual std::string ReceivedBytes() const = 0;
};

// Why no board can be started here ("" when one can).
std::string TestBoardMissing();
// A board with Options, serving.
std::unique_ptr<TTestBoard> StartTestBoard(const sim::TBoardSimOptions& Options);

}  // namespace korvane::test
