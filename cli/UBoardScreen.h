// What a production run on several boards shows: one screen for all of them,
// written to from every board's thread. On a terminal each board has a line
// that is redrawn in place (board, port, chip, phase, progress, last result)
// under which the totals stand; elsewhere each event is a line of its own,
// named by its board; with --json, each event carries its "board".
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "UCliOptions.h"
#include "UInterrupt.h"
#include "UJsonLine.h"
#include "ULinkObserver.h"
#include "UProductionView.h"

namespace korvane::cli {

enum class TScreenMode {
  // The rows redrawn in place on a terminal.
  InPlace,
  // A line an event; with Quiet the statuses are left out.
  Lines,
  Quiet,
  Json,
};

// The mode for Options' output, stdout being a terminal that takes cursor
// moves (Terminal) or not.
TScreenMode ScreenModeOf(const TCliOptions& Options, bool Terminal);

class TBoardScreen {
 public:
  using TClock = std::chrono::steady_clock;

  // Ports: the port of each board, board 1 first. Out takes the rows, the
  // lines of statuses and results, and the events; Err the waits and notes.
  // Columns tells the terminal's width (0: unknown, taken as 80).
  TBoardScreen(TScreenMode Mode, std::ostream& Out, std::ostream& Err,
               std::vector<std::string> Ports, std::function<int()> Columns = {});
  TBoardScreen(const TBoardScreen&) = delete;
  TBoardScreen& operator=(const TBoardScreen&) = delete;

  // Boards are numbered from 1.
  void Status(int Board, const std::string& Text);
  // Done of Total bytes of the stream of Phase; shown at most ten times a
  // second a board, and always its last.
  void Progress(int Board, const char* Phase, int Done, int Total);
  void ChipStarted(int Board, int ChipNo);
  void ChipEnded(int Board, const TChipReport& Report);
  void AwaitingChip(int Board, bool ByEnter);
  // A line on Err, after "board N (PORT): " (nothing for Board 0, the whole
  // run): Kind is "note", "warning", "message" or "" for none.
  void Say(int Board, const std::string& Kind, const std::string& Text);
  // An event of --json, with the board's number and port added.
  void Event(int Board, const TJsonLine& Event);
  // The board's run has ended: its summary line, or its "summary" event.
  void BoardEnded(int Board, const std::string& Summary, const TJsonLine& Details);
  // The rows drawn a last time; whatever is written next goes below them.
  void Close();
  // Out can no longer be written (its reader went away).
  bool OutputLost() const;

 private:
  struct TRow {
    std::string Port;
    int ChipNo = 0;
    std::string Phase;
    int Percent = -1;
    std::string Last;
    TClock::time_point ProgressShown{};
    int DoneShown = -1;
  };

  // "board 2 (/dev/ttyUSB1): "
  std::string Named(int Board) const;
  TJsonLine EventOf(int Board, const char* Name) const;
  // The rows and the totals as they stand, each cut to the terminal's width.
  std::vector<std::string> Picture() const;
  void Redraw();
  // Takes the rows off the terminal, so that a line of Err starts clean.
  void Erase();
  void WriteOut(const std::string& Line);
  void WriteErr(const std::string& Line);

  const TScreenMode FMode;
  std::ostream& FOut;
  std::ostream& FErr;
  std::function<int()> FColumns;
  mutable std::mutex FGuard;
  std::vector<TRow> FRows;
  int FProgrammed = 0;
  int FFailed = 0;
  int FSkipped = 0;
  // The lines of rows now on the terminal.
  int FDrawn = 0;
  bool FClosed = false;
};

// One board's link observer and production view, reporting to the screen.
class TBoardRow final : public TLinkObserver, public TProductionView {
 public:
  TBoardRow(TBoardScreen& Screen, int Board, TInterruptWatch* Watch)
      : FScreen(Screen), FBoard(Board), FWatch(Watch) {}

  // --- The link's observer ----------------------------------------------------
  void StatusChanged(TStatus Status, const std::string& Text) override;
  void ProgressRangeChanged(int Min, int Max) override;
  void ProgressMoved(int Position) override;
  void BoardMessage(const std::string& Text) override;
  void WriteTimingMeasured(const TWriteTiming& Timing) override;
  void StopNoticed(const TStopNotice& Notice) override;
  bool StopRequested() override;

  // --- The production view ------------------------------------------------------
  const std::string& LastStatusText() const override { return FLastStatusText; }
  void SetSilent(bool Silent) override { FSilent = Silent; }
  void ChipStarted(int ChipNo) override { FScreen.ChipStarted(FBoard, ChipNo); }
  void ChipEnded(const TChipReport& Report) override { FScreen.ChipEnded(FBoard, Report); }
  void AwaitingChip(bool ByEnter) override { FScreen.AwaitingChip(FBoard, ByEnter); }
  void Note(const std::string& Text) override { FScreen.Say(FBoard, "note", Text); }

 private:
  TBoardScreen& FScreen;
  const int FBoard;
  TInterruptWatch* FWatch;
  std::string FLastStatusText;
  TStatus FStatus = TStatus::stNone;
  const char* FPhase = "";
  int FProgressMin = 0;
  int FProgressMax = 0;
  bool FSilent = false;
  bool FSlowWriteWarned = false;
  bool FStopSaid = false;
  bool FOutputLost = false;
};

}  // namespace korvane::cli
