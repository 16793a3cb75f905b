// Helpers for the korvane-cli suites: a fresh folder per test, files in it,
// and korvane-cli (or any program) run as a child process with its output
// and exit status captured.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace korvane::test {

struct TProcessResult {
  // The exit status; 128 + the signal for a child that a signal ended.
  int ExitCode = -1;
  std::string Out;
  std::string Err;
  // The child's process group had no member left once it ended.
  bool GroupGone = false;
};

struct TProcessOptions {
  // Variables set (or replaced) in the child's environment.
  std::map<std::string, std::string> Env;
  // stderr on a pseudo-terminal instead of a pipe, of this many columns
  // (0: a terminal that reports no size).
  bool ErrOnTerminal = false;
  unsigned short TerminalColumns = 0;
  // The child leads a process group of its own, which is checked when it ends.
  bool OwnProcessGroup = false;
  // A child of root runs as the unprivileged user "nobody" (65534), for
  // whom file permissions count.
  bool Unprivileged = false;
  // The child's standard input: these bytes and then its end; without it,
  // the test's own.
  std::optional<std::string> Input;
  // The child starts with this standard descriptor (0, 1 or 2) closed, as
  // "<&-" or ">&-" in a shell leaves it.
  std::optional<int> Closed;
  int TimeoutSeconds = 120;
};

// A child process whose output is collected while the test acts on it.
class TChildProcess {
 public:
  // Starts Program with Args; fails the current test when it cannot.
  TChildProcess(const std::string& Program, const std::vector<std::string>& Args,
                const TProcessOptions& Options = {});
  // Kills a child that was not finished.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  // Collects output until Text has appeared on stdout or stderr (true), or
  // the child closed both or Seconds passed (false).
  bool Await(const std::string& Text, int Seconds = 60);
  // Sends Signal to the child.
  void Signal(int Signal);
  // Collects the rest of the output and waits for the child's end; a child
  // that outlives TimeoutSeconds from its start is killed and fails the test.
  TProcessResult Finish();

 private:
  // One wait for output of at most TimeoutMs; false once both streams closed.
  bool Collect(int TimeoutMs);

  TProcessOptions FOptions;
  std::string FProgram;
  int FChild = -1;
  int FOut = -1;
  int FErr = -1;
  TProcessResult FResult;
  std::chrono::steady_clock::time_point FDeadline;
};

// Stops a --json run of program twice in the middle of its write stream: the
// second Ctrl-C once the first has been seen ("stopping"); its end collected.
// Fails the current test, without the second stop, when either never comes.
TProcessResult StopTwiceMidWrite(TChildProcess& Cli);

// Runs Program with Args to its end; fails the current test when the child
// cannot be started or outlives TimeoutSeconds (it is then killed).
TProcessResult RunProcess(const std::string& Program, const std::vector<std::string>& Args,
                          const TProcessOptions& Options = {});

// The korvane-cli under test, for a shell line that pipes it.
std::string CliPath();

// Runs the korvane-cli under test. KORVANE_PORTS is always set for the child
// (to Ports), so that it never scans the machine's own serial ports, and
// XDG_RUNTIME_DIR, unless Options set it, to a folder of the test program's (of nobody's for a
// child that runs as nobody).
TProcessResult RunCli(const std::vector<std::string>& Args, const std::string& Ports,
                      TProcessOptions Options = {});
// The same korvane-cli started as a child that the test acts on.
std::unique_ptr<TChildProcess> StartCli(const std::vector<std::string>& Args,
                                        const std::string& Ports, TProcessOptions Options = {});

// Text split at line feeds, without the empty piece after a final one.
std::vector<std::string> Lines(const std::string& Text);

// The sample firmware of the source tree.
std::string ExampleFile(const std::string& RelativePath);

}  // namespace korvane::test
