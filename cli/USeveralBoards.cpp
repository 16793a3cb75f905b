#include "USeveralBoards.h"

#include <exception>
#include <memory>
#include <thread>

#include "UChipProgress.h"
#include "UCliHints.h"
#include "UEnterLines.h"
#include "UText.h"

namespace korvane::cli {

static_assert(MostBoards <= TInterruptWatch::MostGuardedPorts,
              "the watch guards every board's port");

namespace {

// What one board's summary says after its counts: how its run ended, when
// it did not end with the run ("" then).
std::string EndingOf(const TProductionSummary& Summary, const TBoardLink& Link, bool Lock) {
  std::vector<std::string> Parts;
  if (Summary.BoardGone) {
    Parts.push_back("the programmer board is gone from " + Link.Line().Port());
  }
  if (!Summary.FileError.empty()) {
    Parts.push_back("error: " + Summary.FileError);
  }
  if (Summary.Interrupted) {
    Parts.push_back("interrupted: " + StopPlace(Summary, Link, Lock));
  }
  return Joined(Parts, "; ");
}

// The board's summary on the screen: its line, or its "summary" event.
void ShowBoardEnd(TBoardScreen& Screen, int Board, const TProductionSummary& Summary,
                  const std::string& Ending) {
  TJsonLine Details = CountsOf(Summary);
  if (!Ending.empty()) {
    Details.Add("ended", Ending);
  }
  Screen.BoardEnded(Board, CountsText(Summary) + (Ending.empty() ? "" : "; " + Ending), Details);
}

// One board's run from its first chip to its summary, on the screen.
TProductionSummary RunBoard(const TCliOptions& Options, TProductionFiles& Files, TBoardLink& Link,
                            TBoardRow& Row, TEnterLines& Enter, int Number,
                            TInterruptWatch* Watch) {
  TProductionSummary Summary;
  try {
    Summary = RunProduction(Options, Files, {Link, Row, Enter, Number}, Watch);
  } catch (const std::exception& Error) {
    // Nothing else may end the other boards' runs with the process.
    Summary.FileError = Error.what();
  }
  // The board answers at its prompt; its port is free for whoever is next.
  Link.ComPort().Close();
  return Summary;
}

}  // namespace

std::vector<TProductionSummary> RunOnSeveralBoards(const TCliOptions& Options,
                                                   TProductionFiles& Files,
                                                   const std::vector<TBoardLink*>& Links,
                                                   TBoardScreen& Screen, TInterruptWatch* Watch) {
  const int Count = static_cast<int>(Links.size());
  std::vector<const TComPort*> Ports;
  std::vector<std::unique_ptr<TBoardRow>> Rows;
  for (int Board = 1; Board <= Count; ++Board) {
    Ports.push_back(&Links[Board - 1]->ComPort());
    Rows.push_back(std::make_unique<TBoardRow>(Screen, Board, Watch));
    Links[Board - 1]->SetObserver(Rows.back().get());
  }
  TEnterLines Enter(Count, [&Screen](const std::string& Text) { Screen.Say(0, "note", Text); });
  std::vector<TProductionSummary> Summaries(Links.size());
  {
    const TInterruptWatch::TGuardScope Guard(Watch, Ports, true);
    std::vector<std::jthread> Threads;
    for (int Board = 1; Board <= Count; ++Board) {
      Threads.emplace_back([&, Board] {
        TBoardLink& Link = *Links[Board - 1];
        TProductionSummary& Summary = Summaries[Board - 1];
        Summary = RunBoard(Options, Files, Link, *Rows[Board - 1], Enter, Board, Watch);
        ShowBoardEnd(Screen, Board, Summary, EndingOf(Summary, Link, Options.Lock));
      });
    }
  }
  for (TBoardLink* Link : Links) {
    Link->SetObserver(nullptr);
  }
  Screen.Close();
  return Summaries;
}

std::string CountsText(const TProductionSummary& Summary) {
  return std::to_string(Summary.Programmed) + " programmed, " + std::to_string(Summary.Failed) +
         " failed, " + std::to_string(Summary.Skipped) + " skipped";
}

TJsonLine CountsOf(const TProductionSummary& Summary) {
  TJsonLine Counts;
  Counts.Add("programmed", int64_t{Summary.Programmed})
      .Add("failed", int64_t{Summary.Failed})
      .Add("skipped", int64_t{Summary.Skipped});
  return Counts;
}

std::string StopPlace(const TProductionSummary& Summary, const TBoardLink& Link, bool Lock) {
  if (Summary.Abandoned) {
    return ChipProgressText(Link.ChipProgress(), Lock) + "; " + AbandonedBoardText();
  }
  if (Summary.StoppedMidChip) {
    return ChipProgressText(Link.ChipProgress(), Lock);
  }
  return Summary.InputEnded ? "the input ended between chips; every chip counted above is finished"
                            : "between chips; every chip counted above is finished";
}

TProductionSummary TotalOf(const std::vector<TProductionSummary>& Boards) {
  TProductionSummary Total;
  for (const TProductionSummary& Board : Boards) {
    Total.Programmed += Board.Programmed;
    Total.Failed += Board.Failed;
    Total.Skipped += Board.Skipped;
    Total.BoardGone = Total.BoardGone || Board.BoardGone;
    Total.Interrupted = Total.Interrupted || Board.Interrupted;
    Total.StoppedMidChip = Total.StoppedMidChip || Board.StoppedMidChip;
    Total.Abandoned = Total.Abandoned || Board.Abandoned;
    Total.InputEnded = Total.InputEnded || Board.InputEnded;
    if (Total.FileError.empty()) {
      Total.FileError = Board.FileError;
    }
  }
  return Total;
}

}  // namespace korvane::cli
