#include "UBoardSearchNote.h"

#include <algorithm>

namespace korvane {

namespace {

// The ports that opened: a scan opens every port it does not list as refused.
std::vector<std::string> OpenedPorts(const std::vector<std::string>& Ports,
                                     const std::vector<TRefusedPort>& Refused) {
  std::vector<std::string> Opened;
  for (const std::string& Name : Ports) {
    const bool WasRefused =
        std::any_of(Refused.begin(), Refused.end(),
                    [&Name](const TRefusedPort& Port) { return Port.Name == Name; });
    if (!WasRefused) {
      Opened.push_back(Name);
    }
  }
  return Opened;
}

}  // namespace

std::string BoardSearchNote(const std::vector<std::string>& Ports,
                            const std::vector<TRefusedPort>& Refused, bool BannerSeen) {
  std::string Note;
  if (BannerSeen) {
    Note =
        "A board answered, but the chip in its socket was not recognised: seat the chip "
        "again (pin 1 at the lever), or try another chip";
  } else if (const std::vector<std::string> Opened = OpenedPorts(Ports, Refused); !Opened.empty()) {
    Note = "Tried ";
    for (size_t Index = 0; Index < Opened.size(); ++Index) {
      Note += (Index > 0 ? ", " : "") + Opened[Index];
    }
    Note += ": no board answered; check the board's power and its cable";
  }
  const std::string RefusedNote = RefusedPortsNote(Refused);
  if (!RefusedNote.empty()) {
    Note += (Note.empty() ? "" : ". ") + RefusedNote;
  }
  return Note;
}

}  // namespace korvane
