// The fronts' words that depend on the system they run on, chosen for it in
// this one place: how a run is asked to stop, what a port's name looks like,
// which programs take serial adapters from others, and how a HEX file is
// written again with 16-bit addresses.
#pragma once

#include <string>
#include <vector>

namespace korvane {

// A program known to take serial adapters away from other programs.
struct TAdapterTaker {
  const char* Name;
  // What it does to the adapters.
  const char* What;
  const char* Fix;
  // Being installed is enough to be in the way (it starts with each adapter).
  bool InstalledIsEnough;
};

struct TPlatformWords {
  // The ways a user asks a run to stop: "Ctrl-C, SIGTERM or SIGHUP".
  const char* StopRequests;
  // One of them, as a noun: "signal".
  const char* StopRequest;
  // A serial port's name as a user types it: "/dev/ttyUSB0".
  const char* ExamplePort;
  // The programs that the check-up looks for.
  std::vector<TAdapterTaker> AdapterTakers;
  // How to write File again with 16-bit addresses as Rewritten.
  std::string (*SixteenBitAdvice)(const std::string& File, const std::string& Rewritten);
};

const TPlatformWords& PosixWords();
const TPlatformWords& WindowsWords();
// The words of the system this program runs on.
const TPlatformWords& PlatformWords();

}  // namespace korvane
