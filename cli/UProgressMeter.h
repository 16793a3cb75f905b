// The progress bar of a byte stream on a terminal: one line, redrawn in
// place, with the bytes done of the total, the rate and the time left.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

namespace korvane::cli {

class TProgressMeter {
 public:
  using TClock = std::chrono::steady_clock;

  explicit TProgressMeter(std::ostream& Terminal) : FTerminal(Terminal) {}
  // Leaves no half-drawn bar behind, also when an error ends the stream.
  ~TProgressMeter() { Erase(); }
  TProgressMeter(const TProgressMeter&) = delete;
  TProgressMeter& operator=(const TProgressMeter&) = delete;

  // A stream of Max - Min + 1 bytes begins; Label names it on the bar.
  void Start(int Min, int Max, const std::string& Label, TClock::time_point Now = TClock::now());
  // The byte at Position has been handled. A return to the first position
  // after the stream has moved on ends it, as the operations do when they
  // finish.
  void Move(int Position, TClock::time_point Now = TClock::now());
  // Takes the bar off the line, so that other output starts on a clean one.
  void Erase();
  bool Active() const { return FActive; }

  // The bar's text for Done of Total bytes after Elapsed, without the
  // terminal's control characters.
  static std::string Format(const std::string& Label, int Done, int Total,
                            std::chrono::duration<double> Elapsed);

 private:
  void Draw(TClock::time_point Now);

  std::ostream& FTerminal;
  std::string FLabel;
  int FMin = 0;
  int FTotal = 0;
  int FDone = 0;
  bool FActive = false;
  bool FShown = false;
  TClock::time_point FStarted;
  TClock::time_point FLastDrawn;
};

}  // namespace korvane::cli
