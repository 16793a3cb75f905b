// korvane-cli: the programmer board from the command line.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "UCliCommands.h"
#include "UComPort.h"
#include "UInterrupt.h"
#include "UStandardStreams.h"
#include "UTerminal.h"

int main(int argc, char** argv) {
  korvane::KeepStandardStreamsOpen();
  korvane::TInterruptWatch Watch;
  const std::vector<std::string> Args(argv + 1, argv + argc);
  korvane::cli::TCliEnvironment Environment;
  if (const char* Ports = std::getenv("KORVANE_PORTS")) {
    Environment.Ports = Ports;
  }
  if (const char* Root = std::getenv("KORVANE_SYSFS_ROOT")) {
    Environment.SysfsRoot = Root;
  }
  Environment.StateDir = korvane::TComPort::StateDirFromSettings(
      std::getenv("XDG_RUNTIME_DIR"), std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
  Environment.OutTakesCursorMoves = korvane::cli::StandardOutputTakesCursorMoves();
  return korvane::cli::RunCli(Args, Environment, std::cout, std::cerr,
                              korvane::cli::StandardErrorIsTerminal(), &Watch);
}
