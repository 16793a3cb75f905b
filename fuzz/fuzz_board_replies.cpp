// Arbitrary board replies fed to SendCommand and the reply parsers of
// identification, erase and fast verify, over a real pseudo-terminal.
//
// Input: the first byte picks the operation; the rest, split at 0x00, are
// the replies to the host's command bytes in turn. Every reply is followed by
// ">" so that each exchange ends at once instead of running into its
// time-out; replies without it are a time-out case the link suite covers.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "UBoardLink.h"

namespace {

// The far end: answers each byte the host sends with the next reply.
class TReplier {
 public:
  TReplier() {
    char Name[128] = {};
    termios Raw{};
    cfmakeraw(&Raw);
    if (openpty(&FMaster, &FSlave, Name, &Raw, nullptr) != 0) {
      std::perror("openpty");
      std::abort();
    }
    FDevice = Name;
    FThread = std::thread([this] { Serve(); });
  }
  const std::string& Device() const { return FDevice; }
  void SetReplies(std::deque<std::string> Replies) {
    std::lock_guard Guard(FLock);
    FReplies = std::move(Replies);
  }

 private:
  void Serve() {
    for (;;) {
      pollfd Wait{FMaster, POLLIN, 0};
      if (poll(&Wait, 1, 100) <= 0) {
        continue;
      }
      char Bytes[256];
      const ssize_t Got = read(FMaster, Bytes, sizeof Bytes);
      for (ssize_t I = 0; I < Got; ++I) {
        std::string Answer;
        {
          std::lock_guard Guard(FLock);
          if (!FReplies.empty()) {
            Answer = std::move(FReplies.front());
            FReplies.pop_front();
          }
        }
        Answer += '>';
        if (write(FMaster, Answer.data(), Answer.size()) < 0) {
          std::perror("write");
        }
      }
    }
  }

  int FMaster = -1;
  int FSlave = -1;
  std::string FDevice;
  std::mutex FLock;
  std::deque<std::string> FReplies;
  std::thread FThread;
};

struct TFixture {
  TReplier Replier;
  // The port is set by hand; no scan ever runs, and nobody observes.
  korvane::TBoardLink Programmer{korvane::FixedPortList({})};
  TFixture() {
    Programmer.Line().SetPort(Replier.Device());
    Programmer.Line().Open();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Length) {
  // One pseudo-terminal for the whole run; never torn down (the fuzzer exits).
  static TFixture* Fixture = new TFixture;
  if (Length == 0 || Length > 2048) {
    return 0;
  }
  std::deque<std::string> Replies(1);
  for (size_t I = 1; I < Length; ++I) {
    if (Data[I] == 0) {
      Replies.emplace_back();
    } else {
      Replies.back() += static_cast<char>(Data[I]);
    }
  }
  korvane::TBoardLink& Programmer = Fixture->Programmer;
  Programmer.Line().ClearBuffer(true, true);
  Fixture->Replier.SetReplies(Replies);
  try {
    switch (Data[0] % 4) {
      case 0: {
        Programmer.IdentifyChip("");
        // Whatever the reply, the chip is one of the known codes.
        if (Programmer.TargetChip() > korvane::chip89C2051) {
          std::abort();
        }
        break;
      }
      case 1:
        Programmer.SetTargetChip(korvane::chip89C51);
        Programmer.EraseChip();
        break;
      case 2: {
        Programmer.SetTargetChip(korvane::chip89C2051);
        Programmer.SourceImage().SetSize(2048);
        Programmer.SourceImage().Clear();
        Programmer.FastVerifyChip(2048);
        break;
      }
      default: {
        std::string Reply;
        Programmer.SendCommand('x', '>', 1000, Reply);
        // The reply holds the terminator that ended the exchange.
        if (Reply.find('>') == std::string::npos) {
          std::abort();
        }
        break;
      }
    }
  } catch (const std::exception& Error) {
    // A port that works raises nothing, whatever the board says.
    std::fprintf(stderr, "unexpected exception: %s\n", Error.what());
    std::abort();
  }
  // Leftovers of this input are not the next one's replies.
  Fixture->Replier.SetReplies({});
  return 0;
}
