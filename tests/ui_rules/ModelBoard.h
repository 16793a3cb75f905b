// The virtual board's model (firmware and chip) on an in-process line, for
// the rule suite: the rules' link is handed a TModelLine, and each
// TModelBoard is plugged into it under a port name of its own that the
// poll's scan finds, as a board on a serial port would be. Everything runs
// in the test's thread, alike on every platform: no pseudo-terminal, no
// serial driver, no second process.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "UBoardFirmware.h"
#include "UBoardLine.h"
#include "UBoardSimOptions.h"
#include "UBoardState.h"

namespace korvane::test {

class TModelBoard;

// The link's line to whichever board is plugged under the port name it opens.
class TModelLine final : public TBoardLine {
 public:
  // The platform's error of a read on a line whose board hung up or was
  // unplugged (EIO, or Windows' "device not connected").
  static const int32_t LostError;

  const std::string& Port() const override { return FPort; }
  void SetPort(const std::string& Name) override;
  bool Connected() const override { return FOpen != nullptr || FLost; }
  // EComPort (ecOpenFailed) when no board is plugged under the name.
  void Open() override;
  void Close() override {
    FOpen = nullptr;
    FLost = false;
  }
  void ClearBuffer(bool Input, bool Output) override;
  void SendChar(uint8_t Ch) override;
  int32_t InputCount() override;
  // Nothing more comes while the board is silent: the wait lasts its time.
  bool WaitForInput(int32_t TimeoutMs) override;
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t ReadStr(std::string& Text, int32_t Count) override;

 private:
  friend class TModelBoard;
  // The open board, or EComPort when it was unplugged, or hung up and (for
  // a read) what it sent before is all taken.
  TModelBoard& OpenBoard(int32_t MessageCode, bool Reading = false);

  std::string FPort;
  std::map<std::string, TModelBoard*> FPlugged;
  TModelBoard* FOpen = nullptr;
  // The open board was unplugged: the line stays open and every call fails.
  bool FLost = false;
};

// One board, plugged into Line under a name of its own until it is dropped.
class TModelBoard final : private sim::IBoardLine {
 public:
  TModelBoard(TModelLine& Line, const sim::TBoardSimOptions& Options);
  ~TModelBoard() override;
  TModelBoard(const TModelBoard&) = delete;
  TModelBoard& operator=(const TModelBoard&) = delete;

  const std::string& Port() const { return FName; }
  std::vector<uint8_t> Flash() const { return FState.Chip.Cells(); }
  void SetFlash(const std::vector<uint8_t>& Contents) { FState.Chip.SetCells(Contents); }
  bool Locked() const { return FState.Chip.Locked(); }
  // Every byte the host sent, in order.
  std::string ReceivedBytes() const { return FState.Received; }

 private:
  friend class TModelLine;
  void Receive(uint8_t Byte);
  // The firmware's line: what it sends waits for the host's reads.
  bool Send(std::string_view Bytes) override;
  // What is sent after this shows only once the host took what came before,
  // as on the wire, where the board waits for the host to read first.
  void AwaitTaken() override;
  // The bytes the host can read now.
  std::string& Visible();
  void Busy(int /*Ms*/) override {}
  void HangUp() override { FHungUp = true; }
  void Note(std::string_view /*Text*/) override {}

  TModelLine& FLine;
  std::string FName;
  sim::TBoardSimOptions FOptions;
  sim::TBoardState FState;
  sim::TBoardFirmware FFirmware;
  // What the board sent and the host did not read, in pieces that show one
  // after another.
  std::deque<std::string> FToHost{std::string()};
  bool FHungUp = false;
};

}  // namespace korvane::test
