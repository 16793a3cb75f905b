// korvane-wine-turnaround: round trips through the Windows build's serial
// port against a line that sends every byte back (bench/wine_bench.sh runs
// it under wine, with korvane-echo-pty as the far end). Two ways, as the link
// uses the port:
// - read: SendChar, then Read of one byte, as the write stream takes each
//   DC1 and DC3;
// - wait: SendChar, then WaitForInput and ReadStr of what waits, as the
//   command exchange collects a reply.
// Prints one line a way: round trips, median, 90th percentile and mean in
// microseconds. The median shows the port's own cost even on a machine that
// other work slows now and then.
//   korvane-wine-turnaround PORT [COUNT]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "UComPort.h"

namespace {

using Clock = std::chrono::steady_clock;

// Times Count round trips of one byte; Back waits for the echo and takes it.
std::vector<double> Measure(korvane::TComPort& Port, int Count,
                            const std::function<bool(korvane::TComPort&)>& Back) {
  std::vector<double> Micros;
  Micros.reserve(static_cast<size_t>(Count));
  for (int Index = 0; Index < Count; ++Index) {
    const auto Start = Clock::now();
    Port.SendChar(static_cast<uint8_t>('0' + Index % 10));
    if (!Back(Port)) {
      std::fprintf(stderr, "error: no echo for round trip %d\n", Index);
      std::exit(1);
    }
    Micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - Start).count());
  }
  return Micros;
}

void Report(const char* Way, std::vector<double> Micros) {
  std::sort(Micros.begin(), Micros.end());
  double Sum = 0;
  for (double Value : Micros) {
    Sum += Value;
  }
  const size_t Count = Micros.size();
  std::printf("%s: %zu round trips, median %.0f us, p90 %.0f us, mean %.0f us\n", Way, Count,
              Micros[Count / 2], Micros[Count * 9 / 10], Sum / static_cast<double>(Count));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: korvane-wine-turnaround PORT [COUNT]\n");
    return 2;
  }
  const int Count = argc == 3 ? std::max(1, std::atoi(argv[2])) : 1000;
  try {
    korvane::TComPort Port;
    Port.SetPort(argv[1]);
    korvane::AssignBoardSettings(Port);
    Port.Open();
    Port.ClearBuffer(true, true);
    Report("read", Measure(Port, Count, [](korvane::TComPort& Line) {
             uint8_t Byte = 0;
             return Line.Read(&Byte, 1) == 1;
           }));
    Report("wait", Measure(Port, Count, [](korvane::TComPort& Line) {
             std::string Echo;
             return Line.WaitForInput(1000) && Line.ReadStr(Echo, Line.InputCount()) == 1;
           }));
  } catch (const korvane::EComPort& Error) {
    std::fprintf(stderr, "error: %s\n", Error.what());
    return 1;
  }
  return 0;
}
