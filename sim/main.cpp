// korvane-boardsim: the virtual programmer board on a pseudo-terminal.
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "UBoardSim.h"
#include "UStandardStreams.h"

namespace {

const char* const CUsage =
    "usage: korvane-boardsim [options]\n"
    "\n"
    "The virtual programmer board. Opens a pseudo-terminal in raw mode, prints its\n"
    "device path on stdout as one line, and answers the board's protocol (see\n"
    "docs/PROTOCOL.md) from a model of the chip in its socket until SIGINT or\n"
    "SIGTERM. On exit it removes the --link and prints one line on stderr:\n"
    "  counters: from-host=N to-host=N erases=N erase-ms=N\n"
    "(bytes each way, erases done, and the erase time they stand for, waited or not).\n"
    "\n"
    "Options:\n"
    "  --chip NAME         89C51 89LV51 89C52 89LV52 89C55 89LV55, or 89C2051 (also\n"
    "                      89C4051, 89C2051/4051) for the 20-pin board (default 89C52)\n"
    "  --size N            code memory of the 89C2051/4051: 2048 or 4096 (default 2048)\n"
    "  --realtime          pace every byte, both ways, at 9600 baud (10 bits a byte),\n"
    "                      and let each erase take --erase-ms; otherwise answer at once\n"
    "  --sleep-pacing      with --realtime, sleep through every paced wait instead of\n"
    "                      spinning its last 150 us: the bytes the host waits for\n"
    "                      come some tens of microseconds late, but many boards can\n"
    "                      share few cores without taking the host's time\n"
    "  --erase-ms N        time of one erase (default 200)\n"
    "  --link PATH         make PATH a symbolic link to the device while serving\n"
    "  --transcript FILE   write every byte, one a line: '> ' from the host, '< ' to\n"
    "                      the host, '! ' for notes (faults, refused bytes)\n"
    "  --usb-latency MS    play a USB serial adapter with a latency timer of MS ms:\n"
    "                      the board's bytes (paced first, with --realtime) reach the\n"
    "                      host together, MS ms after the first of them was ready or\n"
    "                      once 62 are waiting; bytes from the host are not held\n"
    "                      (default 0: no adapter)\n"
    "  --latency-file PATH read the latency timer from PATH (a decimal number, as in\n"
    "                      the kernel's latency_timer) at the start of each packet;\n"
    "                      while PATH is missing or unreadable, --usb-latency counts\n"
    "  --socket PATH       the chip in the socket is the kind PATH names (as --chip\n"
    "                      takes it) or \"empty\"; read at every \"p\" and carriage\n"
    "                      return. Another name puts a new blank chip in; \"empty\"\n"
    "                      answers \"p\" with the digits 00 and keeps nothing written;\n"
    "                      while PATH is missing, the chip in the socket stays\n"
    "  --help              this text\n"
    "\n"
    "Faults (combinable):\n"
    "  --erase-tries N     the chip is blank only after the Nth \"e\"; earlier\n"
    "                      erases leave address 0 at 00\n"
    "  --no-signature      \"p\" gets no answer\n"
    "  --wrong-echo C      \"r\" is echoed with the character C instead of \"r\"\n"
    "  --dc3-at I          DC3 instead of DC1 before write byte I (from 0); the\n"
    "                      write ends there\n"
    "  --corrupt-at I      address I is programmed with some bits flipped\n"
    "  --wrong-checksum    the answer to \"c\" is off by one\n"
    "  --hangup-at I       close the line when DC1 for write byte I is due\n"
    "  --silent            answer nothing at all\n"
    "  --no-banner         answer carriage return without the banner word\n";

int Fail(const std::string& Message) {
  std::fprintf(stderr, "korvane-boardsim: %s\n", Message.c_str());
  return 2;
}

// A whole non-negative decimal number no larger than 65535.
int ParseNumber(const std::string& Option, const std::string& Text) {
  char* End = nullptr;
  errno = 0;
  const long Parsed = std::strtol(Text.c_str(), &End, 10);
  if (Text.empty() || !std::isdigit(static_cast<unsigned char>(Text[0])) || *End != '\0' ||
      errno != 0 || Parsed > 65535) {
    throw std::invalid_argument(Option + " needs a number from 0 to 65535, not '" + Text + "'");
  }
  return int(Parsed);
}

// The options of the command line; raises std::invalid_argument on a bad one.
// Help is set when --help was asked for.
korvane::sim::TBoardSimOptions ParseOptions(int argc, char** argv, bool& Help) {
  korvane::sim::TBoardSimOptions Options;
  Help = false;
  for (int I = 1; I < argc; ++I) {
    const std::string Arg = argv[I];
    auto Value = [&]() -> std::string {
      if (I + 1 >= argc) {
        throw std::invalid_argument(Arg + " needs a value");
      }
      return argv[++I];
    };
    auto Number = [&]() { return ParseNumber(Arg, Value()); };
    if (Arg == "--help" || Arg == "-h") {
      Help = true;
    } else if (Arg == "--chip") {
      Options.Chip = Value();
    } else if (Arg == "--size") {
      Options.Size2051 = uint16_t(Number());
    } else if (Arg == "--realtime") {
      Options.Realtime = true;
    } else if (Arg == "--sleep-pacing") {
      Options.SleepPacing = true;
    } else if (Arg == "--erase-ms") {
      Options.EraseMs = Number();
    } else if (Arg == "--link") {
      Options.LinkPath = Value();
    } else if (Arg == "--transcript") {
      Options.TranscriptPath = Value();
    } else if (Arg == "--usb-latency") {
      Options.UsbLatencyMs = Number();
    } else if (Arg == "--latency-file") {
      Options.LatencyFile = Value();
    } else if (Arg == "--socket") {
      Options.SocketPath = Value();
    } else if (Arg == "--erase-tries") {
      Options.EraseTries = Number();
    } else if (Arg == "--no-signature") {
      Options.NoSignatureAnswer = true;
    } else if (Arg == "--wrong-echo") {
      const std::string C = Value();
      if (C.size() != 1) {
        throw std::invalid_argument("--wrong-echo needs one character, not '" + C + "'");
      }
      Options.WrongReadEcho = uint8_t(C[0]);
    } else if (Arg == "--dc3-at") {
      Options.Dc3InsteadOfDc1At = Number();
    } else if (Arg == "--corrupt-at") {
      Options.CorruptByteAt = Number();
    } else if (Arg == "--wrong-checksum") {
      Options.WrongChecksum = true;
    } else if (Arg == "--hangup-at") {
      Options.HangUpAtWriteByte = Number();
    } else if (Arg == "--silent") {
      Options.Silent = true;
    } else if (Arg == "--no-banner") {
      Options.NoBannerWord = true;
    } else {
      throw std::invalid_argument("unknown option " + Arg + " (see --help)");
    }
  }
  return Options;
}

// Serves until SIGINT or SIGTERM, then reports the counters.
void Serve(const korvane::sim::TBoardSimOptions& Options) {
  sigset_t Signals;
  sigemptyset(&Signals);
  sigaddset(&Signals, SIGINT);
  sigaddset(&Signals, SIGTERM);
  // Blocked before the board's thread starts, so only sigwait below sees them.
  pthread_sigmask(SIG_BLOCK, &Signals, nullptr);

  korvane::sim::TBoardSim Board(Options);
  Board.Start();
  std::printf("%s\n", Board.DevicePath().c_str());
  std::fflush(stdout);
  int Signal = 0;
  sigwait(&Signals, &Signal);
  Board.Stop();
  const korvane::sim::TBoardSimCounters C = Board.Counters();
  std::fprintf(stderr, "counters: from-host=%llu to-host=%llu erases=%llu erase-ms=%llu\n",
               static_cast<unsigned long long>(C.BytesFromHost),
               static_cast<unsigned long long>(C.BytesToHost),
               static_cast<unsigned long long>(C.EraseCount),
               static_cast<unsigned long long>(C.EraseMsSpent));
}

}  // namespace

int main(int argc, char** argv) {
  korvane::KeepStandardStreamsOpen();
  try {
    bool Help = false;
    const korvane::sim::TBoardSimOptions Options = ParseOptions(argc, argv, Help);
    if (Help) {
      std::fputs(CUsage, stdout);
      return 0;
    }
    Serve(Options);
  } catch (const std::exception& E) {
    return Fail(E.what());
  }
  return 0;
}
