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
constexpr int NarrowestBar = 8;
constexpr int DefaultColumns = 80;
// A rate is shown once this long and this many bytes went into it.
constexpr std::chrono::seconds RateWindow{1};
constexpr int RateBytes = 16;

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
  FFirstByte.reset();
  const int Columns = FColumns ? FColumns() : 0;
  FWidth = Columns > 0 ? Columns : DefaultColumns;
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
  if (!FFirstByte && Done >= 1) {
    FFirstByte.emplace(Now, Done);
  }
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
  FTerminal << '\r' << Format(FLabel, FDone, FTotal, Rate(Now), FWidth) << "\033[K" << std::flush;
  FShown = true;
  FLastDrawn = Now;
}

std::optional<double> TProgressMeter::Rate(TClock::time_point Now) const {
  if (!FFirstByte) {
    return std::nullopt;
  }
  const std::chrono::duration<double> Spent = Now - FFirstByte->first;
  const int Bytes = FDone - FFirstByte->second;
  if (Spent < RateWindow || Bytes < RateBytes) {
    return std::nullopt;
  }
  return Bytes / Spent.count();
}

std::string TProgressMeter::Format(const std::string& Label, int Done, int Total,
                                   std::optional<double> Rate, int Columns) {
  const std::string Head = Label.empty() ? std::string() : Label + " ";
  // Done takes the width of Total, and the bar the room of the widest rate,
  // so that nothing moves while the numbers grow.
  const std::string TotalText = std::to_string(Total);
  std::string DoneText = std::to_string(Done);
  DoneText.insert(0, TotalText.size() > DoneText.size() ? TotalText.size() - DoneText.size() : 0,
                  ' ');
  const std::string Counts = DoneText + '/' + TotalText + " bytes";
  std::string Pace = "  -- B/s  -:-- left";
  if (Rate && *Rate > 0) {
    char RateText[32];
    std::snprintf(RateText, sizeof RateText, "  %.0f B/s", *Rate);
    Pace = RateText + ("  " + Duration((Total - Done) / *Rate) + " left");
  }
  // The last column stays free: a terminal that wraps at it would start a
  // new line at every redraw.
  const int Room = std::max(Columns - 1, 1);
  const auto Bar = [&](int Width) {
    const int Filled =
        Total > 0 ? static_cast<int>(static_cast<long long>(Done) * Width / Total) : 0;
    return '[' + std::string(Filled, '#') + std::string(Width - Filled, '.') + "] ";
  };
  const int Fixed = static_cast<int>(Head.size() + Counts.size()) + 3;
  constexpr int WidestPace = 22;  // "  9999 B/s  99:59 left"
  const int Width =
      std::min(BarWidth, Room - Fixed - std::max(WidestPace, static_cast<int>(Pace.size())));
  // The bar goes first, the rate and time left next: they say more than it.
  std::string Text;
  if (Width >= NarrowestBar) {
    Text = Head + Bar(Width) + Counts + Pace;
  } else if (Head.size() + Counts.size() + WidestPace <= static_cast<size_t>(Room)) {
    Text = Head + Counts + Pace;
  } else {
    Text = Head + Counts;
  }
  if (static_cast<int>(Text.size()) > Room) {
    Text.resize(static_cast<size_t>(Room));
  }
  return Text;
}

}  // namespace korvane::cli
