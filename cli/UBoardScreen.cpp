#include "UBoardScreen.h"

#include <algorithm>

namespace korvane::cli {

namespace {

using namespace std::chrono_literals;

constexpr auto ProgressPeriod = 100ms;

// Text cut so that it fits in Columns without wrapping.
std::string Fitted(const std::string& Text, int Columns) {
  const size_t Room = static_cast<size_t>(std::max(Columns, 20) - 1);
  return Text.size() <= Room ? Text : Text.substr(0, Room);
}

std::string Padded(std::string Text, size_t Width) {
  if (Text.size() < Width) {
    Text.append(Width - Text.size(), ' ');
  }
  return Text;
}

}  // namespace

TScreenMode ScreenModeOf(const TCliOptions& Options, bool Terminal) {
  switch (Options.Output) {
    case TOutputMode::Json:
      return TScreenMode::Json;
    case TOutputMode::Quiet:
      return TScreenMode::Quiet;
    case TOutputMode::Text:
      break;
  }
  return Terminal ? TScreenMode::InPlace : TScreenMode::Lines;
}

TBoardScreen::TBoardScreen(TScreenMode Mode, std::ostream& Out, std::ostream& Err,
                           std::vector<std::string> Ports, std::function<int()> Columns)
    : FMode(Mode), FOut(Out), FErr(Err), FColumns(std::move(Columns)) {
  FRows.resize(Ports.size());
  for (size_t Index = 0; Index < Ports.size(); ++Index) {
    FRows[Index].Port = std::move(Ports[Index]);
  }
  const std::lock_guard Lock(FGuard);
  Redraw();
}

std::string TBoardScreen::Named(int Board) const {
  return Board == 0 ? "" : "board " + std::to_string(Board) + " (" + FRows[Board - 1].Port + "): ";
}

TJsonLine TBoardScreen::EventOf(int Board, const char* Name) const {
  TJsonLine Event;
  Event.Add("event", Name).Add("board", int64_t{Board}).Add("port", FRows[Board - 1].Port);
  return Event;
}

void TBoardScreen::Status(int Board, const std::string& Text) {
  const std::lock_guard Lock(FGuard);
  FRows[Board - 1].Phase = Text;
  switch (FMode) {
    case TScreenMode::InPlace:
      FRows[Board - 1].Percent = -1;
      Redraw();
      break;
    case TScreenMode::Lines:
      WriteOut(Named(Board) + Text);
      break;
    case TScreenMode::Json:
      WriteOut(EventOf(Board, "status").Add("text", Text).Text());
      break;
    case TScreenMode::Quiet:
      break;
  }
}

void TBoardScreen::Progress(int Board, const char* Phase, int Done, int Total) {
  const std::lock_guard Lock(FGuard);
  TRow& Row = FRows[Board - 1];
  // The operations go back to the first position when a stream ends.
  if (Total <= 0 || Done <= Row.DoneShown) {
    return;
  }
  const auto Now = TClock::now();
  if (Done < Total && Row.DoneShown >= 0 && Now - Row.ProgressShown < ProgressPeriod) {
    return;
  }
  Row.DoneShown = Done;
  Row.ProgressShown = Now;
  Row.Percent = static_cast<int>(int64_t{Done} * 100 / Total);
  if (FMode == TScreenMode::InPlace) {
    Redraw();
  } else if (FMode == TScreenMode::Json) {
    WriteOut(EventOf(Board, "progress")
                 .Add("phase", Phase)
                 .Add("done", int64_t{Done})
                 .Add("total", int64_t{Total})
                 .Text());
  }
}

void TBoardScreen::ChipStarted(int Board, int ChipNo) {
  const std::lock_guard Lock(FGuard);
  TRow& Row = FRows[Board - 1];
  Row.ChipNo = ChipNo;
  Row.Percent = -1;
  Row.DoneShown = -1;
  Redraw();
}

void TBoardScreen::ChipEnded(int Board, const TChipReport& Report) {
  const std::lock_guard Lock(FGuard);
  TRow& Row = FRows[Board - 1];
  ++(Report.Result == TChipReport::TResult::Ok       ? FProgrammed
     : Report.Result == TChipReport::TResult::Failed ? FFailed
                                                     : FSkipped);
  Row.Last = ChipLine(Report);
  Row.Percent = -1;
  Row.DoneShown = -1;
  switch (FMode) {
    case TScreenMode::InPlace:
      Redraw();
      break;
    case TScreenMode::Lines:
    case TScreenMode::Quiet:
      WriteOut(Named(Board) + Row.Last);
      break;
    case TScreenMode::Json:
      WriteOut(
          ChipEvent(Report).Add("board", int64_t{Board}).Add("port", FRows[Board - 1].Port).Text());
      break;
  }
}

void TBoardScreen::AwaitingChip(int Board, bool ByEnter) {
  const std::lock_guard Lock(FGuard);
  const std::string Enter = FRows.size() == 1 ? "Enter" : std::to_string(Board) + " and Enter";
  const std::string What = ByEnter ? "insert the next chip, then type " + Enter
                                   : "remove the chip and insert the next one";
  FRows[Board - 1].Phase = What;
  FRows[Board - 1].Percent = -1;
  if (FMode == TScreenMode::InPlace) {
    Redraw();
  } else {
    WriteErr(Named(Board) + What);
  }
}

void TBoardScreen::Say(int Board, const std::string& Kind, const std::string& Text) {
  const std::lock_guard Lock(FGuard);
  if (FMode == TScreenMode::Quiet && Kind != "message") {
    return;
  }
  WriteErr(Named(Board) + (Kind.empty() ? "" : Kind + ": ") + Text);
}

void TBoardScreen::Event(int Board, const TJsonLine& Details) {
  const std::lock_guard Lock(FGuard);
  if (FMode == TScreenMode::Json) {
    TJsonLine Event = Details;
    WriteOut(Event.Add("board", int64_t{Board}).Add("port", FRows[Board - 1].Port).Text());
  }
}

void TBoardScreen::BoardEnded(int Board, const std::string& Summary, const TJsonLine& Details) {
  const std::lock_guard Lock(FGuard);
  FRows[Board - 1].Phase = "ended";
  FRows[Board - 1].Percent = -1;
  if (FMode == TScreenMode::Json) {
    WriteOut(EventOf(Board, "summary").Append(Details).Text());
    return;
  }
  if (FMode == TScreenMode::InPlace) {
    // Above the rows, where it stays once the run is over.
    Erase();
    FOut << Named(Board) << Summary << std::endl;
    Redraw();
    return;
  }
  WriteOut(Named(Board) + Summary);
}

void TBoardScreen::Close() {
  const std::lock_guard Lock(FGuard);
  Redraw();
  FClosed = true;
}

bool TBoardScreen::OutputLost() const {
  const std::lock_guard Lock(FGuard);
  return FOut.fail();
}

std::vector<std::string> TBoardScreen::Picture() const {
  const int Columns = FColumns ? FColumns() : 0;
  const int Width = Columns > 0 ? Columns : 80;
  size_t PortWidth = 0;
  for (const TRow& Row : FRows) {
    PortWidth = std::max(PortWidth, Row.Port.size());
  }
  std::vector<std::string> Lines;
  for (size_t Index = 0; Index < FRows.size(); ++Index) {
    const TRow& Row = FRows[Index];
    std::string Line =
        "board " + std::to_string(Index + 1) + "  " + Padded(Row.Port, PortWidth) + "  " +
        Padded(Row.ChipNo > 0 ? "chip " + std::to_string(Row.ChipNo) : "", 8) + "  " + Row.Phase;
    if (Row.Percent >= 0) {
      Line += " " + std::to_string(Row.Percent) + "%";
    }
    if (!Row.Last.empty()) {
      Line += "  | last: " + Row.Last;
    }
    Line.erase(Line.find_last_not_of(' ') + 1);
    Lines.push_back(Fitted(Line, Width));
  }
  Lines.push_back(Fitted("all boards: " + std::to_string(FProgrammed) + " programmed, " +
                             std::to_string(FFailed) + " failed, " + std::to_string(FSkipped) +
                             " skipped",
                         Width));
  return Lines;
}

void TBoardScreen::Redraw() {
  if (FMode != TScreenMode::InPlace || FClosed) {
    return;
  }
  std::string Text;
  if (FDrawn > 0) {
    Text += "\x1b[" + std::to_string(FDrawn) + "A";
  }
  const std::vector<std::string> Lines = Picture();
  for (const std::string& Line : Lines) {
    Text += "\r\x1b[2K" + Line + "\n";
  }
  FOut << Text << std::flush;
  FDrawn = static_cast<int>(Lines.size());
}

void TBoardScreen::Erase() {
  if (FMode != TScreenMode::InPlace || FDrawn == 0 || FClosed) {
    return;
  }
  FOut << "\x1b[" << FDrawn << "A\r\x1b[J" << std::flush;
  FDrawn = 0;
}

void TBoardScreen::WriteOut(const std::string& Line) {
  FOut << Line << std::endl;
}

void TBoardScreen::WriteErr(const std::string& Line) {
  Erase();
  FErr << Line << std::endl;
  Redraw();
}

// --- One board's row ------------------------------------------------------------

void TBoardRow::StatusChanged(TStatus Status, const std::string& Text) {
  FStatus = Status;
  const bool Changed = Text != FLastStatusText;
  FLastStatusText = Text;
  if (!Text.empty() && Changed && !FSilent) {
    FScreen.Status(FBoard, Text);
  }
}

void TBoardRow::ProgressRangeChanged(int Min, int Max) {
  FProgressMin = Min;
  FProgressMax = Max;
  FPhase = StreamPhase(FStatus);
}

void TBoardRow::ProgressMoved(int Position) {
  if (Position >= FProgressMin) {
    FScreen.Progress(FBoard, FPhase, Position - FProgressMin + 1, FProgressMax - FProgressMin + 1);
  }
}

void TBoardRow::BoardMessage(const std::string& Text) {
  FScreen.Say(FBoard, "message", Printable(Text));
}

void TBoardRow::WriteTimingMeasured(const TWriteTiming& Timing) {
  if (FSlowWriteWarned) {
    return;
  }
  if (const auto Warning = SlowWriteWarning(Timing)) {
    FSlowWriteWarned = true;
    FScreen.Say(FBoard, "warning", *Warning);
  }
}

void TBoardRow::StopNoticed(const TStopNotice& Notice) {
  if (FStopSaid) {
    return;
  }
  FStopSaid = true;
  FScreen.Say(FBoard, "", StoppingText(Notice, FOutputLost));
  FScreen.Event(FBoard, StoppingEvent(Notice, FOutputLost));
}

bool TBoardRow::StopRequested() {
  // Every board stops as for Ctrl-C.
  return StopAsked(FWatch, FScreen.OutputLost(), FOutputLost);
}

}  // namespace korvane::cli
