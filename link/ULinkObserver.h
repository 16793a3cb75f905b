// How a board link tells its owner what it is doing, and learns that the
// user wants it to stop. The window implements it with its status panel and
// progress bar, the command line with terminal output, the tests with a
// recorder. It carries only what every front understands: the status, the
// progress of a stream, the board's unexpected messages, the stop request
// and the pace of a write stream; painting, cursors and timers are the
// front's own business.
#pragma once

#include <string>

#include "ULinkRecords.h"
#include "UStatusTexts.h"

namespace korvane {

class TLinkObserver {
 public:
  virtual ~TLinkObserver() = default;

  // The status changed: its name and its text (StatusText with the try,
  // count or port that goes with it). Set also when it is the same again.
  virtual void StatusChanged(TStatus Status, const std::string& Text) = 0;
  // A stream starts: its positions run from Min to Max.
  virtual void ProgressRangeChanged(int Min, int Max) = 0;
  // A stream moved on, or ended (back to the first position).
  virtual void ProgressMoved(int Position) = 0;
  // The board answered a read with something other than its echo: Text is
  // its raw bytes, for the user to see; the operation goes on after it.
  virtual void BoardMessage(const std::string& Text) = 0;
  // The user asked to stop. Asked only where the board can be left at its
  // prompt: between operations, between erase tries, after a read stream;
  // a write stream is finished with FF for every byte still asked for.
  virtual bool StopRequested() = 0;
  // A write stream's first bytes were timed (streams too short to time say
  // nothing).
  virtual void WriteTimingMeasured(const TWriteTiming& /*Timing*/) {}
  // A stop request was seen in the middle of a stream, which goes on to its
  // end first; said once for the stream.
  virtual void StopNoticed(const TStopNotice& /*Notice*/) {}
};

}  // namespace korvane
