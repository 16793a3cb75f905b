// The request to stop serving, from any thread to the board's thread: a pipe
// whose read end every wait of the board's thread watches beside the line.
#pragma once

namespace korvane::sim {

class TStopSignal {
 public:
  TStopSignal() = default;
  ~TStopSignal();
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  // Makes the pipe and forgets an earlier request; raises std::runtime_error.
  void Open();
  void Close();
  // Any thread: wakes the board's thread from whatever it waits for.
  void Raise();
  // The end a poll watches: readable once the stop has been asked for.
  int Fd() const { return FPipe[0]; }
  // The board's thread: it has seen the request, and every wait ends at once.
  void Notice() { FSeen = true; }
  bool Seen() const { return FSeen; }

 private:
  int FPipe[2] = {-1, -1};
  bool FSeen = false;
};

}  // namespace korvane::sim
