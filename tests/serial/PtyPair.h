// A pseudo-terminal pair for the serial tests: the port under test opens the
// slave by its path, the test plays the far end on the master.
#pragma once

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>

namespace korvane::test {

class TPtyPair {
 public:
  TPtyPair() {
    char Name[256] = {};
    if (openpty(&FMaster, &FSlave, Name, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty failed: errno " + std::to_string(errno));
    }
    FSlavePath = Name;
  }
  ~TPtyPair() {
    CloseMaster();
    close(FSlave);
  }
  TPtyPair(const TPtyPair&) = delete;
  TPtyPair& operator=(const TPtyPair&) = delete;

  const std::string& SlavePath() const { return FSlavePath; }

  // The far end sends Bytes.
  void Send(const std::string& Bytes) {
    if (write(FMaster, Bytes.data(), Bytes.size()) != static_cast<ssize_t>(Bytes.size())) {
      throw std::runtime_error("write to the pty master failed");
    }
  }

  // What the far end received within TimeoutMs, up to Count bytes.
  std::string Receive(size_t Count, int TimeoutMs) {
    std::string Received;
    auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (Received.size() < Count) {
      auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      Deadline - std::chrono::steady_clock::now())
                      .count();
      pollfd Entry{FMaster, POLLIN, 0};
      if (Left <= 0 || poll(&Entry, 1, static_cast<int>(Left)) <= 0) {
        break;
      }
      char Chunk[256];
      ssize_t Got = read(FMaster, Chunk, std::min(sizeof Chunk, Count - Received.size()));
      if (Got <= 0) {
        break;
      }
      Received.append(Chunk, static_cast<size_t>(Got));
    }
    return Received;
  }

  // The far end goes away: the slave is hung up from now on.
  void CloseMaster() {
    if (FMaster >= 0) {
      close(FMaster);
      FMaster = -1;
    }
  }

  // The slave's line settings as the kernel holds them.
  termios SlaveSettings() const {
    termios Line{};
    if (tcgetattr(FSlave, &Line) != 0) {
      throw std::runtime_error("tcgetattr on the pty slave failed");
    }
    return Line;
  }

 private:
  int FMaster = -1;
  int FSlave = -1;
  std::string FSlavePath;
};

// Milliseconds since Start.
inline long long MsSince(std::chrono::steady_clock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               Start)
      .count();
}

}  // namespace korvane::test
