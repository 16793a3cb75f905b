#include "UProgressMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace korvane::cli {

namespace {

// A terminal line is redrawn at most this often; the streams move a byte
// every millisecond or so, and a redraw per byte would cost more than it shows.
constexpr std::chrono::milliseconds RedrawInterval{100};
constexpr int BarWidth = 24;

std::string Duration(double Seconds) {
  const long Whole = std::lround(Seconds);
  char Text[32];
  std::snprintf(Text, sizeof Text, "%ld:%02ld", Whole / 60, Whole % 60);
  return Text;
}

}  // namespace

void TProgressMeter::Start(int Min, int Max, const std::string& Label, TClock::time_point Now) {
  Erase();
  FLabel = Label;
  FMin = Min;
  FTotal = std::max(Max - Min + 1, 0);
  FDone = 0;
  FActive = FTotal > 0;
  FStarted = Now;
  FLastDrawn = Now - RedrawInterval;
}

void TProgressMeter::Move(int Position, TClock::time_point Now) {
  if (!FActive) {
    return;
  }
  const int Done = std::clamp(Position - FMin + 1, 0, FTotal);
  if (Position == FMin && FDone >= 1) {
    Erase();
    FActive = false;
    return;
  }
  FDone = Done;
  if (FDone == FTotal || Now - FLastDrawn >= RedrawInterval) {
    Draw(Now);
  }
}

void TProgressMeter::Erase() {
  if (FShown) {
    FTerminal << "\r\033[K" << std::flush;
    FShown = false;
  }
}

void TProgressMeter::Draw(TClock::time_point Now) {
  FTerminal << '\r' << Format(FLabel, FDone, FTotal, Now - FStarted) << "\033[K" << std::flush;
  FShown = true;
  FLastDrawn = Now;
}

std::string TProgressMeter::Format(const std::string& Label, int Done, int Total,
                                   std::chrono::duration<double> Elapsed) {
  const int Filled =
      Total > 0 ? static_cast<int>(static_cast<long long>(Done) * BarWidth / Total) : 0;
  std::string Text = Label.empty() ? std::string() : Label + " ";
  Text += '[' + std::string(Filled, '#') + std::string(BarWidth - Filled, '.') + "] ";
  Text += std::to_string(Done) + '/' + std::to_string(Total) + " bytes";
  const double Seconds = Elapsed.count();
  if (Done > 0 && Seconds > 0.2) {
    const double Rate = Done / Seconds;
    char RateText[32];
    std::snprintf(RateText, sizeof RateText, "  %.0f B/s", Rate);
    Text += RateText;
    Text += "  " + Duration((Total - Done) / Rate) + " left";
  } else {
    Text += "  -- B/s  -:-- left";
  }
  return Text;
}

}  // namespace korvane::cli
