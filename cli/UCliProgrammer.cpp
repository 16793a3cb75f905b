#include "UCliProgrammer.h"

#include <cstdio>

namespace korvane::cli {

namespace {

// The first word of a status text without its dots: "Writing... [8 Bytes]"
// labels its stream "Writing".
std::string StreamLabel(const std::string& Status) {
  std::string Word = Status.substr(0, Status.find(' '));
  while (!Word.empty() && Word.back() == '.') {
    Word.pop_back();
  }
  return Word;
}

// A message as one printable line: control bytes and bytes above 7E shown
// as \xNN, since the board's unexpected byte may be any value.
std::string Printable(const std::string& Text) {
  std::string Line;
  for (unsigned char Ch : Text) {
    if (Ch >= 0x20 && Ch < 0x7F) {
      Line += static_cast<char>(Ch);
    } else {
      char Escape[8];
      std::snprintf(Escape, sizeof Escape, "\\x%02X", Ch);
      Line += Escape;
    }
  }
  return Line;
}

}  // namespace

TCliProgrammer::TCliProgrammer(const TCliOptions& Options, std::ostream& Out, std::ostream& Err,
                               bool ErrIsTerminal)
    : FOptions(Options),
      FErr(Err),
      FStatusStream(&Out),
      FErrIsTerminal(ErrIsTerminal),
      FMeter(Err) {}

void TCliProgrammer::SetStatus(const std::string& Text) {
  FLastStatus = Text;
  if (Text == "Identify target chip ...") {
    FBannerSeen = true;
  }
  // The window clears its status line; a terminal has nothing to clear.
  if (Text.empty()) {
    return;
  }
  FMeter.Erase();
  *FStatusStream << Text << std::endl;
}

void TCliProgrammer::SetProgressRange(int Min, int Max) {
  if (FErrIsTerminal) {
    FMeter.Start(Min, Max, StreamLabel(FLastStatus));
  }
}

void TCliProgrammer::SetProgressPosition(int Position) {
  if (FErrIsTerminal) {
    FMeter.Move(Position);
  }
}

void TCliProgrammer::ShowMessage(const std::string& Text) {
  // The window's message box waits for a click; here the text is reported
  // and the operation goes on, as it does once the box is closed.
  FMeter.Erase();
  FErr << "message: " << Printable(Text) << std::endl;
}

void TCliProgrammer::TargetChipChanged() {
  // As the window does for the 89C2051/4051: its images follow the
  // code-memory choice, which here is --mem.
  if (FTargetChip == chip89C2051) {
    ApplyMemorySizeChoice();
  }
}

bool TCliProgrammer::FastVerifyChosen() const {
  // The 89C2051/4051 has no checksum command; it is always read back.
  return FOptions.FastVerify && FTargetChip != chip89C2051;
}

}  // namespace korvane::cli
