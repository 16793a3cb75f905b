// A far end on a pseudo-terminal whose answers the test writes: for the
// replies the virtual board never gives (a silent counter, odd signatures,
// a board that stops answering while the line stays up).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace korvane::test {

class TScriptedBoard {
 public:
  // Called on the board's thread for every byte the host sends; what it
  // returns is sent back at once. It may also call Send itself (to answer in
  // pieces) and sleep between pieces.
  using THandler = std::function<std::string(uint8_t Byte)>;

  explicit TScriptedBoard(THandler Handler = nullptr);
  ~TScriptedBoard();
  TScriptedBoard(const TScriptedBoard&) = delete;
  TScriptedBoard& operator=(const TScriptedBoard&) = delete;

  // The device the host opens.
  const std::string& DevicePath() const { return FDevicePath; }
  // Writes Bytes towards the host.
  void Send(const std::string& Bytes);
  // Every byte the host sent so far.
  std::string Received() const;
  // Closes the board's side: the host sees a hang-up.
  void HangUp();

 private:
  void Serve();

  THandler FHandler;
  int FMaster = -1;
  // Held open so that the line stays up while the host's port is closed.
  int FSlave = -1;
  std::string FDevicePath;
  mutable std::mutex FLock;
  std::string FReceived;
  std::atomic<bool> FStopping{false};
  std::thread FThread;
};

}  // namespace korvane::test
