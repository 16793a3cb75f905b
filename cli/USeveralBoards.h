// A production run on several boards at once: each board programs its own
// chips from a thread of its own, as a one-board run does, while they share
// FILE, the serial numbers, the log, the screen and the user's stop. A slow
// or failing board holds no other back; a board lost ends its own line.
#pragma once

#include <string>
#include <vector>

#include "UBoardLink.h"
#include "UBoardScreen.h"
#include "UCliOptions.h"
#include "UInterrupt.h"
#include "UJsonLine.h"
#include "UProductionRun.h"

namespace korvane::cli {

// Runs the production of Options on every board of Links (board 1 first),
// each link having found its board and a chip of the run's kind, until each
// board's run has ended; Screen shows them, and each board's summary once its
// run ends. Stops are deferred for the whole run. The summaries, board 1
// first.
std::vector<TProductionSummary> RunOnSeveralBoards(const TCliOptions& Options,
                                                   TProductionFiles& Files,
                                                   const std::vector<TBoardLink*>& Links,
                                                   TBoardScreen& Screen, TInterruptWatch* Watch);

// "3 programmed, 1 failed, 0 skipped"
std::string CountsText(const TProductionSummary& Summary);
// The counts as the "summary" event gives them.
TJsonLine CountsOf(const TProductionSummary& Summary);
// Where a stopped run left its board's chip, in words.
std::string StopPlace(const TProductionSummary& Summary, const TBoardLink& Link, bool Lock);
// The summaries of all boards added up; Interrupted, BoardGone and the rest
// when they hold for any board.
TProductionSummary TotalOf(const std::vector<TProductionSummary>& Boards);

}  // namespace korvane::cli
