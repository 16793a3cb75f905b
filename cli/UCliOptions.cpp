#include "UCliOptions.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>

#include "UChipTable.h"
#include "UPlatformWords.h"
#include "UText.h"

namespace korvane::cli {

namespace {

struct TCommandInfo {
  TCliCommand Command;
  bool TakesFile;
  // The options the command accepts, besides --help and --version.
  std::set<std::string> Options;
};

const std::map<std::string, TCommandInfo>& Commands() {
  static const std::map<std::string, TCommandInfo> Table{
      {"ports", {TCliCommand::cmdPorts, false, {}}},
      {"detect", {TCliCommand::cmdDetect, false, {"--port", "--quiet", "--json"}}},
      {"program",
       {TCliCommand::cmdProgram,
        true,
        {"--port", "--lock", "--fast-verify", "--mem", "--format", "--quiet", "--json", "--repeat",
         "--log", "--serial", "--serial-file"}}},
      {"read", {TCliCommand::cmdRead, true, {"--port", "--mem", "--format", "--quiet", "--json"}}},
      {"verify",
       {TCliCommand::cmdVerify,
        true,
        {"--port", "--fast-verify", "--mem", "--format", "--quiet", "--json"}}},
      {"erase", {TCliCommand::cmdErase, false, {"--port", "--mem", "--quiet", "--json"}}},
      {"blank", {TCliCommand::cmdBlank, false, {"--port", "--mem", "--quiet", "--json"}}},
      {"check", {TCliCommand::cmdCheck, true, {"--chip", "--size", "--mem"}}},
      {"info", {TCliCommand::cmdInfo, true, {"--chip", "--size", "--mem", "--format"}}},
      {"doctor", {TCliCommand::cmdDoctor, false, {"--port", "--mem"}}},
  };
  return Table;
}

const std::set<std::string> ValueOptions{"--port",   "--mem", "--chip",   "--size",
                                         "--format", "--log", "--serial", "--serial-file"};
const std::set<std::string> FlagOptions{"--lock", "--fast-verify", "--quiet", "--json",
                                        "--help", "--version",     "--repeat"};
// The one-letter forms, for the options used most.
const std::map<std::string, std::string> ShortOptions{{"-p", "--port"}, {"-q", "--quiet"}};

uint16_t ParseMemorySize(const std::string& Value) {
  const std::string Upper = UpperCase(Value);
  if (Upper == "2KB" || Upper == "2K" || Upper == "2048") {
    return 2048;
  }
  if (Upper == "4KB" || Upper == "4K" || Upper == "4096") {
    return 4096;
  }
  throw ECliUsage("--mem takes 2KB or 4KB, not '" + Value + "'");
}

// Decimal, 0x-prefixed hexadecimal, or a whole number of KB ("8K", "8KB").
uint16_t ParseImageSize(const std::string& Value) {
  std::string Digits = UpperCase(Value);
  unsigned long Scale = 1;
  int Base = 10;
  if (Digits.size() > 2 && Digits.ends_with("KB")) {
    Digits.resize(Digits.size() - 2);
    Scale = 1024;
  } else if (Digits.size() > 1 && Digits.ends_with("K")) {
    Digits.resize(Digits.size() - 1);
    Scale = 1024;
  } else if (Digits.size() > 2 && Digits.starts_with("0X")) {
    Digits.erase(0, 2);
    Base = 16;
  }
  const bool WellFormed = !Digits.empty() && Digits.size() <= 8 &&
                          std::all_of(Digits.begin(), Digits.end(), [Base](char Ch) {
                            return Base == 16 ? std::isxdigit(static_cast<unsigned char>(Ch)) != 0
                                              : std::isdigit(static_cast<unsigned char>(Ch)) != 0;
                          });
  if (WellFormed) {
    const unsigned long Size = std::stoul(Digits, nullptr, Base) * Scale;
    if (Size >= 1 && Size <= 65535) {
      return static_cast<uint16_t>(Size);
    }
  }
  throw ECliUsage("--size takes a byte count from 1 to 65535, not '" + Value + "'");
}

}  // namespace

namespace {

// The words of a command line: the command and its file, and the options
// given, each with its value ("" for a flag).
struct TCommandLineWords {
  std::vector<std::string> Words;
  std::map<std::string, std::string> Given;
  bool ShortHelp = false;
};

TCommandLineWords SplitCommandLine(const std::vector<std::string>& Args) {
  TCommandLineWords Line;
  bool OptionsEnded = false;
  for (size_t I = 0; I < Args.size(); ++I) {
    if (OptionsEnded) {
      Line.Words.push_back(Args[I]);
      continue;
    }
    // "--" ends the options: a file named "-x.hex" can follow it.
    if (Args[I] == "--") {
      OptionsEnded = true;
      continue;
    }
    if (Args[I] == "-h") {
      Line.ShortHelp = true;
      continue;
    }
    const auto Short = ShortOptions.find(Args[I]);
    const std::string& Arg = Short == ShortOptions.end() ? Args[I] : Short->second;
    if (!Arg.starts_with("--")) {
      if (Arg.starts_with("-") && Arg != "-") {
        throw ECliUsage("unknown option '" + Arg + "'");
      }
      Line.Words.push_back(Arg);
      continue;
    }
    const size_t Equals = Arg.find('=');
    const std::string Name = Arg.substr(0, Equals);
    if (ValueOptions.contains(Name)) {
      std::string Value;
      if (Equals != std::string::npos) {
        Value = Arg.substr(Equals + 1);
      } else if (I + 1 < Args.size()) {
        Value = Args[++I];
      } else {
        throw ECliUsage(Name + " needs a value");
      }
      if (Line.Given.contains(Name)) {
        throw ECliUsage(Name + " is given twice");
      }
      Line.Given[Name] = Value;
    } else if (FlagOptions.contains(Name) && Equals == std::string::npos) {
      Line.Given[Name] = "";
    } else {
      throw ECliUsage("unknown option '" + Arg + "'");
    }
  }
  return Line;
}

// The command the first word names, its FILE, and a check that every option
// given applies to it.
void ResolveCommand(const TCommandLineWords& Line, TCliOptions& Options) {
  if (Line.Words.empty()) {
    throw ECliUsage("no command given");
  }
  const std::string& Name = Line.Words[0];
  const auto Found = Commands().find(Name);
  if (Found == Commands().end()) {
    throw ECliUsage("unknown command '" + Name + "'");
  }
  const TCommandInfo& Info = Found->second;
  Options.Command = Info.Command;
  Options.CommandName = Name;
  const size_t Expected = Info.TakesFile ? 2 : 1;
  if (Line.Words.size() < Expected) {
    throw ECliUsage(Name + " needs a FILE");
  }
  if (Line.Words.size() > Expected) {
    throw ECliUsage("unexpected argument '" + Line.Words[Expected] + "'");
  }
  if (Info.TakesFile) {
    Options.FileName = Line.Words[1];
  }
  for (const auto& [Option, Value] : Line.Given) {
    if (!Info.Options.contains(Option)) {
      throw ECliUsage(Option + " does not apply to " + Name);
    }
  }
}

void ApplyOptions(const std::map<std::string, std::string>& Given, TCliOptions& Options) {
  if (const auto Port = Given.find("--port"); Port != Given.end()) {
    // The port list is colon-separated; a name holding one cannot stand alone in it.
    if (Port->second.empty() || Port->second.find(':') != std::string::npos) {
      throw ECliUsage("--port takes one device name, not '" + Port->second + "'");
    }
    Options.Port = Port->second;
  }
  Options.Lock = Given.contains("--lock");
  Options.FastVerify = Given.contains("--fast-verify");
  if (Given.contains("--quiet") && Given.contains("--json")) {
    throw ECliUsage("--quiet and --json do not go together");
  }
  Options.Output = Given.contains("--json")    ? TOutputMode::Json
                   : Given.contains("--quiet") ? TOutputMode::Quiet
                                               : TOutputMode::Text;
  Options.Format = FormatOfFileName(Options.FileName);
  Options.Repeat = Given.contains("--repeat");
  if (const auto Log = Given.find("--log"); Log != Given.end()) {
    Options.LogPath = Log->second;
  }
  if (const auto Serial = Given.find("--serial"); Serial != Given.end()) {
    Options.Serial = ParseSerialFormat(Serial->second);
  }
  if (const auto File = Given.find("--serial-file"); File != Given.end()) {
    if (!Options.Serial) {
      throw ECliUsage("--serial-file goes with --serial");
    }
    Options.SerialFile = File->second;
  }
  if (const auto Format = Given.find("--format"); Format != Given.end()) {
    const std::string Name = UpperCase(Format->second);
    if (Name != "HEX" && Name != "BIN") {
      throw ECliUsage("--format takes hex or bin, not '" + Format->second + "'");
    }
    Options.Format = Name == "BIN" ? TImageFormat::Binary : TImageFormat::Hex;
  }
  if (const auto Mem = Given.find("--mem"); Mem != Given.end()) {
    Options.MemorySizeGiven = true;
    Options.MemorySize = ParseMemorySize(Mem->second);
  }
}

// check and info: the image size, from exactly one of --chip and --size
// (info may go without either).
void ResolveImageSize(const std::map<std::string, std::string>& Given, TCliOptions& Options) {
  const auto Chip = Given.find("--chip");
  const auto Size = Given.find("--size");
  const bool Optional = Options.Command == TCliCommand::cmdInfo;
  const bool Neither = Chip == Given.end() && Size == Given.end();
  if (Optional && Neither) {
    if (Options.MemorySizeGiven) {
      throw ECliUsage("--mem goes with --chip 89C2051");
    }
    return;
  }
  if (Neither || (Chip != Given.end() && Size != Given.end())) {
    throw ECliUsage(Options.CommandName + (Optional ? " takes at most" : " needs exactly") +
                    " one of --chip NAME and --size N");
  }
  if (Size != Given.end()) {
    if (Options.MemorySizeGiven) {
      throw ECliUsage("--mem goes with --chip 89C2051, not with --size");
    }
    Options.ImageSize = ParseImageSize(Size->second);
    return;
  }
  const std::optional<uint16_t> ChipSize = ChipSizeByName(Chip->second, Options.MemorySize);
  if (!ChipSize) {
    throw ECliUsage("unknown chip '" + Chip->second + "' (" + AcceptedChipNames() + ")");
  }
  Options.ImageSize = *ChipSize;
}

}  // namespace

uint64_t TSerialFormat::Largest() const {
  uint64_t Limit = 1;
  for (int Digit = 0; Digit < Width; ++Digit) {
    Limit *= Form == TForm::Decimal ? 10 : 256;
  }
  return Limit - 1;
}

std::string TSerialFormat::Bytes(uint64_t Number) const {
  std::string Result(Width, '\0');
  for (int Index = Width - 1; Index >= 0; --Index) {
    const size_t At = Form == TForm::LittleEndian ? static_cast<size_t>(Width - 1 - Index)
                                                  : static_cast<size_t>(Index);
    if (Form == TForm::Decimal) {
      Result[At] = static_cast<char>('0' + Number % 10);
      Number /= 10;
    } else {
      Result[At] = static_cast<char>(Number & 0xFF);
      Number >>= 8;
    }
  }
  return Result;
}

TSerialFormat ParseSerialFormat(const std::string& Text) {
  const auto Fail = [&Text](const std::string& Why) {
    return ECliUsage("--serial takes 0xADDR:FORMAT:START (FORMAT decN, leN or beN), not '" + Text +
                     "': " + Why);
  };
  const size_t First = Text.find(':');
  const size_t Second = First == std::string::npos ? First : Text.find(':', First + 1);
  if (Second == std::string::npos) {
    throw Fail("three parts are needed");
  }
  TSerialFormat Result;
  const std::string Address = Text.substr(0, First);
  const std::string Format = Text.substr(First + 1, Second - First - 1);
  const std::string Start = Text.substr(Second + 1);
  char* End = nullptr;
  const unsigned long AddressValue = std::strtoul(Address.c_str(), &End, 0);
  if (Address.empty() || *End != '\0' || AddressValue > 0xFFFF) {
    throw Fail("the address is not a number from 0 to 0xFFFF");
  }
  Result.Address = static_cast<uint16_t>(AddressValue);
  size_t Prefix = 0;
  if (Format.starts_with("dec")) {
    Result.Form = TSerialFormat::TForm::Decimal;
    Prefix = 3;
  } else if (Format.starts_with("le")) {
    Result.Form = TSerialFormat::TForm::LittleEndian;
    Prefix = 2;
  } else if (Format.starts_with("be")) {
    Result.Form = TSerialFormat::TForm::BigEndian;
    Prefix = 2;
  }
  const std::string Digits = Format.substr(Prefix);
  const unsigned long WidthValue = std::strtoul(Digits.c_str(), &End, 10);
  const unsigned long MostWidth = Result.Form == TSerialFormat::TForm::Decimal ? 19 : 8;
  if (Prefix == 0 || Digits.empty() || *End != '\0' || WidthValue < 1 || WidthValue > MostWidth) {
    throw Fail("the format is decN (N 1 to 19), leN or beN (N 1 to 8)");
  }
  Result.Width = static_cast<uint8_t>(WidthValue);
  const unsigned long long StartValue = std::strtoull(Start.c_str(), &End, 10);
  if (Start.empty() || *End != '\0' || StartValue > Result.Largest()) {
    throw Fail("the start is not a decimal number that " + Format + " holds");
  }
  Result.Start = StartValue;
  if (Result.Address + Result.Width - 1 > 0xFFFF) {
    throw Fail("the number runs past 0xFFFF");
  }
  return Result;
}

std::vector<std::string> CommandOptions(const std::string& Command) {
  const auto Found = Commands().find(Command);
  if (Found == Commands().end()) {
    return {};
  }
  return {Found->second.Options.begin(), Found->second.Options.end()};
}

TCliOptions ParseCommandLine(const std::vector<std::string>& Args) {
  const TCommandLineWords Line = SplitCommandLine(Args);
  TCliOptions Options;
  Options.Help = Line.ShortHelp || Line.Given.contains("--help");
  Options.Version = Line.Given.contains("--version");
  const bool HelpWord = !Line.Words.empty() && Line.Words[0] == "help";
  if (Options.Help || HelpWord) {
    // "program --help" and "help program": that command's help alone.
    const size_t Topic = HelpWord ? 1 : 0;
    if (Line.Words.size() > Topic) {
      Options.HelpTopic = Line.Words[Topic];
      if (!Commands().contains(Options.HelpTopic)) {
        throw ECliUsage("unknown command '" + Options.HelpTopic + "'");
      }
    }
    Options.Help = true;
    return Options;
  }
  if (Options.Version) {
    return Options;
  }
  ResolveCommand(Line, Options);
  ApplyOptions(Line.Given, Options);
  if (Options.Command == TCliCommand::cmdCheck || Options.Command == TCliCommand::cmdInfo) {
    ResolveImageSize(Line.Given, Options);
  }
  return Options;
}

namespace {

// An option's line of the usage text: the option, then Text wrapped at 80
// columns under its start.
std::string OptionText(const std::string& Option, const std::string& Text) {
  constexpr size_t Indent = 18;
  constexpr size_t Width = 80;
  std::string Lines = "  " + Option + std::string(Indent - 2 - Option.size(), ' ');
  size_t Column = Indent;
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t End = Text.find(' ', Start);
    End = End == std::string::npos ? Text.size() : End;
    const std::string Word = Text.substr(Start, End - Start);
    if (Column > Indent && Column + 1 + Word.size() > Width) {
      Lines += "\n" + std::string(Indent, ' ');
      Column = Indent;
    } else if (Column > Indent) {
      Lines += ' ';
      ++Column;
    }
    Lines += Word;
    Column += Word.size();
    Start = End + 1;
  }
  return Lines + "\n";
}

}  // namespace

std::string UsageText() {
  return R"USAGE(Usage: korvane-cli COMMAND [FILE] [OPTIONS]

Programs and reads back the flash code memory of 8051-family chips (89C51,
89LV51, 89C52, 89LV52, 89C55, 89LV55, 89C2051/4051) through the RS-232
programmer board.

Commands:
  ports           list the serial ports in scan order, and whether each can be
                  opened; a permission refusal comes with a hint
  detect          look for the board once and print "PORT: CHIP"
  program FILE    erase the chip, write FILE into it, verify it, and lock it
                  with --lock
  read FILE       read the whole code memory and save it as FILE
  verify FILE     compare the chip with FILE up to its last used byte, by
                  reading back (or by the checksum with --fast-verify)
  erase           erase the chip
  blank           read the whole chip and say whether every byte is FF
  check FILE      load FILE into an image of the chip's size, as program does,
                  and print the number of bytes up to the last used address
                  (0 when every byte is FF)
  info FILE       what FILE holds, without a board: the used ranges, the count,
                  the board's checksum for it, the chips it fits, the time
                  programming takes at 9600 baud
  doctor          check the ports, the USB adapters, the programs that take
                  serial adapters and the board's pace; list every problem
                  with its fix (exit 1 when there is one)
  help COMMAND    show one command's usage and options alone (as does
                  COMMAND --help)

Options:
  -p, --port NAME use this serial port alone instead of the port list
                  (detect, program, read, verify, erase, blank)
  --lock          lock the chip once it is verified (program)
  --fast-verify   verify by the board's checksum instead of reading back
                  (program, verify; the 89C2051/4051 is always read back)
  --mem 2KB|4KB   code memory of an 89C2051/4051 (program, read, verify, erase,
                  blank, and check or info with --chip 89C2051); default 2KB
)USAGE" +
         OptionText("--chip NAME",
                    "the chip whose size check and info use: " + AcceptedChipNames()) +
         R"USAGE(  --size N        the image size in bytes for check and info: 1 to 65535,
                  decimal, 0x-hexadecimal, or whole KB as in 8K
  --format hex|bin
                  FILE as Intel HEX or as raw bytes from address 0; without
                  it, a name ending in .bin is raw and any other is HEX
                  (program, read, verify, info)
  --repeat        program chip after chip: after each, wait until the socket is
                  seen empty and a chip of the same kind is in it (program)
  --log PATH      append one JSON line per chip to PATH, on the disk before the
                  next chip starts (program)
  --serial 0xADDR:FORMAT:START
                  write a number into each chip's image at ADDR: FORMAT decN
                  (N decimal digits), leN or beN (N bytes); the file must
                  leave those bytes FF (program)
  --serial-file PATH
                  the next serial number, kept in PATH (created with START),
                  advanced before each chip is written and given back when
                  the chip fails (program)
  -q, --quiet     print only errors and the result line (the board commands)
  --json          one JSON object a line on stdout instead of the text lines:
                  status, progress, chip and a closing result event (the board
                  commands; keys in docs/CLI.md)
  -h, --help      show this text
  --version       show the version
  --              end of the options: a FILE named "-x.hex" may follow

The ports: the machine's serial ports in sorted order or, when the environment
variable KORVANE_PORTS is set, exactly its colon-separated device names.

Output: program, read, verify and erase print every status text on stdout,
one a line, as it is set ("Erasing...[1/10]", "Writing... [1024 Bytes]",
"Verify Failed!", "Complete!"), and program, verify and read then one summary
line ("148 bytes written and verified in 1.2 s (FILE, checksum 0xBF4D)");
blank ends with "blank" or "not blank: first used byte at 0xNNNN, N bytes not
FF"; a verification that read the chip back and failed says on stderr "first
difference at 0xNNNN: file NN, chip NN (N bytes differ)". The port scan
reports on stderr. When stderr is a terminal, a progress bar there follows the
byte streams (bytes done/total, rate, time left). Errors print
"error: <message>" on stderr, naming the file for a file's error.

Stopping: )USAGE" +
         std::string(PlatformWords().StopRequests) +
         R"USAGE(
before the board is in a stream ends at once. During program or read the board
is first brought back to its prompt: a write is finished with FF (which leaves
the chip's cells as they are), a read or an erase is waited for; then
"Interrupted: <where the chip stands>" on stderr, e.g. "written 600 of 6300
bytes; the chip is not verified". A second )USAGE" +
         std::string(PlatformWords().StopRequest) + R"USAGE( ends at once, giving the
port back.

Exit status:
  0  success
  1  a chip operation failed (the last status line names the step)
  2  usage error
  3  no programmer board found, or no chip that it knows
  4  file error (Intel HEX contents, or reading or writing the file)
  5  serial port error
  130  stopped by a )USAGE" +
         std::string(PlatformWords().StopRequest) +
         R"USAGE( (see Stopping)
)USAGE";
}

}  // namespace korvane::cli
