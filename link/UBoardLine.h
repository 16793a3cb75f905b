// The line to the board as the link uses it: a named device that opens and
// closes, sends one byte at a time and waits for and reads what comes back.
// A TComPort serves it on every platform (TComPortLine); the rule tests hand
// the link a board model on the other end of an in-process line instead, so
// that they run alike wherever the suite is built.
#pragma once

#include <cstdint>
#include <string>

#include "UComPort.h"

namespace korvane {

class TBoardLine {
 public:
  virtual ~TBoardLine() = default;

  // The device's name; another name closes an open line first.
  virtual const std::string& Port() const = 0;
  virtual void SetPort(const std::string& Name) = 0;
  virtual bool Connected() const = 0;
  // Raise EComPort as TComPort does, with the same codes.
  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual void ClearBuffer(bool Input, bool Output) = 0;
  virtual void SendChar(uint8_t Ch) = 0;
  // The bytes waiting to be read.
  virtual int32_t InputCount() = 0;
  // Waits until input is waiting or TimeoutMs has passed; true when it waits.
  virtual bool WaitForInput(int32_t TimeoutMs) = 0;
  // Up to Count bytes within the line's time-outs; how many came.
  virtual int32_t Read(void* Buffer, int32_t Count) = 0;
  virtual int32_t ReadStr(std::string& Text, int32_t Count) = 0;
};

// A serial port as the line.
class TComPortLine final : public TBoardLine {
 public:
  explicit TComPortLine(TComPort& Port) : FPort(Port) {}
  const std::string& Port() const override { return FPort.Port(); }
  void SetPort(const std::string& Name) override { FPort.SetPort(Name); }
  bool Connected() const override { return FPort.Connected(); }
  void Open() override { FPort.Open(); }
  void Close() override { FPort.Close(); }
  void ClearBuffer(bool Input, bool Output) override { FPort.ClearBuffer(Input, Output); }
  void SendChar(uint8_t Ch) override { FPort.SendChar(Ch); }
  int32_t InputCount() override { return FPort.InputCount(); }
  bool WaitForInput(int32_t TimeoutMs) override { return FPort.WaitForInput(TimeoutMs); }
  int32_t Read(void* Buffer, int32_t Count) override { return FPort.Read(Buffer, Count); }
  int32_t ReadStr(std::string& Text, int32_t Count) override { return FPort.ReadStr(Text, Count); }

 private:
  TComPort& FPort;
};

}  // namespace korvane
