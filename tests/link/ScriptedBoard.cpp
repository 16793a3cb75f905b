#include "ScriptedBoard.h"

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace korvane::test {

TScriptedBoard::TScriptedBoard(THandler Handler) : FHandler(std::move(Handler)) {
  termios Raw{};
  cfmakeraw(&Raw);
  char Name[128] = {};
  if (openpty(&FMaster, &FSlave, Name, &Raw, nullptr) != 0) {
    throw std::system_error(errno, std::generic_category(), "openpty");
  }
  FDevicePath = Name;
  FThread = std::thread([this] { Serve(); });
}

TScriptedBoard::~TScriptedBoard() {
  HangUp();
  if (FSlave >= 0) {
    close(FSlave);
  }
}

void TScriptedBoard::Send(const std::string& Bytes) {
  std::lock_guard<std::mutex> Guard(FLock);
  size_t Done = 0;
  while (FMaster >= 0 && Done < Bytes.size()) {
    const ssize_t N = write(FMaster, Bytes.data() + Done, Bytes.size() - Done);
    if (N < 0 && errno != EINTR) {
      return;
    }
    Done += N > 0 ? static_cast<size_t>(N) : 0;
  }
}

std::string TScriptedBoard::Received() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FReceived;
}

void TScriptedBoard::HangUp() {
  // The board's thread is stopped first, so that it never polls a closed
  // (and perhaps reused) descriptor.
  FStopping = true;
  if (FThread.joinable()) {
    FThread.join();
  }
  std::lock_guard<std::mutex> Guard(FLock);
  if (FMaster >= 0) {
    close(FMaster);
    FMaster = -1;
  }
}

void TScriptedBoard::Serve() {
  while (!FStopping) {
    pollfd Wait{FMaster, POLLIN, 0};
    if (poll(&Wait, 1, 20) <= 0 || (Wait.revents & POLLIN) == 0) {
      continue;
    }
    uint8_t Byte = 0;
    if (read(FMaster, &Byte, 1) != 1) {
      continue;
    }
    {
      std::lock_guard<std::mutex> Guard(FLock);
      FReceived.push_back(static_cast<char>(Byte));
    }
    if (FHandler) {
      Send(FHandler(Byte));
    }
  }
}

}  // namespace korvane::test
