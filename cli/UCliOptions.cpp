#include "UCliOptions.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

#include "UChipTable.h"
#include "UCommandTable.h"
#include "UText.h"

namespace korvane::cli {

namespace {

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
  // An option that may be repeated (--port) is here once a time given.
  std::multimap<std::string, std::string> Given;
};

// The long form of a one-letter option ("-p": "--port"); any other word as
// it is.
std::string LongForm(const std::string& Word) {
  for (const TOptionEntry& Option : OptionTable()) {
    if (*Option.Short != '\0' && Word == Option.Short) {
      return Option.Name;
    }
  }
  return Word;
}

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
    const std::string Arg = LongForm(Args[I]);
    if (!Arg.starts_with("--")) {
      if (Arg.starts_with("-") && Arg != "-") {
        throw ECliUsage("unknown option '" + Arg + "'");
      }
      Line.Words.push_back(Arg);
      continue;
    }
    const size_t Equals = Arg.find('=');
    const std::string Name = Arg.substr(0, Equals);
    const TOptionEntry* Option = FindOption(Name);
    if (Option != nullptr && *Option->Argument != '\0') {
      std::string Value;
      if (Equals != std::string::npos) {
        Value = Arg.substr(Equals + 1);
      } else if (I + 1 < Args.size()) {
        Value = Args[++I];
      } else {
        throw ECliUsage(Name + " needs a value");
      }
      if (Line.Given.contains(Name) && !Option->Repeats) {
        throw ECliUsage(Name + " is given twice");
      }
      Line.Given.emplace(Name, Value);
    } else if (Option != nullptr && Equals == std::string::npos) {
      Line.Given.emplace(Name, "");
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
  const TCommandEntry* Found = FindCommand(Name);
  if (Found == nullptr) {
    throw ECliUsage("unknown command '" + Name + "'");
  }
  const TCommandEntry& Info = *Found;
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
    if (!TakesOption(*FindOption(Option), Info.Command)) {
      throw ECliUsage(Option + " does not apply to " + Name);
    }
  }
}

// --port, once or (program --repeat) a time per board, and --all-boards.
void ApplyBoardChoice(const std::multimap<std::string, std::string>& Given, TCliOptions& Options) {
  const auto [First, End] = Given.equal_range("--port");
  for (auto Port = First; Port != End; ++Port) {
    // The port list is colon-separated; a name holding one cannot stand alone in it.
    if (Port->second.empty() || Port->second.find(':') != std::string::npos) {
      throw ECliUsage("--port takes one device name, not '" + Port->second + "'");
    }
    if (std::find(Options.Ports.begin(), Options.Ports.end(), Port->second) !=
        Options.Ports.end()) {
      throw ECliUsage("--port " + Port->second + " is given twice");
    }
    Options.Ports.push_back(Port->second);
  }
  Options.AllBoards = Given.contains("--all-boards");
  if (Options.Ports.size() > 1 && !Options.Repeat) {
    throw ECliUsage("--port is given twice; only program --repeat drives several boards");
  }
  if (Options.AllBoards && !Options.Repeat) {
    throw ECliUsage("--all-boards goes with --repeat");
  }
  if (Options.AllBoards && !Options.Ports.empty()) {
    throw ECliUsage("--all-boards and --port do not go together");
  }
  if (Options.Ports.size() > MostBoards) {
    throw ECliUsage("a run takes at most " + std::to_string(MostBoards) + " boards, not " +
                    std::to_string(Options.Ports.size()));
  }
}

void ApplyOptions(const std::multimap<std::string, std::string>& Given, TCliOptions& Options) {
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
  ApplyBoardChoice(Given, Options);
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
void ResolveImageSize(const std::multimap<std::string, std::string>& Given, TCliOptions& Options) {
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

TCliOptions ParseCommandLine(const std::vector<std::string>& Args) {
  const TCommandLineWords Line = SplitCommandLine(Args);
  TCliOptions Options;
  Options.Help = Line.Given.contains("--help");
  Options.Version = Line.Given.contains("--version");
  const bool HelpWord = !Line.Words.empty() && Line.Words[0] == "help";
  if (Options.Help || HelpWord) {
    // "program --help" and "help program": that command's help alone.
    const size_t Topic = HelpWord ? 1 : 0;
    if (Line.Words.size() > Topic) {
      Options.HelpTopic = Line.Words[Topic];
      if (FindCommand(Options.HelpTopic) == nullptr) {
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

}  // namespace korvane::cli
