// The commands of korvane-cli, from the parsed command line to the exit
// status. main() only hands over its arguments and streams.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "UInterrupt.h"

namespace korvane::cli {

// The exit status of korvane-cli; scripts rely on these values.
enum TExitCode : int {
  exitSuccess = 0,
  exitOperationFailed = 1,  // a chip operation failed: the last status line names it
  exitUsage = 2,
  exitNoBoard = 3,                              // no programmer board, or no chip it knows
  exitFileError = 4,                            // EHexFile or EInOutError
  exitPortError = 5,                            // EComPort
  exitInterrupted = TInterruptWatch::ExitCode,  // stopped by Ctrl-C, SIGTERM or SIGHUP
};

// What the program's environment chose, read once at its entry.
struct TCliEnvironment {
  // KORVANE_PORTS: the colon-separated ports to scan instead of the
  // machine's; nothing when the variable is not set.
  std::optional<std::string> Ports;
  // KORVANE_SYSFS_ROOT: where the ports' sysfs attributes are looked up
  // instead of /sys (the tests' fake trees).
  std::optional<std::string> SysfsRoot;
  // Where the ports keep the notes that a lowered latency timer is owed its
  // old value: $XDG_RUNTIME_DIR/korvane, else $XDG_CACHE_HOME/korvane, else
  // ~/.cache/korvane; empty when there is none of them.
  std::string StateDir;
  // Whether stdout is a terminal that takes cursor moves: a run on several
  // boards redraws a line per board there.
  bool OutTakesCursorMoves = false;
};

// Runs the command line Args (without the program's name). Out takes the
// command's output, Err the errors, the scan's reports and, when
// ErrIsTerminal, the progress bar. Watch (may be nullptr) is the process's
// stop watch: workflows run deferred, and end early when it records a stop.
int RunCli(const std::vector<std::string>& Args, const TCliEnvironment& Environment,
           std::ostream& Out, std::ostream& Err, bool ErrIsTerminal,
           TInterruptWatch* Watch = nullptr);

}  // namespace korvane::cli
