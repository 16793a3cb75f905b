// The progress bar of a byte stream on a terminal: one line, redrawn in
// place, with the bytes done of the total, the rate and the time left, kept
// within the terminal's width so that a redraw never wraps onto a new line.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace korvane::cli {

class TProgressMeter {
 public:
  using TClock = std::chrono::steady_clock;

  // Columns tells the terminal's width now (0: unknown, taken as 80); it is
  // asked at the start of each stream.
  explicit TProgressMeter(std::ostream& Terminal, std::function<int()> Columns = {})
      : FTerminal(Terminal), FColumns(std::move(Columns)) {}
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

  // The bar's text for Done of Total bytes at Rate bytes a second (none
  // while too few bytes have come to tell), without the terminal's control
  // characters, shorter than Columns: the bar narrows, then the rate and time
  // left go, then the text is cut.
  static std::string Format(const std::string& Label, int Done, int Total,
                            std::optional<double> Rate, int Columns = 80);

 private:
  void Draw(TClock::time_point Now);
  // Bytes a second since the stream's first byte, once enough have come.
  std::optional<double> Rate(TClock::time_point Now) const;

  std::ostream& FTerminal;
  std::function<int()> FColumns;
  int FWidth = 80;
  // The first byte's time and count: the rate is measured from there, since
  // the wait for the stream's start says nothing of its pace.
  std::optional<std::pair<TClock::time_point, int>> FFirstByte;
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
