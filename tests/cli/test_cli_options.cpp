// The command line as the tool reads it, and the two texts it builds itself:
// the progress bar and the permission hint.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "UCliCommands.h"
#include "UCliHints.h"
#include "UCliOptions.h"
#include "UCommandTable.h"
#include "UPlatformWords.h"
#include "UPortAccess.h"
#include "UProgressMeter.h"

namespace korvane::cli {
namespace {

TCliOptions Parse(const std::vector<std::string>& Args) {
  return ParseCommandLine(Args);
}

std::string UsageError(const std::vector<std::string>& Args) {
  try {
    ParseCommandLine(Args);
  } catch (const ECliUsage& Error) {
    return Error.what();
  }
  return "(accepted)";
}

TEST(CliOptions, ReadsEachCommandWithItsOptions) {
  TCliOptions Program =
      Parse({"program", "a.hex", "--port", "/dev/pts/3", "--lock", "--fast-verify", "--mem=4KB"});
  EXPECT_EQ(Program.Command, TCliCommand::cmdProgram);
  EXPECT_EQ(Program.FileName, "a.hex");
  EXPECT_EQ(Program.Ports, std::vector<std::string>{"/dev/pts/3"});
  EXPECT_TRUE(Program.Lock);
  EXPECT_TRUE(Program.FastVerify);
  EXPECT_TRUE(Program.MemorySizeGiven);
  EXPECT_EQ(Program.MemorySize, 4096);

  // Options may come before the command and the file.
  TCliOptions Read = Parse({"--port=COM5", "read", "out.hex"});
  EXPECT_EQ(Read.Command, TCliCommand::cmdRead);
  EXPECT_EQ(Read.Ports, std::vector<std::string>{"COM5"});
  EXPECT_FALSE(Read.MemorySizeGiven);
  EXPECT_EQ(Read.MemorySize, 2048);

  EXPECT_EQ(Parse({"ports"}).Command, TCliCommand::cmdPorts);
  EXPECT_TRUE(Parse({"detect"}).Ports.empty());
  EXPECT_TRUE(Parse({"detect", "-h"}).Help);
  EXPECT_TRUE(Parse({"--help"}).Help);
  EXPECT_TRUE(Parse({"--version"}).Version);
}

TEST(CliOptions, CheckTakesTheSizeFromTheChipOrTheNumber) {
  EXPECT_EQ(Parse({"check", "f", "--chip", "89C51"}).ImageSize, 4096);
  EXPECT_EQ(Parse({"check", "f", "--chip", "89lv52"}).ImageSize, 8192);
  EXPECT_EQ(Parse({"check", "f", "--chip", "89C55"}).ImageSize, 20480);
  EXPECT_EQ(Parse({"check", "f", "--chip", "89C2051"}).ImageSize, 2048);
  EXPECT_EQ(Parse({"check", "f", "--chip", "89C2051", "--mem", "4KB"}).ImageSize, 4096);
  EXPECT_EQ(Parse({"check", "f", "--chip", "89C4051"}).ImageSize, 4096);
  EXPECT_EQ(Parse({"check", "f", "--chip", "89C2051/4051"}).ImageSize, 2048);
  EXPECT_EQ(Parse({"check", "f", "--size", "65535"}).ImageSize, 65535);
  EXPECT_EQ(Parse({"check", "f", "--size", "0x2000"}).ImageSize, 8192);
  EXPECT_EQ(Parse({"check", "f", "--size", "20K"}).ImageSize, 20480);
  EXPECT_EQ(Parse({"check", "f", "--size", "8kb"}).ImageSize, 8192);
}

TEST(CliOptions, ShortFormsOutputModesAndFileFormats) {
  const TCliOptions Verify = Parse({"verify", "chip.BIN", "-p", "/dev/pts/4", "-q"});
  EXPECT_EQ(Verify.Command, TCliCommand::cmdVerify);
  EXPECT_EQ(Verify.Ports, std::vector<std::string>{"/dev/pts/4"});
  EXPECT_EQ(Verify.Output, TOutputMode::Quiet);
  EXPECT_EQ(Verify.Format, TImageFormat::Binary) << "the name says .bin";
  EXPECT_EQ(Parse({"read", "x.bin", "--format", "HEX"}).Format, TImageFormat::Hex);
  EXPECT_EQ(Parse({"program", "x.hex", "--format=bin"}).Format, TImageFormat::Binary);
  EXPECT_EQ(Parse({"erase", "--json"}).Output, TOutputMode::Json);
  EXPECT_EQ(Parse({"blank"}).Output, TOutputMode::Text);
  EXPECT_EQ(Parse({"info", "x.hex"}).ImageSize, 0) << "info needs no chip";
  EXPECT_EQ(Parse({"info", "x.hex", "--chip", "89C52"}).ImageSize, 8192);

  EXPECT_EQ(UsageError({"erase", "x.hex"}), "unexpected argument 'x.hex'");
  EXPECT_EQ(UsageError({"verify"}), "verify needs a FILE");
  EXPECT_EQ(UsageError({"verify", "x.hex", "--lock"}), "--lock does not apply to verify");
  EXPECT_EQ(UsageError({"check", "x.hex", "--json"}), "--json does not apply to check");
  EXPECT_EQ(UsageError({"blank", "-q", "--json"}), "--quiet and --json do not go together");
  EXPECT_EQ(UsageError({"read", "x", "--format", "srec"}), "--format takes hex or bin, not 'srec'");
  EXPECT_EQ(UsageError({"info", "x", "--mem", "4KB"}), "--mem goes with --chip 89C2051");
  EXPECT_EQ(UsageError({"info", "x", "--chip", "89C51", "--size", "1"}),
            "info takes at most one of --chip NAME and --size N");
  EXPECT_EQ(UsageError({"detect", "-x"}), "unknown option '-x'");
}

TEST(CliOptions, DoubleDashEndsTheOptions) {
  EXPECT_EQ(Parse({"program", "--lock", "--", "-x.hex"}).FileName, "-x.hex");
  const TCliOptions Options = Parse({"info", "--chip", "89C52", "--", "--help"});
  EXPECT_EQ(Options.FileName, "--help");
  EXPECT_FALSE(Options.Help);
  EXPECT_EQ(Parse({"--", "ports"}).Command, TCliCommand::cmdPorts);
  EXPECT_EQ(UsageError({"program", "--", "a.hex", "--lock"}), "unexpected argument '--lock'");
}

TEST(CliOptions, RefusesWhatNoCommandMeans) {
  EXPECT_EQ(UsageError({}), "no command given");
  EXPECT_EQ(UsageError({"burn", "a.hex"}), "unknown command 'burn'");
  EXPECT_EQ(UsageError({"program"}), "program needs a FILE");
  EXPECT_EQ(UsageError({"read", "a.hex", "b.hex"}), "unexpected argument 'b.hex'");
  EXPECT_EQ(UsageError({"ports", "x"}), "unexpected argument 'x'");
  EXPECT_EQ(UsageError({"program", "a.hex", "--verify"}), "unknown option '--verify'");
  EXPECT_EQ(UsageError({"program", "a.hex", "-l"}), "unknown option '-l'");
  EXPECT_EQ(UsageError({"program", "a.hex", "--port"}), "--port needs a value");
  EXPECT_EQ(UsageError({"program", "a.hex", "--lock=yes"}), "unknown option '--lock=yes'");
  EXPECT_EQ(UsageError({"read", "a.hex", "--lock"}), "--lock does not apply to read");
  EXPECT_EQ(UsageError({"detect", "--mem", "2KB"}), "--mem does not apply to detect");
  EXPECT_EQ(UsageError({"ports", "--port", "x"}), "--port does not apply to ports");
  EXPECT_EQ(UsageError({"read", "a.hex", "--port", "a", "--port", "b"}),
            "--port is given twice; only program --repeat drives several boards");
  EXPECT_EQ(UsageError({"program", "a.hex", "-p", "a", "-p", "b"}),
            "--port is given twice; only program --repeat drives several boards");
  EXPECT_EQ(UsageError({"program", "a.hex", "--repeat", "-p", "a", "-p", "a"}),
            "--port a is given twice");
  EXPECT_EQ(UsageError({"program", "a.hex", "--all-boards"}), "--all-boards goes with --repeat");
  EXPECT_EQ(UsageError({"program", "a.hex", "--repeat", "--all-boards", "-p", "a"}),
            "--all-boards and --port do not go together");
  EXPECT_EQ(Parse({"program", "a.hex", "--repeat", "-p", "a", "--port=b", "-p", "c"}).Ports,
            (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(UsageError({"read", "a.hex", "--port", "/dev/a:/dev/b"}),
            "--port takes one device name, not '/dev/a:/dev/b'");
  EXPECT_EQ(UsageError({"read", "a.hex", "--mem", "3KB"}), "--mem takes 2KB or 4KB, not '3KB'");
  EXPECT_EQ(UsageError({"check", "f"}), "check needs exactly one of --chip NAME and --size N");
  EXPECT_EQ(UsageError({"check", "f", "--chip", "89C52", "--size", "1"}),
            "check needs exactly one of --chip NAME and --size N");
  EXPECT_EQ(UsageError({"check", "f", "--size", "1", "--mem", "4KB"}),
            "--mem goes with --chip 89C2051, not with --size");
  EXPECT_EQ(UsageError({"check", "f", "--size", "0"}),
            "--size takes a byte count from 1 to 65535, not '0'");
  EXPECT_EQ(UsageError({"check", "f", "--size", "64K"}),
            "--size takes a byte count from 1 to 65535, not '64K'");
  EXPECT_EQ(UsageError({"check", "f", "--size", "12x"}),
            "--size takes a byte count from 1 to 65535, not '12x'");
  EXPECT_EQ(UsageError({"check", "f", "--chip", "8051"}).substr(0, 20), "unknown chip '8051' ");
}

TEST(CliOptions, HelpDocumentsEveryCommandAndExitStatus) {
  const std::string Help = UsageText();
  for (const char* Word :
       {"ports", "detect", "program FILE", "read FILE", "check FILE", "--port", "--lock",
        "--fast-verify", "--mem", "--chip", "--size", "KORVANE_PORTS", "error: <message>"}) {
    EXPECT_NE(Help.find(Word), std::string::npos) << Word;
  }
  for (const char* Code : {"  0  success", "  1  a chip operation failed", "  2  usage",
                           "  3  no programmer", "  4  file error", "  5  serial port"}) {
    EXPECT_NE(Help.find(Code), std::string::npos) << Code;
  }
}

// Each system's words speak of that system only, and the help and hints use
// the words of the system they run on.
TEST(CliOptions, PlatformWordsSpeakOfTheirOwnSystem) {
  struct TCase {
    const char* System;
    const TPlatformWords& Words;
    std::vector<const char*> Foreign;
  };
  const TCase Cases[] = {
      {"Windows",
       WindowsWords(),
       {"SIG", "/dev/", "sudo", "apt", "srec_cat", "brltty", "ModemManager", "udev", "tty"}},
      {"POSIX", PosixWords(), {"COM3", "Ctrl-Break", "console window", "I8HEX"}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.System);
    std::string All = std::string(Case.Words.StopRequests) + "|" + Case.Words.StopRequest + "|" +
                      Case.Words.ExamplePort + "|" +
                      Case.Words.SixteenBitAdvice("fw.hex", "fw-16bit.hex");
    for (const TAdapterTaker& Taker : Case.Words.AdapterTakers) {
      All += std::string("|") + Taker.Name + "|" + Taker.What + "|" + Taker.Fix;
    }
    for (const char* Word : Case.Foreign) {
      EXPECT_EQ(All.find(Word), std::string::npos) << Word << " in " << All;
    }
  }
#ifdef _WIN32
  EXPECT_EQ(&PlatformWords(), &WindowsWords());
#else
  EXPECT_EQ(&PlatformWords(), &PosixWords());
#endif
  // The help as one line: its paragraphs are filled to the terminal's width.
  std::string Help = UsageText();
  std::replace(Help.begin(), Help.end(), '\n', ' ');
  EXPECT_NE(Help.find(std::string("Stopping: ") + PlatformWords().StopRequests + " before"),
            std::string::npos)
      << Help;
  EXPECT_NE(PortNamedLikeAChip("89c52").value_or("").find(PlatformWords().ExamplePort),
            std::string::npos);
}

TEST(CliOptions, EachCommandHasAHelpOfItsOwn) {
  EXPECT_EQ(Parse({"program", "--help"}).HelpTopic, "program");
  EXPECT_EQ(Parse({"help", "program"}).HelpTopic, "program");
  EXPECT_TRUE(Parse({"help"}).Help);
  EXPECT_EQ(Parse({"help"}).HelpTopic, "");
  EXPECT_EQ(UsageError({"help", "burn"}), "unknown command 'burn'");

  // And the program prints it for both ways of asking.
  std::ostringstream Out, Err, Again;
  EXPECT_EQ(RunCli({"read", "--help"}, {}, Out, Err, false), 0);
  EXPECT_EQ(RunCli({"help", "read"}, {}, Again, Err, false), 0);
  EXPECT_EQ(Out.str(), CommandUsageText("read"));
  EXPECT_EQ(Again.str(), Out.str());
}

std::string FileText(const std::string& Path) {
  std::ifstream In(std::string(KORVANE_SOURCE_DIR) + "/" + Path);
  EXPECT_TRUE(In) << Path;
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

// Text between the first Start after From and the first End after it.
std::string Between(const std::string& Text, const std::string& Start, const std::string& End,
                    size_t From = 0) {
  const size_t Begin = Text.find(Start, From);
  if (Begin == std::string::npos) {
    return "";
  }
  const size_t Stop = Text.find(End, Begin + Start.size());
  return Text.substr(Begin + Start.size(),
                     Stop == std::string::npos ? Stop : Stop - Begin - Start.size());
}

// The commands a list of them names ("program, verify", "the board commands
// and doctor"), up to its first semicolon; empty when it names none.
std::set<std::string> NamedCommands(std::string List) {
  List = List.substr(0, List.find(';'));
  std::set<std::string> Names;
  std::istringstream Words(std::regex_replace(List, std::regex("[^a-z]+"), " "));
  for (std::string Word; Words >> Word;) {
    if (FindCommand(Word) != nullptr) {
      Names.insert(Word);
    }
  }
  if (List.find("the board commands") != std::string::npos) {
    for (const TCommandEntry& Command : CommandTable()) {
      if (std::ranges::count(BoardCommands(), Command.Command) > 0) {
        Names.insert(Command.Name);
      }
    }
  }
  return Names;
}

// The first parenthesis in Text that names commands.
std::set<std::string> CommandsInParentheses(const std::string& Text) {
  for (size_t Open = Text.find('('); Open != std::string::npos; Open = Text.find('(', Open + 1)) {
    const std::set<std::string> Names = NamedCommands(Between(Text, "(", ")", Open));
    if (!Names.empty()) {
      return Names;
    }
  }
  return {};
}

// Roff as plain words: no requests, fonts, quotes or escapes.
std::string PlainRoff(const std::string& Roff) {
  std::string Text = std::regex_replace(Roff, std::regex("(^|\n)\\.[A-Z]+ *"), "$1");
  Text = std::regex_replace(Text, std::regex("\\\\f[BIRP]|\""), "");
  return std::regex_replace(std::regex_replace(Text, std::regex("\\\\-"), "-"), std::regex("\\s+"),
                            " ");
}

bool HasWord(const std::string& Text, const std::string& Word) {
  std::istringstream Words(std::regex_replace(Text, std::regex("[,`|]"), " "));
  return std::find(std::istream_iterator<std::string>(Words), std::istream_iterator<std::string>(),
                   Word) != std::istream_iterator<std::string>();
}

// The entry of Option in a manual page's OPTIONS, as plain words.
std::string ManualEntry(const std::string& Options, const std::string& Option) {
  std::istringstream Entries(std::regex_replace(Options, std::regex("\n\\.TP\n"), "\x01"));
  for (std::string Entry; std::getline(Entries, Entry, '\x01');) {
    if (HasWord(PlainRoff(Entry.substr(0, Entry.find('\n'))), Option)) {
      return PlainRoff(Entry);
    }
  }
  return "";
}

// The cell after Option's in a table of docs/CLI.md: its "for".
std::string GuideFor(const std::string& Section, const std::string& Option) {
  std::istringstream Lines(Section);
  for (std::string Line; std::getline(Lines, Line);) {
    if (Line.starts_with("| `") && HasWord(Between(Line, "| ", " |"), Option)) {
      return Between(Line.substr(2), "| ", " |");
    }
  }
  return "";
}

// What --help, each command's help, korvane-cli(1) and docs/CLI.md say of
// each option: which commands take it, as the table has it.
TEST(CliOptions, TheHelpTheManualAndTheGuideTellWhatTheTableSays) {
  const std::string Help = "\n" + Between(UsageText(), "\nOptions:\n", "\n\n");
  const std::string Manual =
      "\n" + Between(FileText("man/korvane-cli.1"), "\n.SH OPTIONS\n", "\n.SH ");
  const std::string Guide = Between(FileText("docs/CLI.md"), "\n## Options\n", "\n## ");
  for (const TOptionEntry& Option : OptionTable()) {
    SCOPED_TRACE(Option.Name);
    const std::string Form =
        (*Option.Short != '\0' ? std::string(Option.Short) + ", " : "") + Option.Name;
    std::set<std::string> Expected;
    for (const TCommandEntry& Command : CommandTable()) {
      const bool Takes = TakesOption(Option, Command.Command);
      const std::string Own = CommandUsageText(Command.Name);
      EXPECT_EQ(Own.find("\n  " + Form + " ") != std::string::npos ||
                    Own.find("\n  " + Form + "\n") != std::string::npos,
                Takes)
          << Command.Name;
      if (Takes) {
        Expected.insert(Command.Name);
      }
    }
    const std::string Entry = ManualEntry(Manual, Option.Name);
    EXPECT_FALSE(Entry.empty()) << "no entry in korvane-cli(1)";
    if (std::string(Option.Summary).find("{}") == std::string::npos) {
      continue;  // --help, --version and "--" stand alone
    }
    const std::string HelpEntry =
        std::regex_replace(Between(Help, "\n  " + Form + " ", "\n  -"), std::regex("\\s+"), " ");
    EXPECT_EQ(CommandsInParentheses(HelpEntry), Expected) << "--help: " << HelpEntry;
    EXPECT_EQ(CommandsInParentheses(Entry), Expected) << "korvane-cli(1): " << Entry;
    EXPECT_EQ(NamedCommands(GuideFor(Guide, Option.Name)), Expected) << "docs/CLI.md";
  }
}

TEST(ProgressMeter, ShowsBytesRateAndTimeLeft) {
  EXPECT_EQ(TProgressMeter::Format("Writing", 4096, 8192, 1024.0),
            "Writing [############............] 4096/8192 bytes  1024 B/s  0:04 left");
  EXPECT_EQ(TProgressMeter::Format("", 0, 100, std::nullopt),
            "[........................]   0/100 bytes  -- B/s  -:-- left");
  EXPECT_EQ(TProgressMeter::Format("Reading", 960, 20480, 960.0),
            "Reading [#.......................]   960/20480 bytes  960 B/s  0:20 left");
}

TEST(ProgressMeter, FitsTheTerminalShortOfItsLastColumn) {
  const struct {
    int Columns;
    const char* Text;
  } Cases[] = {
      {80, "Writing [############............] 2786/5572 bytes  288 B/s  0:10 left"},
      {60, "Writing [#####......] 2786/5572 bytes  288 B/s  0:10 left"},
      {50, "Writing 2786/5572 bytes  288 B/s  0:10 left"},
      {30, "Writing 2786/5572 bytes"},
      {12, "Writing 278"},
  };
  for (const auto& Case : Cases) {
    const std::string Text = TProgressMeter::Format("Writing", 2786, 5572, 288.0, Case.Columns);
    EXPECT_EQ(Text, Case.Text) << Case.Columns;
    EXPECT_LT(static_cast<int>(Text.size()), Case.Columns);
  }
}

TEST(ProgressMeter, TheRateWaitsForEnoughBytesFromTheFirstOne) {
  using Clock = TProgressMeter::TClock;
  using std::chrono::milliseconds;
  std::ostringstream Terminal;
  const Clock::time_point T0{};
  TProgressMeter Meter(Terminal, [] { return 200; });
  Meter.Start(0, 5571, "Verify", T0);
  // The stream's first byte comes late (the board's answer to the command);
  // that wait is no part of the pace.
  Meter.Move(0, T0 + milliseconds(2000));
  Meter.Move(400, T0 + milliseconds(2800));  // under a second of bytes: no estimate
  Meter.Move(500, T0 + milliseconds(3000));  // a second, 500 bytes: 500 B/s
  const std::string Text = Terminal.str();
  EXPECT_NE(Text.find("401/5572 bytes  -- B/s  -:-- left"), std::string::npos) << Text;
  EXPECT_NE(Text.find("501/5572 bytes  500 B/s  0:10 left"), std::string::npos) << Text;
}

TEST(ProgressMeter, DrawsInPlaceAndLeavesTheLineClean) {
  using Clock = TProgressMeter::TClock;
  std::ostringstream Terminal;
  const Clock::time_point T0{};
  {
    TProgressMeter Meter(Terminal);
    Meter.Start(0, 3, "Writing", T0);
    Meter.Move(0, T0);
    Meter.Move(1, T0 + std::chrono::milliseconds(10));  // within the redraw interval
    Meter.Move(3, T0 + std::chrono::milliseconds(20));  // the last byte is always drawn
    EXPECT_TRUE(Meter.Active());
    Meter.Move(0, T0 + std::chrono::milliseconds(30));  // the operation puts it back: the end
    EXPECT_FALSE(Meter.Active());
  }
  const std::string Text = Terminal.str();
  EXPECT_NE(Text.find("\rWriting [######..................] 1/4 bytes"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("2/4 bytes"), std::string::npos);
  EXPECT_NE(Text.find("4/4 bytes"), std::string::npos);
  EXPECT_TRUE(Text.ends_with("\r\033[K")) << Text;
}

TEST(PortAccess, PermissionHintNamesTheGroupAndTheCommand) {
  const std::string Hint = PermissionHint("/dev/korvane-no-such-device");
  EXPECT_NE(Hint.find("group 'dialout'"), std::string::npos) << Hint;
  EXPECT_NE(Hint.find("sudo usermod -aG dialout $USER"), std::string::npos) << Hint;
  EXPECT_NE(Hint.find("log out and in again"), std::string::npos) << Hint;
}

}  // namespace
}  // namespace korvane::cli
