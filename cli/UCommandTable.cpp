#include "UCommandTable.h"

#include <algorithm>

namespace korvane::cli {

namespace {

using enum TCliCommand;

}  // namespace

const std::vector<TCommandEntry>& CommandTable() {
  static const std::vector<TCommandEntry> Table{
      {"ports", cmdPorts, false, "",
       "list the serial ports in scan order, and whether each can be opened; a permission "
       "refusal comes with a hint",
       "List the serial ports in scan order, and whether each can be opened; a\n"
       "refusal comes with a hint on how to mend it."},
      {"detect", cmdDetect, false, "[OPTIONS]", "look for the board once and print \"PORT: CHIP\"",
       "Look for the board once and print \"PORT: CHIP\"."},
      {"program", cmdProgram, true, "FILE [OPTIONS]",
       "erase the chip, write FILE into it, verify it, and lock it with --lock",
       "Erase the chip, write FILE into it (Intel HEX, or raw bytes for a .bin\n"
       "name), verify it, and lock it with --lock. Ends with a line of the bytes\n"
       "written, the time taken, the file and its checksum."},
      {"read", cmdRead, true, "FILE [OPTIONS]", "read the whole code memory and save it as FILE",
       "Read the whole code memory and save it as FILE; FILE is replaced only\n"
       "once the whole read has succeeded."},
      {"verify", cmdVerify, true, "FILE [OPTIONS]",
       "compare the chip with FILE up to its last used byte, by reading back (or by the "
       "checksum with --fast-verify)",
       "Compare the chip with FILE up to its last used byte, by reading back (or\n"
       "by the board's checksum with --fast-verify). Writes nothing."},
      {"erase", cmdErase, false, "[OPTIONS]", "erase the chip",
       "Erase the chip (up to ten tries)."},
      {"blank", cmdBlank, false, "[OPTIONS]",
       "read the whole chip and say whether every byte is FF",
       "Read the whole chip and say whether every byte is FF (exit 0) or where\n"
       "it is used (exit 1). A locked chip reads FF as well."},
      {"check", cmdCheck, true, "FILE (--chip NAME | --size N)",
       "load FILE into an image of the chip's size, as program does, and print the number of "
       "bytes up to the last used address (0 when every byte is FF)",
       "Load FILE into an image of the chip's size, as program does, and print\n"
       "the number of bytes up to the last used address (0 when every byte is FF)."},
      {"info", cmdInfo, true, "FILE [OPTIONS]",
       "what FILE holds, without a board: the used ranges, the count, the board's checksum for "
       "it, the chips it fits, the time programming takes at 9600 baud",
       "What FILE holds, without a board: the used ranges, the count, the\n"
       "board's checksum for it, the chips it fits, the time programming takes\n"
       "at 9600 baud."},
      {"doctor", cmdDoctor, false, "[OPTIONS]",
       "check the ports, the USB adapters, the programs that take serial adapters and the "
       "board's pace; list every problem with its fix (exit 1 when there is one)",
       "Check the ports, the USB adapters, the programs that take serial\n"
       "adapters and the board's pace; list every problem with its fix (exit 1\n"
       "when there is one)."},
  };
  return Table;
}

const std::vector<TOptionEntry>& OptionTable() {
  // doctor scans the ports --port names, and --mem sizes an 89C2051/4051 it
  // finds for its time estimates.
  static const std::vector<TOptionEntry> Table{
      {"--port",
       "-p",
       "NAME",
       "use this serial port alone instead of the port list ({}); with program --repeat, once "
       "per board, each programming its own chips at once",
       "use this serial port alone instead of the port list (the chip is found by itself); "
       "program --repeat takes one per board, each programming its own chips at once",
       {cmdDetect, cmdProgram, cmdRead, cmdVerify, cmdErase, cmdBlank, cmdDoctor},
       true},
      {"--lock",
       "",
       "",
       "lock the chip once it is verified ({})",
       "lock the chip once it is verified",
       {cmdProgram}},
      {"--fast-verify",
       "",
       "",
       "verify by the board's checksum instead of reading back ({}; the 89C2051/4051 is always "
       "read back)",
       "verify by the board's checksum instead of reading back (the 89C2051/4051 is always read "
       "back)",
       {cmdProgram, cmdVerify}},
      {"--mem",
       "",
       "2KB|4KB",
       "code memory of an 89C2051/4051 ({}; check and info only with --chip 89C2051); default "
       "2KB",
       "code memory of an 89C2051/4051; default 2KB",
       {cmdProgram, cmdRead, cmdVerify, cmdErase, cmdBlank, cmdDoctor, cmdCheck, cmdInfo}},
      {"--chip",
       "",
       "NAME",
       "the chip whose size is used ({}): {chips}",
       "the chip whose size is used: {chips}",
       {cmdCheck, cmdInfo}},
      {"--size",
       "",
       "N",
       "the image size in bytes ({}): 1 to 65535, decimal, 0x-hexadecimal, or whole KB as in 8K",
       "the image size in bytes: 1 to 65535, decimal, 0x-hexadecimal, or whole KB as in 8K",
       {cmdCheck, cmdInfo}},
      {"--format",
       "",
       "hex|bin",
       "FILE as Intel HEX or as raw bytes from address 0; without it, a name ending in .bin is "
       "raw and any other is HEX ({})",
       "FILE as Intel HEX or as raw bytes from address 0; without it, a name ending in .bin is "
       "raw and any other is HEX",
       {cmdProgram, cmdRead, cmdVerify, cmdInfo}},
      {"--repeat",
       "",
       "",
       "program chip after chip: after each, wait until the socket is seen empty and a chip of "
       "the same kind is in it ({})",
       "program chip after chip: after each, wait until the socket is seen empty and a chip of "
       "the same kind is in it",
       {cmdProgram}},
      {"--all-boards",
       "",
       "",
       "with --repeat, program on every board the scan finds, each numbered as it answers ({})",
       "with --repeat, program on every board the scan finds, each numbered as it answers",
       {cmdProgram}},
      {"--log",
       "",
       "PATH",
       "append one JSON line per chip to PATH, on the disk before the next chip starts ({})",
       "append one JSON line per chip to PATH",
       {cmdProgram}},
      {"--serial",
       "",
       "0xADDR:FORMAT:START",
       "write a number into each chip's image at ADDR: FORMAT decN (N decimal digits), leN or "
       "beN (N bytes); the file must leave those bytes FF ({})",
       "write a number into each chip's image at ADDR: FORMAT decN, leN or beN",
       {cmdProgram}},
      {"--serial-file",
       "",
       "PATH",
       "the next serial number, kept in PATH (created with START), advanced before each chip is "
       "written and given back when the chip fails ({})",
       "the next serial number, kept in PATH, advanced before each chip is written and given "
       "back when the chip fails",
       {cmdProgram}},
      {"--quiet", "-q", "", "print only errors and the result line ({})",
       "print only errors and the result line", BoardCommands()},
      {"--json", "", "",
       "one JSON object a line on stdout instead of the text lines: status, progress, chip and a "
       "closing result event ({}; keys in docs/CLI.md)",
       "one JSON object a line on stdout (keys in docs/CLI.md)", BoardCommands()},
      {"--help",
       "-h",
       "",
       "show this text",
       "show this text",
       {cmdPorts, cmdDetect, cmdProgram, cmdRead, cmdVerify, cmdErase, cmdBlank, cmdCheck, cmdInfo,
        cmdDoctor}},
      {"--version", "", "", "show the version", "", {}},
      {"--", "", "", "end of the options: a FILE named \"-x.hex\" may follow", "", {}},
  };
  return Table;
}

const std::vector<TCliCommand>& BoardCommands() {
  static const std::vector<TCliCommand> Commands{cmdDetect, cmdProgram, cmdRead,
                                                 cmdVerify, cmdErase,   cmdBlank};
  return Commands;
}

const TCommandEntry* FindCommand(const std::string& Name) {
  const auto& Table = CommandTable();
  const auto Found = std::find_if(Table.begin(), Table.end(), [&Name](const TCommandEntry& Entry) {
    return Name == Entry.Name;
  });
  return Found == Table.end() ? nullptr : &*Found;
}

const TOptionEntry* FindOption(const std::string& Name) {
  const auto& Table = OptionTable();
  const auto Found = std::find_if(Table.begin(), Table.end(), [&Name](const TOptionEntry& Entry) {
    return Name == Entry.Name;
  });
  return Found == Table.end() ? nullptr : &*Found;
}

bool TakesOption(const TOptionEntry& Option, TCliCommand Command) {
  return std::find(Option.Commands.begin(), Option.Commands.end(), Command) !=
         Option.Commands.end();
}

}  // namespace korvane::cli
