// korvane-cli: the programmer board from the command line.
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "UCliCommands.h"
#include "UInterrupt.h"
#include "UTerminal.h"

int main(int argc, char** argv) {
  korvane::TInterruptWatch Watch;
  const std::vector<std::string> Args(argv + 1, argv + argc);
  korvane::cli::TCliEnvironment Environment;
  if (const char* Ports = std::getenv("KORVANE_PORTS")) {
    Environment.Ports = Ports;
  }
  if (const char* Root = std::getenv("KORVANE_SYSFS_ROOT")) {
    Environment.SysfsRoot = Root;
  }
  const auto Set = [](const char* Name) {
    const char* Value = std::getenv(Name);
    return Value != nullptr && *Value != '\0' ? std::optional<std::string>(Value) : std::nullopt;
  };
  if (const auto Runtime = Set("XDG_RUNTIME_DIR")) {
    Environment.StateDir = *Runtime + "/korvane";
  } else if (const auto Cache = Set("XDG_CACHE_HOME")) {
    Environment.StateDir = *Cache + "/korvane";
  } else if (const auto Home = Set("HOME")) {
    Environment.StateDir = *Home + "/.cache/korvane";
  }
  return korvane::cli::RunCli(Args, Environment, std::cout, std::cerr,
                              korvane::cli::StandardErrorIsTerminal(), &Watch);
}
