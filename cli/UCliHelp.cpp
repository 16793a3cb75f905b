// The help of one command: "korvane-cli program --help", "korvane-cli help
// program". Which options a command takes comes from the parser's table, so
// the help cannot offer one that the command refuses.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "UCliOptions.h"

namespace korvane::cli {

namespace {

struct TCommandHelp {
  // What follows the command's name on the usage line.
  const char* Arguments;
  // What the command does, already wrapped.
  const char* Text;
};

const std::map<std::string, TCommandHelp>& CommandHelp() {
  static const std::map<std::string, TCommandHelp> Table{
      {"ports",
       {"",
        "List the serial ports in scan order, and whether each can be opened; a\n"
        "refusal comes with a hint on how to mend it."}},
      {"detect", {"[OPTIONS]", "Look for the board once and print \"PORT: CHIP\"."}},
      {"program",
       {"FILE [OPTIONS]",
        "Erase the chip, write FILE into it (Intel HEX, or raw bytes for a .bin\n"
        "name), verify it, and lock it with --lock. Ends with a line of the bytes\n"
        "written, the time taken, the file and its checksum."}},
      {"read",
       {"FILE [OPTIONS]",
        "Read the whole code memory and save it as FILE; FILE is replaced only\n"
        "once the whole read has succeeded."}},
      {"verify",
       {"FILE [OPTIONS]",
        "Compare the chip with FILE up to its last used byte, by reading back (or\n"
        "by the board's checksum with --fast-verify). Writes nothing."}},
      {"erase", {"[OPTIONS]", "Erase the chip (up to ten tries)."}},
      {"blank",
       {"[OPTIONS]",
        "Read the whole chip and say whether every byte is FF (exit 0) or where\n"
        "it is used (exit 1). A locked chip reads FF as well."}},
      {"check",
       {"FILE (--chip NAME | --size N)",
        "Load FILE into an image of the chip's size, as program does, and print\n"
        "the number of bytes up to the last used address (0 when every byte is FF)."}},
      {"info",
       {"FILE [OPTIONS]",
        "What FILE holds, without a board: the used ranges, the count, the\n"
        "board's checksum for it, the chips it fits, the time programming takes\n"
        "at 9600 baud."}},
      {"doctor",
       {"[OPTIONS]",
        "Check the ports, the USB adapters, the programs that take serial\n"
        "adapters and the board's pace; list every problem with its fix (exit 1\n"
        "when there is one)."}},
  };
  return Table;
}

struct TOptionHelp {
  const char* Name;
  const char* Form;
  const char* Text;
};

// In the order the help lists them.
const std::vector<TOptionHelp>& OptionHelp() {
  static const std::vector<TOptionHelp> Table{
      {"--port", "-p, --port NAME",
       "use this serial port alone instead of the port list (the chip\n"
       "is found by itself)"},
      {"--lock", "--lock", "lock the chip once it is verified"},
      {"--fast-verify", "--fast-verify",
       "verify by the board's checksum instead of reading back (the\n"
       "89C2051/4051 is always read back)"},
      {"--mem", "--mem 2KB|4KB", "code memory of an 89C2051/4051; default 2KB"},
      {"--chip", "--chip NAME",
       "the chip whose size is used: 89C51, 89LV51, 89C52, 89LV52,\n"
       "89C55, 89LV55, 89C2051, 89C4051"},
      {"--size", "--size N",
       "the image size in bytes: 1 to 65535, decimal, 0x-hexadecimal,\n"
       "or whole KB as in 8K"},
      {"--format", "--format hex|bin",
       "FILE as Intel HEX or as raw bytes from address 0; without it,\n"
       "a name ending in .bin is raw and any other is HEX"},
      {"--repeat", "--repeat",
       "program chip after chip: after each, wait until the socket is\n"
       "seen empty and a chip of the same kind is in it"},
      {"--log", "--log PATH", "append one JSON line per chip to PATH"},
      {"--serial", "--serial 0xADDR:FORMAT:START",
       "write a number into each chip's image at ADDR: FORMAT decN,\n"
       "leN or beN"},
      {"--serial-file", "--serial-file PATH",
       "the next serial number, kept in PATH and advanced after each\n"
       "chip that verified"},
      {"--quiet", "-q, --quiet", "print only errors and the result line"},
      {"--json", "--json", "one JSON object a line on stdout (keys in docs/CLI.md)"},
  };
  return Table;
}

// "  FORM  TEXT", the text in a column of its own, continued lines indented.
std::string OptionLines(const TOptionHelp& Option) {
  constexpr size_t Column = 18;
  std::string Lines = std::string("  ") + Option.Form;
  Lines += Lines.size() < Column ? std::string(Column - Lines.size(), ' ')
                                 : "\n" + std::string(Column, ' ');
  for (const char* Ch = Option.Text; *Ch != '\0'; ++Ch) {
    Lines += *Ch;
    if (*Ch == '\n') {
      Lines += std::string(Column, ' ');
    }
  }
  return Lines + "\n";
}

}  // namespace

std::string CommandUsageText(const std::string& Command) {
  const auto Found = CommandHelp().find(Command);
  if (Found == CommandHelp().end()) {
    return {};
  }
  const TCommandHelp& Help = Found->second;
  std::string Text = "Usage: korvane-cli " + Command;
  Text += *Help.Arguments != '\0' ? std::string(" ") + Help.Arguments : std::string();
  Text += "\n\n" + std::string(Help.Text) + "\n\nOptions:\n";
  const std::vector<std::string> Taken = CommandOptions(Command);
  for (const TOptionHelp& Option : OptionHelp()) {
    if (std::find(Taken.begin(), Taken.end(), Option.Name) != Taken.end()) {
      Text += OptionLines(Option);
    }
  }
  Text += OptionLines({"--help", "-h, --help", "show this text"});
  Text += "\nExit status and the other commands: korvane-cli --help.\n";
  return Text;
}

}  // namespace korvane::cli
