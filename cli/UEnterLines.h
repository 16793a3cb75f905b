// The lines typed at the terminal during a production run on 89C2051/4051
// boards, which cannot see their socket: the user says with Enter that the
// next chip is in. With one board any line says it; with several a line
// names the board ("2"), or is empty when a single board is waiting.
// Shared by the boards' threads: whichever waits reads the input for all.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>

namespace korvane::cli {

class TEnterLines {
 public:
  enum class TAnswer { Entered, Stopped, InputEnded };

  // Boards: how many boards the run has. The lines come from the standard
  // input; Say tells the user what a line that names no waiting board did
  // not do (never with one board).
  TEnterLines(int Boards, std::function<void(const std::string&)> Say)
      : FBoards(Boards), FSay(std::move(Say)) {}

  // Waits until a line says that Board (from 1) holds its next chip, the
  // user stopped (Stopped, asked every tenth of a second) or the input
  // ended.
  TAnswer Await(int Board, const std::function<bool()>& Stopped);

 private:
  // Hands Line to the board it names; what was not done, or "".
  std::string Dispatch(const std::string& Line);
  // One line read, or the input's end seen; false when none came in time.
  bool ReadOne(std::unique_lock<std::mutex>& Lock);

  const int FBoards;
  const std::function<void(const std::string&)> FSay;
  std::mutex FGuard;
  std::condition_variable FChanged;
  std::set<int> FWaiting;
  std::set<int> FEntered;
  bool FReading = false;
  bool FEnded = false;
};

}  // namespace korvane::cli
