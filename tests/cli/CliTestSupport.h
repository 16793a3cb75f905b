// Helpers for the korvane-cli suites: a fresh folder per test, files in it,
// and korvane-cli (or any program) run as a child process with its output
// and exit status captured.
#pragma once

#include <cstdint>
#include <map>
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
  // stderr on a pseudo-terminal instead of a pipe.
  bool ErrOnTerminal = false;
  // The child leads a process group of its own, which is checked when it ends.
  bool OwnProcessGroup = false;
  // A child of root runs as the unprivileged user "nobody" (65534), for
  // whom file permissions count.
  bool Unprivileged = false;
  int TimeoutSeconds = 120;
};

// Runs Program with Args; fails the current test when the child cannot be
// started or outlives TimeoutSeconds (it is then killed).
TProcessResult RunProcess(const std::string& Program, const std::vector<std::string>& Args,
                          const TProcessOptions& Options = {});

// Runs the korvane-cli under test. KORVANE_PORTS is always set for the child
// (to Ports), so that it never scans the machine's own serial ports.
TProcessResult RunCli(const std::vector<std::string>& Args, const std::string& Ports,
                      TProcessOptions Options = {});

// Text split at line feeds, without the empty piece after a final one.
std::vector<std::string> Lines(const std::string& Text);

// The sample firmware of the source tree.
std::string ExampleFile(const std::string& RelativePath);

}  // namespace korvane::test
