// korvane-echo-pty: the far end of a serial line for the Windows port suites
// under wine. It opens a pseudo-terminal, links LINK (a COM name in the wine
// prefix's dosdevices folder) to its device, prints the device path, and
// sends back every byte it receives. With --hang-up-on BYTE it closes its
// side when that byte arrives, so the port sees the line hang up. It ends on
// SIGINT or SIGTERM, after --seconds (default 900), or after a hang-up, and
// removes the link.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

volatile sig_atomic_t StopRequested = 0;

void RequestStop(int) {
  StopRequested = 1;
}

int Usage() {
  std::fprintf(stderr, "usage: korvane-echo-pty LINK [--hang-up-on BYTE] [--seconds N]\n");
  return 2;
}

bool WriteAll(int Fd, const char* Data, size_t Size) {
  while (Size > 0) {
    ssize_t Written = write(Fd, Data, Size);
    if (Written < 0) {
      if (errno == EINTR || errno == EAGAIN) {
        continue;
      }
      return false;
    }
    Data += Written;
    Size -= static_cast<size_t>(Written);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return Usage();
  }
  const std::string Link = argv[1];
  int HangUpByte = -1;
  long Seconds = 900;
  for (int Index = 2; Index < argc; ++Index) {
    const std::string Option = argv[Index];
    if (Index + 1 >= argc) {
      return Usage();
    }
    const long Value = std::strtol(argv[++Index], nullptr, 0);
    if (Option == "--hang-up-on" && Value >= 0 && Value <= 255) {
      HangUpByte = static_cast<int>(Value);
    } else if (Option == "--seconds" && Value > 0) {
      Seconds = Value;
    } else {
      return Usage();
    }
  }

  int Master = -1;
  int Slave = -1;
  char Device[256] = {};
  if (openpty(&Master, &Slave, Device, nullptr, nullptr) != 0) {
    std::fprintf(stderr, "korvane-echo-pty: openpty failed: %s\n", std::strerror(errno));
    return 1;
  }
  // Raw until the port under test sets the line itself; the slave stays open
  // here as well, so that the port closing its handle is no hang-up.
  termios Line{};
  tcgetattr(Slave, &Line);
  cfmakeraw(&Line);
  tcsetattr(Slave, TCSANOW, &Line);

  unlink(Link.c_str());
  if (symlink(Device, Link.c_str()) != 0) {
    std::fprintf(stderr, "korvane-echo-pty: cannot link %s: %s\n", Link.c_str(),
                 std::strerror(errno));
    return 1;
  }
  signal(SIGINT, RequestStop);
  signal(SIGTERM, RequestStop);
  signal(SIGPIPE, SIG_IGN);
  std::printf("%s\n", Device);
  std::fflush(stdout);

  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
  int Result = 0;
  while (!StopRequested && std::chrono::steady_clock::now() < Deadline) {
    pollfd Entry{Master, POLLIN, 0};
    int Ready = poll(&Entry, 1, 200);
    if (Ready < 0 && errno != EINTR) {
      Result = 1;
      break;
    }
    if (Ready <= 0 || (Entry.revents & POLLIN) == 0) {
      continue;
    }
    char Chunk[256];
    ssize_t Got = read(Master, Chunk, sizeof Chunk);
    if (Got <= 0) {
      continue;
    }
    const void* HangUp =
        HangUpByte >= 0 ? std::memchr(Chunk, HangUpByte, static_cast<size_t>(Got)) : nullptr;
    if (HangUp != nullptr) {
      close(Master);
      Master = -1;
      break;
    }
    if (!WriteAll(Master, Chunk, static_cast<size_t>(Got))) {
      Result = 1;
      break;
    }
  }
  unlink(Link.c_str());
  if (Master >= 0) {
    close(Master);
  }
  close(Slave);
  return Result;
}
