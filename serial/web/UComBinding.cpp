// The page's binding of the serial port: Web Serial ports (webserial.js
// keeps them) and the page's own devices (UInPagePort.h), both as lines
// that the time-out rules below read and write.
//
// The core's calls block; the page's streams are promises. Every wait here
// suspends the core with Asyncify and yields to the page's event loop until
// bytes arrive or the time is up, so that the page goes on painting and
// pumping meanwhile; a call that finds what it needs waiting returns at once.
#include <emscripten.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "UComBinding.h"
#include "UInPagePort.h"
#include "UReadLimits.h"

// clang-format off
EM_ASYNC_JS(char*, JsListPorts, (), {
  return allocateUTF8((await KorvaneSerial.list()).join('\n'));
});
EM_ASYNC_JS(int, JsOpen, (const char* Name, int BaudRate), {
  return await KorvaneSerial.open(UTF8ToString(Name), BaudRate);
});
EM_ASYNC_JS(void, JsClose, (int Id), { await KorvaneSerial.close(Id); });
EM_ASYNC_JS(int, JsSetSpeed, (int Id, int BaudRate), {
  return await KorvaneSerial.setSpeed(Id, BaudRate);
});
EM_JS(int, JsWaiting, (int Id), { return KorvaneSerial.waiting(Id); });
EM_JS(int, JsTake, (int Id, uint8_t* Buffer, int Count), {
  return KorvaneSerial.take(Id, Buffer, Count);
});
EM_JS(int, JsDiscard, (int Id), { return KorvaneSerial.discard(Id); });
EM_ASYNC_JS(int, JsAwaitInput, (int Id, double Ms), {
  return await KorvaneSerial.awaitInput(Id, Ms);
});
EM_JS(int, JsWrite, (int Id, int Byte), { return KorvaneSerial.write(Id, Byte); });
EM_ASYNC_JS(int, JsAwaitRoom, (int Id, double Ms), {
  return await KorvaneSerial.awaitRoom(Id, Ms);
});
// clang-format on

namespace korvane::binding {

namespace {

// The speed a port is opened with before the settings are applied: the
// board's.
constexpr int OpeningSpeed = 9600;

// The page's answers besides counts (webserial.js) as error numbers.
int ErrorOf(int Answer) {
  switch (Answer) {
    case -2:
      return EBUSY;
    case -3:
      return ENOENT;
    case -5:
      return EACCES;
    default:
      return EIO;
  }
}

double Now() {
  return emscripten_get_now();
}

// One open device as the time-out rules see it.
class TLine {
 public:
  virtual ~TLine() = default;
  // Bytes waiting; an error once the device is gone and nothing is left.
  virtual int Waiting(int32_t& Count) = 0;
  virtual int Take(uint8_t* Buffer, int32_t Count, int32_t& Taken) = 0;
  virtual int Discard() = 0;
  // Waits up to Ms (negative: without limit) for input; Ready says whether
  // some is waiting.
  virtual int AwaitInput(double Ms, bool& Ready) = 0;
  // Puts Byte on the line, waiting up to Ms (negative: without limit) for
  // room; EAGAIN when there was none.
  virtual int Send(uint8_t Byte, double Ms) = 0;
  virtual int SetSpeed(uint32_t BaudRate) = 0;
  virtual void Close() = 0;
};

class TWebSerialLine final : public TLine {
 public:
  explicit TWebSerialLine(int Id) : FId(Id) {}
  int Waiting(int32_t& Count) override { return Answer(JsWaiting(FId), Count); }
  int Take(uint8_t* Buffer, int32_t Count, int32_t& Taken) override {
    return Answer(JsTake(FId, Buffer, Count), Taken);
  }
  int Discard() override { return JsDiscard(FId) < 0 ? EIO : 0; }
  int AwaitInput(double Ms, bool& Ready) override {
    const int Got = JsAwaitInput(FId, Ms);
    Ready = Got > 0;
    return Got < 0 ? EIO : 0;
  }
  int Send(uint8_t Byte, double Ms) override {
    const double Deadline = Now() + Ms;
    for (;;) {
      const int Queued = JsWrite(FId, Byte);
      if (Queued <= 0) {
        return Queued < 0 ? EIO : 0;
      }
      const double Left = Ms < 0 ? -1 : Deadline - Now();
      if (Ms >= 0 && Left <= 0) {
        return EAGAIN;
      }
      if (JsAwaitRoom(FId, Left) < 0) {
        return EIO;
      }
    }
  }
  int SetSpeed(uint32_t BaudRate) override {
    const int Answer = JsSetSpeed(FId, static_cast<int>(BaudRate));
    return Answer < 0 ? ErrorOf(Answer) : 0;
  }
  void Close() override { JsClose(FId); }

 private:
  static int Answer(int Got, int32_t& Count) {
    Count = std::max(Got, 0);
    return Got < 0 ? EIO : 0;
  }
  int FId;
};

class TInPageLine final : public TLine {
 public:
  explicit TInPageLine(std::shared_ptr<TInPageDevice> Device) : FDevice(std::move(Device)) {}
  int Waiting(int32_t& Count) override {
    Count = FDevice->Ready();
    return Count == 0 && FDevice->HungUp() ? EIO : 0;
  }
  int Take(uint8_t* Buffer, int32_t Count, int32_t& Taken) override {
    Taken = FDevice->Take(Buffer, Count);
    return Taken == 0 && FDevice->HungUp() ? EIO : 0;
  }
  int Discard() override {
    FDevice->Discard();
    return 0;
  }
  int AwaitInput(double Ms, bool& Ready) override {
    Ready = FDevice->Ready() > 0;
    if (!Ready && FDevice->HungUp()) {
      return EIO;
    }
    if (!Ready) {
      // Nothing arrives in a device of the page while the core waits, but
      // what it holds back becomes ready in its time.
      const double Held = FDevice->ReadyInMs();
      const double Wait = Held >= 0 && (Ms < 0 || Held < Ms) ? Held : Ms;
      emscripten_sleep(static_cast<unsigned>(std::max(Wait, 0.0) + 0.5));
      Ready = FDevice->Ready() > 0;
    }
    return 0;
  }
  int Send(uint8_t Byte, double) override {
    if (FDevice->HungUp()) {
      return EIO;
    }
    FDevice->Receive(Byte);
    return 0;
  }
  int SetSpeed(uint32_t) override { return 0; }
  void Close() override {}

 private:
  std::shared_ptr<TInPageDevice> FDevice;
};

// The open lines by handle: the binding's device table.
std::map<TComHandle, std::unique_ptr<TLine>>& Lines() {
  static std::map<TComHandle, std::unique_ptr<TLine>> Open;
  return Open;
}

TLine* Find(TComHandle Handle) {
  const auto Found = Lines().find(Handle);
  return Found == Lines().end() ? nullptr : Found->second.get();
}

TComHandle NextHandle() {
  static TComHandle Last = 0;
  return ++Last;
}

// Waits for input until Deadline (none: without limit).
int AwaitUntil(TLine& Line, std::optional<double> Deadline, bool& Ready) {
  Ready = false;
  const double Ms = Deadline ? std::max(*Deadline - Now(), 0.0) : -1.0;
  return Line.AwaitInput(Ms, Ready);
}

}  // namespace

int OpenDevice(const std::string& Port, TComHandle& Handle) {
  std::unique_ptr<TLine> Line;
  if (auto Device = FindInPageDevice(Port)) {
    Line = std::make_unique<TInPageLine>(std::move(Device));
  } else {
    const int Id = JsOpen(Port.c_str(), OpeningSpeed);
    if (Id < 0) {
      return ErrorOf(Id);
    }
    Line = std::make_unique<TWebSerialLine>(Id);
  }
  Handle = NextHandle();
  Lines().emplace(Handle, std::move(Line));
  return 0;
}

void CloseDevice(TComHandle Handle) {
  const auto Found = Lines().find(Handle);
  if (Found != Lines().end()) {
    std::unique_ptr<TLine> Line = std::move(Found->second);
    Lines().erase(Found);
    Line->Close();
  }
}

int SetupQueues(TComHandle Handle, int32_t, int32_t) {
  return Find(Handle) == nullptr ? EBADF : 0;
}

// Web Serial has the framing at open (8 data bits, one stop bit, no parity,
// no flow control, the board's line); only the speed can differ.
int ApplyLineSettings(TComHandle Handle, const TLineSettings& Settings) {
  TLine* Line = Find(Handle);
  if (Line == nullptr) {
    return EBADF;
  }
  if (Settings.ByteSize != 8 || Settings.Parity != 0 || Settings.StopBits != 0) {
    return EINVAL;
  }
  return Line->SetSpeed(Settings.BaudRate);
}

int ApplyTimeouts(TComHandle Handle, const TTimeoutRecord&) {
  return Find(Handle) == nullptr ? EBADF : 0;
}

// The board's line has no modem lines worth reading; they read inactive.
int ReadModemLine(TComHandle Handle, TModemLine, bool& Active) {
  Active = false;
  return Find(Handle) == nullptr ? EBADF : 0;
}

int AbortTransfers(TComHandle Handle) {
  return Find(Handle) == nullptr ? EBADF : 0;
}

// What the page has queued for sending cannot be taken back.
// The page's reads end by the port's own short waits.
void CancelTransfers(TComHandle) noexcept {}

int AbandonedError() noexcept {
  return ECANCELED;
}

int Purge(TComHandle Handle, bool Input, bool) {
  TLine* Line = Find(Handle);
  if (Line == nullptr) {
    return EBADF;
  }
  return Input ? Line->Discard() : 0;
}

int InputCount(TComHandle Handle, int32_t& Count) {
  TLine* Line = Find(Handle);
  return Line == nullptr ? EBADF : Line->Waiting(Count);
}

// The time-out rule of ReadLimits (UReadLimits.h).
int Read(TComHandle Handle, void* Buffer, int32_t Count, const TTimeoutRecord& Timeouts,
         int32_t& Transferred) {
  Transferred = 0;
  TLine* Line = Find(Handle);
  if (Line == nullptr) {
    return EBADF;
  }
  if (Count <= 0) {
    return 0;
  }
  const TReadLimits Limits = ReadLimits(Timeouts, Count);
  const bool FirstByteOnly = Limits.FirstByteOnly;
  std::optional<double> Deadline;
  if (Limits.TotalMs) {
    Deadline = Now() + static_cast<double>(*Limits.TotalMs);
  }
  const bool GapLimited = Limits.GapMs.has_value();

  auto* Bytes = static_cast<uint8_t*>(Buffer);
  while (Transferred < Count) {
    int32_t Taken = 0;
    if (int Error = Line->Take(Bytes + Transferred, Count - Transferred, Taken); Error != 0) {
      return Error;
    }
    Transferred += Taken;
    if (Taken > 0 && FirstByteOnly) {
      break;
    }
    if (Transferred == Count || (Deadline && Now() >= *Deadline)) {
      break;
    }
    std::optional<double> Until = Deadline;
    if (GapLimited && Transferred > 0) {
      const double GapEnd = Now() + *Limits.GapMs;
      Until = Until ? std::min(*Until, GapEnd) : GapEnd;
    }
    bool Ready = false;
    if (int Error = AwaitUntil(*Line, Until, Ready); Error != 0) {
      return Error;
    }
    if (!Ready && Until && Now() >= *Until) {
      break;
    }
  }
  return 0;
}

int SendChar(TComHandle Handle, uint8_t Ch, const TTimeoutRecord& Timeouts) {
  TLine* Line = Find(Handle);
  if (Line == nullptr) {
    return EBADF;
  }
  const uint64_t LimitMs =
      uint64_t{Timeouts.WriteTotalTimeoutMultiplier} + Timeouts.WriteTotalTimeoutConstant;
  return Line->Send(Ch, LimitMs == 0 ? -1.0 : static_cast<double>(LimitMs));
}

int WaitForInput(TComHandle Handle, int32_t TimeoutMs, const TTimeoutRecord&, bool& Ready,
                 std::optional<uint8_t>&) {
  Ready = false;
  TLine* Line = Find(Handle);
  if (Line == nullptr) {
    return EBADF;
  }
  int32_t Count = 0;
  if (int Error = Line->Waiting(Count); Error != 0 || Count > 0) {
    Ready = Count > 0;
    return Error;
  }
  return AwaitUntil(*Line, Now() + std::max(TimeoutMs, 0), Ready);
}

int ListPorts(std::vector<std::string>& Names) {
  Names = InPageDeviceNames();
  char* Granted = JsListPorts();
  std::string List = Granted;
  std::free(Granted);
  for (size_t Start = 0; Start < List.size();) {
    const size_t End = std::min(List.find('\n', Start), List.size());
    Names.push_back(List.substr(Start, End - Start));
    Start = End + 1;
  }
  return 0;
}

}  // namespace korvane::binding
