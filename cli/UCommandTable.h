// The commands of korvane-cli and their options, in one table: the parser
// takes from it what each command accepts, and every help text is written
// from it, so that the two cannot disagree.
#pragma once

#include <string>
#include <vector>

#include "UCliOptions.h"

namespace korvane::cli {

struct TCommandEntry {
  const char* Name;
  TCliCommand Command;
  bool TakesFile;
  // What follows the name on the command's own usage line.
  const char* Arguments;
  // Its line in the whole help, wrapped there.
  const char* Summary;
  // What it does, in its own help, already wrapped.
  const char* Description;
};

struct TOptionEntry {
  const char* Name;
  // The one-letter form, or "".
  const char* Short;
  // The value it takes ("NAME"), or "" for a flag.
  const char* Argument;
  // Its words in the whole help; "{}" stands for the commands that take it.
  const char* Summary;
  // Its words in a command's own help.
  const char* Text;
  // The commands that take it; none for the options that stand alone
  // (--help, --version).
  std::vector<TCliCommand> Commands;
  // It may be given more than once.
  bool Repeats = false;
};

// In the order the help lists them.
const std::vector<TCommandEntry>& CommandTable();
const std::vector<TOptionEntry>& OptionTable();

// The entry of Name, or nullptr.
const TCommandEntry* FindCommand(const std::string& Name);
const TOptionEntry* FindOption(const std::string& Name);

bool TakesOption(const TOptionEntry& Option, TCliCommand Command);
// The commands that talk to the board and report as it answers: the ones
// "the board commands" means in the help.
const std::vector<TCliCommand>& BoardCommands();

}  // namespace korvane::cli
