// korvane-cli: the programmer board from the command line.
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define KORVANE_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define KORVANE_ISATTY(fd) isatty(fd)
#endif

#include "UCliCommands.h"

int main(int argc, char** argv) {
  const std::vector<std::string> Args(argv + 1, argv + argc);
  return korvane::cli::RunCli(Args, std::cout, std::cerr, KORVANE_ISATTY(2) != 0);
}
