// The command line of korvane-cli: what to do, on which file, with which
// options. Parsing knows nothing of the board; it only checks that the words
// form one of the commands the tool offers.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvane::cli {

enum class TCliCommand { cmdNone, cmdPorts, cmdDetect, cmdProgram, cmdRead, cmdCheck };

struct TCliOptions {
  TCliCommand Command = TCliCommand::cmdNone;
  // The HEX file of program, read and check.
  std::string FileName;
  // --port: the one port to use instead of the machine's list.
  std::optional<std::string> Port;
  bool Lock = false;
  bool FastVerify = false;
  // --mem given, and its value: the 89C2051/4051 code memory (2048 or 4096).
  bool MemorySizeGiven = false;
  uint16_t MemorySize = 2048;
  // check: the image size, from --chip or --size.
  uint16_t ImageSize = 0;
  bool Help = false;
  bool Version = false;
};

// A command line that names no command the tool knows, or misuses one.
class ECliUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the words after the program's name. Raises ECliUsage with a message
// that names the offending word.
TCliOptions ParseCommandLine(const std::vector<std::string>& Args);

// The text of --help.
std::string UsageText();

}  // namespace korvane::cli
