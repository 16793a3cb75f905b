// The floor under every handshake: how long one byte takes to go through a
// pseudo-terminal and come back when nothing else is done with it. One side
// sends a byte every few milliseconds, as the virtual board sends a DC1; the
// other sleeps in poll() until it comes and answers at once, as the host sends
// the data byte. Prints the round trips in microseconds as JSON.
//
//   korvane-turnaround-bench [COUNT]
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

// One side of the echo: waits in the kernel for each byte and returns it,
// until it reads the stop byte.
void Echo(int Fd, unsigned char Stop) {
  for (;;) {
    pollfd Entry{Fd, POLLIN, 0};
    if (poll(&Entry, 1, -1) < 0) {
      return;
    }
    unsigned char Byte = 0;
    if (read(Fd, &Byte, 1) != 1) {
      continue;
    }
    if (Byte == Stop || write(Fd, &Byte, 1) != 1) {
      return;
    }
  }
}

long Microseconds(TClock::duration Span) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(Span).count());
}

}  // namespace

int main(int argc, char** argv) {
  const int Count = argc > 1 ? std::max(100, std::atoi(argv[1])) : 3000;
  int Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0) {
    std::perror("pseudo-terminal");
    return 1;
  }
  int Slave = open(ptsname(Master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios Settings{};
  if (Slave < 0 || tcgetattr(Slave, &Settings) != 0) {
    std::perror("pseudo-terminal slave");
    return 1;
  }
  cfmakeraw(&Settings);
  tcsetattr(Slave, TCSANOW, &Settings);

  constexpr unsigned char Stop = 0xFF;
  std::thread Answerer(Echo, Slave, Stop);
  std::vector<long> Trips;
  Trips.reserve(static_cast<size_t>(Count));
  for (int I = 0; I < Count; ++I) {
    // Three byte times apart, as the DC1s of a write stream.
    std::this_thread::sleep_for(std::chrono::microseconds(3125));
    unsigned char Byte = static_cast<unsigned char>(I & 0x7F);
    const auto Sent = TClock::now();
    if (write(Master, &Byte, 1) != 1 || read(Master, &Byte, 1) != 1) {
      std::perror("round trip");
      return 1;
    }
    Trips.push_back(Microseconds(TClock::now() - Sent));
  }
  const unsigned char End = Stop;
  if (write(Master, &End, 1) != 1) {
    std::perror("stop");
  }
  Answerer.join();

  std::sort(Trips.begin(), Trips.end());
  const long Mean = std::accumulate(Trips.begin(), Trips.end(), 0L) / static_cast<long>(Count);
  std::printf("{\"count\": %d, \"median_us\": %ld, \"p90_us\": %ld, \"mean_us\": %ld}\n", Count,
              Trips[Trips.size() / 2], Trips[Trips.size() * 9 / 10], Mean);
  close(Slave);
  close(Master);
  return 0;
}
