// The help texts, written from the command table: the whole text of
// "korvane-cli --help" and each command's own ("program --help", "help
// program"), so that neither can offer an option that the parser refuses.
#include <string>
#include <vector>

#include "UChipTable.h"
#include "UCliOptions.h"
#include "UCommandTable.h"
#include "UPlatformWords.h"

namespace korvane::cli {

namespace {

const char* const Intro =
    "Programs and reads back the flash code memory of 8051-family chips (89C51, 89LV51, 89C52, "
    "89LV52, 89C55, 89LV55, 89C2051/4051) through the RS-232 programmer board.";

const char* const HelpCommandSummary =
    "show one command's usage and options alone (as does COMMAND --help)";

// The paragraphs after the options; "{stops}" stands for the ways to ask a
// run to stop and "{stop}" for one of them, in this system's words.
const char* const Paragraphs[] = {
    "The ports: the machine's serial ports in sorted order or, when the environment variable "
    "KORVANE_PORTS is set, exactly its colon-separated device names.",
    "Output: program, read, verify and erase print every status text on stdout, one a line, as "
    "it is set (\"Erasing...[1/10]\", \"Writing... [1024 Bytes]\", \"Verify Failed!\", "
    "\"Complete!\"), and program, verify and read then one summary line (\"148 bytes written and "
    "verified in 1.2 s (FILE, checksum 0xBF4D)\"); blank ends with \"blank\" or \"not blank: "
    "first used byte at 0xNNNN, N bytes not FF\"; a verification that read the chip back and "
    "failed says on stderr \"first difference at 0xNNNN: file NN, chip NN (N bytes differ)\". "
    "The port scan reports on stderr. When stderr is a terminal, a progress bar there follows "
    "the byte streams (bytes done/total, rate, time left). Errors print \"error: <message>\" on "
    "stderr, naming the file for a file's error.",
    "Stopping: {stops} before the board is in a stream ends at once. During program or read the "
    "board is first brought back to its prompt: a write is finished with FF (which leaves the "
    "chip's cells as they are), a read or an erase is waited for; then \"Interrupted: <where the "
    "chip stands>\" on stderr, e.g. \"written 600 of 6300 bytes; the chip is not verified\". A "
    "second {stop} ends at once, giving the port back.",
};

const char* const ExitStatus =
    "Exit status:\n"
    "  0  success\n"
    "  1  a chip operation failed (the last status line names the step)\n"
    "  2  usage error\n"
    "  3  no programmer board found, or no chip that it knows\n"
    "  4  file error (Intel HEX contents, or reading or writing the file)\n"
    "  5  serial port error\n"
    "  130  stopped by a {stop} (see Stopping)\n";

constexpr size_t TextColumn = 18;
// The longest line, short of an 80-column terminal's last column.
constexpr size_t LineWidth = 79;

std::string Replaced(std::string Text, const std::string& Mark, const std::string& By) {
  for (size_t At = Text.find(Mark); At != std::string::npos; At = Text.find(Mark, At + By.size())) {
    Text.replace(At, Mark.size(), By);
  }
  return Text;
}

// Text with the stop requests named as this system names them.
std::string InSystemWords(const std::string& Text) {
  return Replaced(Replaced(Text, "{stops}", PlatformWords().StopRequests), "{stop}",
                  PlatformWords().StopRequest);
}

// Text's words filled into lines up to LineWidth, the first going on from
// Column, the others starting at Indent.
std::string Filled(const std::string& Text, size_t Column, size_t Indent) {
  std::string Lines;
  bool LineEmpty = true;
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t End = Text.find(' ', Start);
    End = End == std::string::npos ? Text.size() : End;
    const std::string Word = Text.substr(Start, End - Start);
    if (!LineEmpty && Column + 1 + Word.size() > LineWidth) {
      Lines += "\n" + std::string(Indent, ' ');
      Column = Indent;
      LineEmpty = true;
    }
    if (!LineEmpty) {
      Lines += ' ';
      ++Column;
    }
    Lines += Word;
    Column += Word.size();
    LineEmpty = false;
    Start = End + 1;
  }
  return Lines + "\n";
}

// "  FORM  TEXT": the text in a column of its own, below the form when the
// form reaches into it.
std::string Entry(const std::string& Form, const std::string& Text) {
  std::string Lines = "  " + Form;
  if (Lines.size() + 1 > TextColumn) {
    Lines += "\n";
  }
  Lines += std::string(TextColumn - (Lines.back() == '\n' ? 0 : Lines.size()), ' ');
  return Lines + Filled(Text, TextColumn, TextColumn);
}

std::string OptionForm(const TOptionEntry& Option) {
  std::string Form = *Option.Short != '\0' ? std::string(Option.Short) + ", " : std::string();
  Form += Option.Name;
  return *Option.Argument != '\0' ? Form + " " + Option.Argument : Form;
}

// The commands that take Option, as the whole help names them.
std::string TakenBy(const TOptionEntry& Option) {
  if (Option.Commands == BoardCommands()) {
    return "the board commands";
  }
  std::string Names;
  for (const TCliCommand Command : Option.Commands) {
    for (const TCommandEntry& Entry : CommandTable()) {
      if (Entry.Command == Command) {
        Names += (Names.empty() ? "" : ", ") + std::string(Entry.Name);
      }
    }
  }
  return Names;
}

std::string OptionWords(const TOptionEntry& Option, const char* Words) {
  return Replaced(Replaced(Words, "{}", TakenBy(Option)), "{chips}", AcceptedChipNames());
}

}  // namespace

std::string UsageText() {
  std::string Text =
      "Usage: korvane-cli COMMAND [FILE] [OPTIONS]\n\n" + Filled(Intro, 0, 0) + "\nCommands:\n";
  for (const TCommandEntry& Command : CommandTable()) {
    Text += Entry(std::string(Command.Name) + (Command.TakesFile ? " FILE" : ""), Command.Summary);
  }
  Text += Entry("help COMMAND", HelpCommandSummary) + "\nOptions:\n";
  for (const TOptionEntry& Option : OptionTable()) {
    Text += Entry(OptionForm(Option), OptionWords(Option, Option.Summary));
  }
  for (const char* Paragraph : Paragraphs) {
    Text += "\n" + Filled(InSystemWords(Paragraph), 0, 0);
  }
  return Text + "\n" + InSystemWords(ExitStatus);
}

std::string CommandUsageText(const std::string& Name) {
  const TCommandEntry* Command = FindCommand(Name);
  if (Command == nullptr) {
    return {};
  }
  std::string Text = "Usage: korvane-cli " + Name;
  Text += *Command->Arguments != '\0' ? std::string(" ") + Command->Arguments : std::string();
  Text += "\n\n" + std::string(Command->Description) + "\n\nOptions:\n";
  for (const TOptionEntry& Option : OptionTable()) {
    if (TakesOption(Option, Command->Command)) {
      Text += Entry(OptionForm(Option), OptionWords(Option, Option.Text));
    }
  }
  return Text + "\nExit status and the other commands: korvane-cli --help.\n";
}

}  // namespace korvane::cli
