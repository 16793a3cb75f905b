// The command line of korvane-cli: what to do, on which file, with which
// options. Parsing knows nothing of the board; it only checks that the words
// form one of the commands the tool offers.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "UHexFile.h"

namespace korvane::cli {

enum class TCliCommand {
  cmdNone,
  cmdPorts,
  cmdDetect,
  cmdProgram,
  cmdRead,
  cmdVerify,
  cmdErase,
  cmdBlank,
  cmdCheck,
  cmdInfo,
  cmdDoctor,
};

// How a command reports: every line, only errors and the result line (-q),
// or JSON lines on stdout (--json).
enum class TOutputMode { Text, Quiet, Json };

// --serial 0xADDR:FORMAT:START: a number written into the image at Address
// for each chip, as Width ASCII decimal digits or Width bytes.
struct TSerialFormat {
  enum class TForm { Decimal, LittleEndian, BigEndian };
  uint16_t Address = 0;
  TForm Form = TForm::Decimal;
  uint8_t Width = 0;
  uint64_t Start = 0;
  // The largest number Width holds.
  uint64_t Largest() const;
  // Number in the image's bytes.
  std::string Bytes(uint64_t Number) const;
};

// The most boards one production run drives.
inline constexpr size_t MostBoards = 16;

struct TCliOptions {
  TCliCommand Command = TCliCommand::cmdNone;
  // The command's name as given ("program").
  std::string CommandName;
  // The file of program, read, verify, check and info.
  std::string FileName;
  // Its format: --format, or else what the name implies (".bin": raw).
  TImageFormat Format = TImageFormat::Hex;
  TOutputMode Output = TOutputMode::Text;
  // --port: the port to use instead of the machine's list; program --repeat
  // takes several, one board on each, in the order given.
  std::vector<std::string> Ports;
  // --all-boards: program --repeat on every board the scan finds.
  bool AllBoards = false;
  bool Lock = false;
  bool FastVerify = false;
  // --mem given, and its value: the 89C2051/4051 code memory (2048 or 4096).
  bool MemorySizeGiven = false;
  uint16_t MemorySize = 2048;
  // check and info: the image size, from --chip or --size; 0 for info
  // without either.
  uint16_t ImageSize = 0;
  // program's production run: chip after chip, a record of each, a serial.
  bool Repeat = false;
  std::optional<std::string> LogPath;
  std::optional<TSerialFormat> Serial;
  std::optional<std::string> SerialFile;
  bool Help = false;
  // The command whose help was asked for ("program --help", "help
  // program"); empty for the whole text.
  std::string HelpTopic;
  bool Version = false;
};

// Reads "0xADDR:FORMAT:START"; raises ECliUsage naming what is wrong.
TSerialFormat ParseSerialFormat(const std::string& Text);

// A command line that names no command the tool knows, or misuses one.
class ECliUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the words after the program's name. Raises ECliUsage with a message
// that names the offending word.
TCliOptions ParseCommandLine(const std::vector<std::string>& Args);

// The text of --help, and the help of one command: its usage, what it
// does, its options alone; empty for a name that is no command. Both are
// written from the command table (cli/UCliHelp.cpp).
std::string UsageText();
std::string CommandUsageText(const std::string& Command);

}  // namespace korvane::cli
