// One board as the command line drives it: the link to the board and the
// observer that shows its work on the terminal, wired together.
#pragma once

#include <ostream>

#include "UBoardLink.h"
#include "UCliObserver.h"
#include "UCliOptions.h"
#include "UInterrupt.h"
#include "UPortList.h"

namespace korvane::cli {

struct TCliBoard {
  // As TCliObserver takes them; Ports is where the link's polls get their
  // list of ports to scan.
  TCliBoard(const TCliOptions& Options, TPortListSource Ports, std::ostream& Out, std::ostream& Err,
            bool ErrIsTerminal, TInterruptWatch* Watch = nullptr)
      : Link(std::move(Ports)), View(Options, Out, Err, ErrIsTerminal, Watch) {
    Link.SetObserver(&View);
  }
  TCliBoard(const TCliBoard&) = delete;
  TCliBoard& operator=(const TCliBoard&) = delete;

  TBoardLink Link;
  TCliObserver View;
};

}  // namespace korvane::cli
