#include "UCliCommands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>
#include <utility>

#include "UBoardScreen.h"
#include "UChipProgress.h"
#include "UCliBoard.h"
#include "UCliHints.h"
#include "UCliOptions.h"
#include "UDoctor.h"
#include "UFileHints.h"
#include "UFileInfo.h"
#include "UHexFile.h"
#include "UJsonLine.h"
#include "UOutputTarget.h"
#include "UPortList.h"
#include "UPortReport.h"
#include "UProductionRun.h"
#include "USeveralBoards.h"
#include "UTerminal.h"
#include "UText.h"
#include "UWorkflows.h"

#ifndef KORVANE_VERSION
#define KORVANE_VERSION "unknown"
#endif

namespace korvane::cli {

namespace {

// What every command runs with, and what its result says besides the exit
// code (the "result" event of --json).
struct TRun {
  const TCliOptions& Options;
  const TCliEnvironment& Environment;
  std::ostream& Out;
  std::ostream& Err;
  bool ErrIsTerminal;
  TInterruptWatch* Watch;
  std::string Status;
  std::string Error;
  TJsonLine Details;
  // The closing event of --json: "result", or "summary" for a production run.
  const char* FinalEvent = "result";
  // The file that a file error is about ("" when none is in hand), and the
  // chip found, for what an error says about them.
  std::string FileInHand{};
  std::string ChipFound{};
  // Where a lost board left the chip, said after the port's error.
  std::string LostBoardText{};

  bool Json() const { return Options.Output == TOutputMode::Json; }
  bool Quiet() const { return Options.Output == TOutputMode::Quiet; }
  // An error: on Err as "error: <Text>", and in the result.
  void Fail(const std::string& Text) {
    Error = Text;
    Err << "error: " << Text << std::endl;
  }
};

// The ports to scan: --port alone, or else KORVANE_PORTS's names, or else
// the machine's.
TPortListSource ScanList(const TCliOptions& Options, const TCliEnvironment& Environment) {
  if (!Options.Ports.empty()) {
    return FixedPortList({Options.Ports.front()});
  }
  return PortListFromSetting(Environment.Ports ? Environment.Ports->c_str() : nullptr);
}

// Said after "no serial ports" when the list was chosen and chosen empty.
const char* EmptyChoiceNote(const TCliEnvironment& Environment) {
  return Environment.Ports ? " (KORVANE_PORTS is empty)" : "";
}

// Why the scan found nothing, with what the user can do about it.
void ReportNoBoard(TCliBoard& Board, TRun& Run) {
  const std::vector<std::string>& Ports = Board.Link.PortList();
  if (Board.Link.BannerSeen()) {
    Run.Fail("a programmer board answered on " + Board.Link.Line().Port() +
             ", but the chip in its socket was not recognised");
    return;
  }
  if (Ports.empty()) {
    Run.Fail(std::string("no serial ports to scan") + EmptyChoiceNote(Run.Environment));
    return;
  }
  if (!Board.Link.StuckPort().empty()) {
    const TStuckBoard Stuck = StuckBoardText(Board.Link.StuckPort());
    Run.Fail(Stuck.Problem + "; fix: " + Stuck.Fix);
    Board.Link.ComPort().Close();
    return;
  }
  Run.Fail("no programmer board found on " + Joined(Ports, ", "));
  // The scan left the last port open, and ports are opened exclusively.
  Board.Link.ComPort().Close();
  ReportPortAccess(Ports, Run.Err);
  if (!Run.Options.Ports.empty()) {
    if (const auto Hint = PortNamedLikeAChip(Run.Options.Ports.front())) {
      Run.Err << *Hint << std::endl;
    }
  }
}

bool IsProductionRun(const TCliOptions& Options) {
  return Options.Command == TCliCommand::cmdProgram &&
         (Options.Repeat || Options.Serial || Options.LogPath);
}

// Whether the production run drives several boards at once.
bool SeveralBoards(const TCliOptions& Options) {
  return Options.Ports.size() > 1 || Options.AllBoards;
}

// A production run whose board has no chip in its socket yet waits for
// the first one, as it waits for every later one. Whose names the board
// among several ("" for the only one).
void AwaitFirstChip(TCliBoard& Board, TRun& Run, const std::string& Whose) {
  Run.Err << "No chip in the socket" << Whose << ": insert the first one (Ctrl-C ends)"
          << std::endl;
  Board.View.SetSilent(true);
  while (Board.Link.TargetChip() == chipNone && Board.Link.BannerSeen()) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    Board.Link.DetectProgrammer();
  }
  Board.View.SetSilent(false);
}

// The closing line a run stopped during the scan owes its reader: --json's
// last event, --repeat's summary; ready before the scan, whose stop ends the
// process at once.
std::string ClosingWordsOfScan(const TRun& Run) {
  const bool Summary = IsProductionRun(Run.Options) && Run.Options.Repeat;
  if (!Run.Json()) {
    return Summary ? "0 programmed, 0 failed, 0 skipped\n" : "";
  }
  TJsonLine Result;
  Result.Add("event", Summary ? "summary" : "result")
      .Add("command", Run.Options.CommandName)
      .Add("exit", int64_t{exitInterrupted})
      .Add("interrupted", true)
      .Add("chip_state", "stopped while the board was looked for; nothing was sent to a chip");
  if (Summary) {
    Result.Add("programmed", int64_t{0}).Add("failed", int64_t{0}).Add("skipped", int64_t{0});
  }
  return Result.Text() + "\n";
}

// One discovery pass on Board's ports; a production run then waits for the
// chip of a board that answered with an empty socket. Whose as for
// AwaitFirstChip.
void Seek(TCliBoard& Board, TRun& Run, const std::string& Whose) {
  TInterruptWatch::TGuardScope Guard(Run.Watch, Board.Link.ComPort(), false);
  const std::string Closing = ClosingWordsOfScan(Run);
  const TInterruptWatch::TWordsScope Words(Run.Watch, Closing.c_str());
  Board.Link.ComPort().SetSysfsRoot(Run.Environment.SysfsRoot.value_or("/sys"));
  Board.Link.ComPort().SetStateDir(Run.Environment.StateDir);
  Board.Link.DetectProgrammer();
  if (Board.Link.TargetChip() == chipNone && Board.Link.BannerSeen() && Run.Options.Repeat) {
    AwaitFirstChip(Board, Run, Whose);
  }
}

// One discovery pass, reported on Err (or as events). True when a chip was
// identified; its port and name then go into the result.
bool Discover(TCliBoard& Board, TRun& Run) {
  Board.View.ReportStatusOn(Run.Err);
  Seek(Board, Run, "");
  if (Board.Link.TargetChip() == chipNone) {
    Run.Status = Board.View.LastStatusText();
    ReportNoBoard(Board, Run);
    return false;
  }
  Run.Status = Board.View.LastStatusText();
  Run.ChipFound = ChipName(Board.Link.TargetChip());
  Run.Details.Add("port", Board.Link.Line().Port()).Add("chip", Run.ChipFound);
  return true;
}

// What the window would not offer for this chip, said rather than ignored quietly.
void NoteUnusedOptions(const TCliOptions& Options, TCliBoard& Board) {
  const uint8_t Chip = Board.Link.TargetChip();
  if (Options.MemorySizeGiven && !ChipSizeIsChosen(Chip)) {
    Board.View.Note("--mem applies to the 89C2051/4051 only; the " +
                    ChipName(Board.Link.TargetChip()) + " has " +
                    std::to_string(Board.Link.ChipImage().Size()) + " bytes");
  }
  if (Options.FastVerify && !ChipHasFastVerify(Chip)) {
    Board.View.Note("the 89C2051/4051 has no fast verify; it is verified by reading back");
  }
}

// The 89C2051/4051's size is the user's choice, which a read, a blank check
// or a verification goes by: say which it was.
void NoteMemoryChoice(const TCliOptions& Options, TCliBoard& Board) {
  const bool ReadsBack = Options.Command == TCliCommand::cmdRead ||
                         Options.Command == TCliCommand::cmdBlank ||
                         Options.Command == TCliCommand::cmdVerify;
  if (ReadsBack && Board.Link.TargetChip() == chip89C2051) {
    Board.View.Note(MemoryChoiceNote(Options.MemorySize, Options.MemorySizeGiven));
  }
}

// A USB adapter whose latency timer could not be lowered: every written byte
// then waits for it.
void NoteLatencyTimer(TCliBoard& Board, const std::string& StateDir) {
  const TAdapterLatency& Latency = Board.Link.ComPort().AdapterLatency();
  if (Latency.LeftLow) {
    Board.View.Note(
        "the USB adapter's latency timer was left at 1 ms by a korvane-cli run that "
        "was ended before it could put back the " +
        std::to_string(Latency.LeftBefore) + " ms it found; see 'korvane-cli doctor'");
  }
  if (Latency.Unnoted) {
    Board.View.Note("the USB adapter's latency timer stays at " + std::to_string(Latency.Before) +
                    " ms, so writing is slow: there is no folder to note the 1 ms in (" +
                    (StateDir.empty() ? std::string("XDG_RUNTIME_DIR, XDG_CACHE_HOME and HOME "
                                                    "are unset")
                                      : StateDir + " cannot be written") +
                    "), and a run ended by SIGKILL would leave it lowered unknown; set "
                    "XDG_RUNTIME_DIR to a folder of yours");
  }
  if (Latency.WriteError == 0) {
    return;
  }
  Board.View.Note("the USB adapter's latency timer is " + std::to_string(Latency.Before) +
                  " ms and could not be set to 1 (" + std::strerror(Latency.WriteError) +
                  "), so writing is slow; fix: install the udev rule 60-korvane.rules (see "
                  "'korvane-cli doctor'), or run: echo 1 | sudo tee " +
                  Latency.Attribute);
}

int RunPorts(TRun& Run) {
  std::vector<std::string> Ports;
  PortListFromSetting(Run.Environment.Ports ? Run.Environment.Ports->c_str() : nullptr)(Ports);
  if (Ports.empty()) {
    Run.Err << "no serial ports" << EmptyChoiceNote(Run.Environment) << std::endl;
    return exitSuccess;
  }
  ReportPortAccess(Ports, Run.Out);
  return exitSuccess;
}

int RunDetect(TRun& Run) {
  TCliBoard Board(Run.Options, ScanList(Run.Options, Run.Environment), Run.Out, Run.Err, false);
  if (!Discover(Board, Run)) {
    return exitNoBoard;
  }
  if (Run.Json()) {
    Board.View.AnnounceChip(Run.Out, Board.Link);
  } else {
    // The one line of detect is its result, -q or not.
    Run.Out << Board.Link.Line().Port() << ": " << ChipName(Board.Link.TargetChip()) << std::endl;
  }
  return exitSuccess;
}

// The file of program and verify, loaded and checked as the workflow loads
// it, before any port is opened: a file that cannot be used must cost no
// board scan and leave no chip erased. The workflow takes this image, so the
// file is read once; the chip's own size is applied once it is known.
THexFile LoadInputImage(const TCliOptions& Options) {
  THexFile Image;
  Image.SetSize(LargestChipMemorySize());
  LoadProgramFile(Image, Options.FileName, Options.Format);
  if (Options.Lock) {
    CheckLockable(Image);
  }
  return Image;
}

// How a production run ended, as its exit status: a file error first, then
// the user's stop, a board lost, a chip failed. PortFailed: the one chip of a
// run without --repeat lost its port.
int ProductionExit(const TProductionSummary& Summary, bool PortFailed) {
  if (!Summary.FileError.empty()) {
    return exitFileError;
  }
  if (PortFailed) {
    return exitPortError;
  }
  // A board lost says more than the stop that ended the others' runs.
  if (Summary.BoardGone) {
    return exitNoBoard;
  }
  if (Summary.Interrupted) {
    return exitInterrupted;
  }
  return Summary.Failed == 0 ? exitSuccess : exitOperationFailed;
}

// The serial numbers given back that no later chip took: gaps in the
// numbering, said so.
void NoteSpareNumbers(const TProductionFiles& Files, const TRun& Run) {
  if (!Files.Serial || Files.Serial->Spare().empty()) {
    return;
  }
  Run.Err << "note: serial numbers given back and not used again, left unused: "
          << Joined(Files.Serial->Spare(), ", ") << std::endl;
}

// A production run from its first chip to its summary.
int RunProductionOnBoard(TProductionFiles& Files, TCliBoard& Board, TRun& Run) {
  TProductionSummary Summary;
  // The log's and the serial file's errors name their own files.
  Run.FileInHand.clear();
  {
    TInterruptWatch::TGuardScope Guard(Run.Watch, Board.Link.ComPort(), true);
    TConsoleProductionView View(Run.Options, Board.View, Run.Out, Run.Err);
    TEnterLines Enter(1, {});
    Summary = RunProduction(Run.Options, Files, {Board.Link, View, Enter}, Run.Watch);
  }
  Run.Status = Board.View.LastStatusText();
  if (Summary.Interrupted) {
    Board.Link.ComPort().Close();
    const std::string Where = StopPlace(Summary, Board.Link, Run.Options.Lock);
    Run.Err << "Interrupted: " << Where << std::endl;
    Run.Details.Add("interrupted", true).Add("chip_state", Where);
  }
  const bool PortFailed = !Summary.PortError.empty() && !Run.Options.Repeat && !Summary.Abandoned;
  if (PortFailed) {
    // One chip, as program without a log: the port's own words.
    Run.Fail(Summary.PortError);
  } else if (Summary.BoardGone) {
    Run.Fail("the programmer board is gone from " + Board.Link.Line().Port());
  }
  if (!Summary.FileError.empty()) {
    Run.Fail(Summary.FileError);
  }
  NoteSpareNumbers(Files, Run);
  Run.FinalEvent = Run.Options.Repeat ? "summary" : "result";
  Run.Details.Append(CountsOf(Summary));
  if (!Run.Json() && Run.Options.Repeat) {
    Run.Out << CountsText(Summary) << std::endl;
  }
  return ProductionExit(Summary, PortFailed);
}

// The ports a run on several boards tries: each --port, or with
// --all-boards every port of the scan list.
std::vector<std::string> PortsToTry(const TRun& Run) {
  if (!Run.Options.AllBoards) {
    return Run.Options.Ports;
  }
  std::vector<std::string> Ports;
  ScanList(Run.Options, Run.Environment)(Ports);
  return Ports;
}

// The boards of a run on several boards, numbered in the order they
// answered, each with a chip in its socket; raises nothing and returns an
// exit status other than exitSuccess when the run cannot start: a --port
// without a board, no board at all, or a board with another chip kind than
// board 1's.
int FindBoards(TRun& Run, std::vector<std::unique_ptr<TCliBoard>>& Boards) {
  const std::vector<std::string> Ports = PortsToTry(Run);
  for (const std::string& Port : Ports) {
    if (Boards.size() == MostBoards) {
      Run.Err << "note: a run takes at most " << MostBoards << " boards; " << Port
              << " and the ports after it are not tried" << std::endl;
      break;
    }
    auto Board = std::make_unique<TCliBoard>(Run.Options, FixedPortList({Port}), Run.Out, Run.Err,
                                             false, Run.Watch);
    Board->View.SetSilent(true);
    const std::string Number = std::to_string(Boards.size() + 1);
    Seek(*Board, Run, " of board " + Number + " (" + Port + ")");
    if (Board->Link.TargetChip() == chipNone) {
      if (Run.Options.AllBoards && !Board->Link.BannerSeen()) {
        // Another device, or a port that cannot be opened: not a board.
        Board->Link.ComPort().Close();
        continue;
      }
      ReportNoBoard(*Board, Run);
      return exitNoBoard;
    }
    Board->View.SetSilent(false);
    if (Run.Json()) {
      Run.Out << TJsonLine()
                     .Add("event", "chip")
                     .Add("board", int64_t{static_cast<int64_t>(Boards.size() + 1)})
                     .Add("port", Port)
                     .Add("chip", ChipName(Board->Link.TargetChip()))
                     .Text()
              << std::endl;
    } else if (!Run.Quiet()) {
      Run.Err << "board " << Number << ": " << Port << ": " << ChipName(Board->Link.TargetChip())
              << std::endl;
    }
    Boards.push_back(std::move(Board));
  }
  if (Boards.empty()) {
    Run.Fail(Ports.empty()
                 ? std::string("no serial ports to scan") + EmptyChoiceNote(Run.Environment)
                 : "no programmer board found on " + Joined(Ports, ", "));
    ReportPortAccess(Ports, Run.Err);
    return exitNoBoard;
  }
  const TBoardLink& First = Boards.front()->Link;
  for (size_t Index = 1; Index < Boards.size(); ++Index) {
    const TBoardLink& Link = Boards[Index]->Link;
    if (Link.TargetChip() != First.TargetChip()) {
      Run.Fail("board " + std::to_string(Index + 1) + " on " + Link.Line().Port() + " holds an " +
               ChipName(Link.TargetChip()) + ", board 1 on " + First.Line().Port() + " an " +
               ChipName(First.TargetChip()) + ": a run programs one kind of chip");
      return exitNoBoard;
    }
  }
  return exitSuccess;
}

// The run of several boards, from its summaries to its exit status.
int ConcludeSeveralBoards(const std::vector<TProductionSummary>& Boards,
                          const std::vector<std::unique_ptr<TCliBoard>>& Found,
                          const TProductionFiles& Files, TRun& Run) {
  const TProductionSummary Total = TotalOf(Boards);
  NoteSpareNumbers(Files, Run);
  for (size_t Index = 0; Index < Boards.size(); ++Index) {
    if (Boards[Index].BoardGone) {
      Run.Fail("the programmer board is gone from " + Found[Index]->Link.Line().Port() +
               " (board " + std::to_string(Index + 1) + ")");
    }
  }
  if (!Total.FileError.empty()) {
    Run.Fail(Total.FileError);
  }
  if (Total.Interrupted) {
    Run.Err << "Interrupted: each board's line above says where it left its chip" << std::endl;
    Run.Details.Add("interrupted", true);
  }
  Run.FinalEvent = "summary";
  Run.Details.Add("boards", int64_t{static_cast<int64_t>(Boards.size())}).Append(CountsOf(Total));
  // The rows drawn in place end with the totals already.
  const TScreenMode Mode = ScreenModeOf(Run.Options, Run.Environment.OutTakesCursorMoves);
  if (Mode != TScreenMode::Json && Mode != TScreenMode::InPlace) {
    Run.Out << "all boards: " << CountsText(Total) << std::endl;
  }
  return ProductionExit(Total, false);
}

// Where a workflow that the user stopped left the chip and the file.
std::string InterruptionText(const TCliOptions& Options, const TCliBoard& Board) {
  switch (Options.Command) {
    case TCliCommand::cmdProgram:
      return ChipProgressText(Board.Link.ChipProgress(), Options.Lock);
    case TCliCommand::cmdRead:
      return "nothing was saved";
    case TCliCommand::cmdErase:
      // Tries after the first come only when one did not complete.
      return Board.Link.ChipProgress().EraseStarted ? "the erase did not finish"
                                                    : "nothing was erased";
    default:
      return "nothing was written; the check did not finish";
  }
}

// Input is the file of program and verify, loaded already.
TWorkflowResult RunWorkflowOf(TBoardLink& Link, const TCliOptions& Options, const THexFile& Input) {
  const TWorkflowOptions Chosen = WorkflowOptionsOf(Options);
  switch (Options.Command) {
    case TCliCommand::cmdProgram:
      return ProgramChip(Link, {Chosen, Input});
    case TCliCommand::cmdRead:
      return ReadToFile(Link, Chosen, Options.FileName, Options.Format);
    case TCliCommand::cmdVerify:
      return VerifyImage(Link, {Chosen, Input});
    case TCliCommand::cmdErase:
      return EraseOnly(Link, Chosen);
    default:
      return BlankCheck(Link, Chosen);
  }
}

// Where a read-back verification found the chip differing from the file.
void ReportDifference(const TDifference& Difference, TRun& Run) {
  char Line[96];
  std::snprintf(Line, sizeof Line,
                "first difference at 0x%04X: file %02X, chip %02X (%u bytes differ)",
                Difference.Address, Difference.FileByte, Difference.ChipByte,
                static_cast<unsigned>(Difference.Count));
  Run.Err << Line << std::endl;
  Run.Details.Add("first_difference", TJsonLine()
                                          .Add("address", int64_t{Difference.Address})
                                          .Add("file", int64_t{Difference.FileByte})
                                          .Add("chip", int64_t{Difference.ChipByte})
                                          .Add("count", int64_t{Difference.Count}));
}

// The blank check's result line: "blank", or where the chip is used.
std::string BlankLine(const TBlankCheck& Blank) {
  if (!Blank.FirstUsed) {
    return "blank";
  }
  char Line[80];
  std::snprintf(Line, sizeof Line, "not blank: first used byte at 0x%04X, %u bytes not FF",
                *Blank.FirstUsed, static_cast<unsigned>(Blank.UsedBytes));
  return Line;
}

// The bytes of the file that verify compares: up to its last used one, or
// the whole chip for a file of nothing but FF (as VerifyFile counts).
uint32_t VerifiedCount(const TCliBoard& Board) {
  const std::optional<uint16_t> Last = TBoardLink::LastUsedAddress(Board.Link.SourceImage());
  return Last ? *Last + 1u : Board.Link.SourceImage().Size();
}

// What a program, verify or read that succeeded did, for its summary line.
std::optional<TRunSummary> SummaryOf(const TCliBoard& Board, const TCliOptions& Options,
                                     double Seconds) {
  TRunSummary Summary{{}, 0, Seconds, Options.FileName, std::nullopt, false};
  switch (Options.Command) {
    case TCliCommand::cmdProgram: {
      const TChipProgress& Progress = Board.Link.ChipProgress();
      Summary.Done = Progress.Locked ? "written, verified and locked" : "written and verified";
      Summary.Bytes = Progress.Count;
      Summary.EraseOnly = Progress.Count == 0;
      if (Progress.Count > 0) {
        Summary.Checksum = static_cast<uint16_t>(
            -TBoardLink::ImageSum(Board.Link.SourceImage(), static_cast<uint16_t>(Progress.Count)));
      }
      return Summary;
    }
    case TCliCommand::cmdVerify:
      Summary.Done = "verified";
      Summary.Bytes = VerifiedCount(Board);
      return Summary;
    case TCliCommand::cmdRead:
      Summary.Done = "read";
      Summary.Bytes = Board.Link.ChipImage().Size();
      return Summary;
    default:
      return std::nullopt;
  }
}

// The summary line after "Complete!", and its figures in the result event.
void ReportSummary(const TRunSummary& Summary, TRun& Run) {
  Run.Details.Add("bytes", int64_t{Summary.Bytes}).AddDecimal("seconds", Summary.Seconds, 1);
  if (Summary.Checksum) {
    Run.Details.Add("checksum", int64_t{*Summary.Checksum});
  }
  if (!Run.Json() && !Run.Quiet()) {
    Run.Out << SummaryLine(Summary) << std::endl;
  }
}

// A chip that reads back as nothing but FF may be locked rather than blank:
// said where a read, a blank check or a failed verification saw only FF.
void NoteAllFF(TCliBoard& Board, const TRun& Run) {
  const TOutcome& Outcome = Board.Link.LastOutcome();
  const THexFile& Chip = Board.Link.ChipImage();
  bool AllFF = false;
  switch (Run.Options.Command) {
    case TCliCommand::cmdRead:
      AllFF = Outcome.Succeeded && ReadsAllFF(Chip, Chip.Size());
      break;
    case TCliCommand::cmdBlank:
      AllFF = Outcome.Succeeded;
      break;
    case TCliCommand::cmdVerify:
      AllFF = Board.Link.LastDifference() && ReadsAllFF(Chip, VerifiedCount(Board));
      break;
    default:
      break;
  }
  if (AllFF) {
    Board.View.Note(BlankOrLockedNote());
  }
}

// The end of a board command that ran to its end: the lines that explain a
// failure, the result line, the summary, the exit code.
int Conclude(TCliBoard& Board, const TWorkflowResult& Result, TRun& Run, double Seconds) {
  const TOutcome& Outcome = Result.Outcome;
  if (const auto& Difference = Result.Difference) {
    ReportDifference(*Difference, Run);
  }
  NoteAllFF(Board, Run);
  std::string ResultLine = Run.Status;
  if (Outcome.Step == TStep::stepBlankCheck) {
    const TBlankCheck& Blank = Result.Blank;
    ResultLine = BlankLine(Blank);
    Run.Details.Add("blank", !Blank.FirstUsed);
    if (Blank.FirstUsed) {
      Run.Details.Add("first_used", int64_t{*Blank.FirstUsed})
          .Add("used_bytes", int64_t{Blank.UsedBytes});
    }
    if (!Run.Json()) {
      Run.Out << ResultLine << std::endl;
    }
  } else if (Run.Quiet()) {
    Run.Out << ResultLine << std::endl;
  }
  if (Outcome.Succeeded) {
    if (const auto Summary = SummaryOf(Board, Run.Options, Seconds)) {
      ReportSummary(*Summary, Run);
    }
  }
  return Outcome.Succeeded ? exitSuccess : exitOperationFailed;
}

// The command on the board found: the notes it owes, then the production
// run (Production) or the workflow, and the result.
int RunFoundBoard(TCliBoard& Board, TRun& Run, TProductionFiles* Production,
                  const THexFile& Input) {
  const TCliOptions& Options = Run.Options;
  Board.View.AnnounceChip(Run.Err, Board.Link);
  NoteUnusedOptions(Options, Board);
  NoteMemoryChoice(Options, Board);
  NoteLatencyTimer(Board, Run.Environment.StateDir);

  Board.View.ReportStatusOn(Run.Out);
  if (Production != nullptr) {
    return RunProductionOnBoard(*Production, Board, Run);
  }
  const auto Started = std::chrono::steady_clock::now();
  TWorkflowResult Result;
  try {
    TInterruptWatch::TGuardScope Guard(Run.Watch, Board.Link.ComPort(), true);
    Result = RunWorkflowOf(Board.Link, Options, Input);
  } catch (const EComPort&) {
    Run.Status = Board.View.LastStatusText();
    if (Options.Command == TCliCommand::cmdProgram) {
      Run.LostBoardText = LostBoardAdvice(Board.Link.ChipProgress(), "run the command again");
    }
    throw;
  }
  const std::chrono::duration<double> Seconds = std::chrono::steady_clock::now() - Started;
  Run.Status = Board.View.LastStatusText();
  if (Result.Outcome.Interrupted) {
    // The board is back at its prompt; give the port back before saying so.
    Board.Link.ComPort().Close();
    const std::string Where = InterruptionText(Options, Board);
    Run.Err << "Interrupted: " << Where << std::endl;
    Run.Details.Add("interrupted", true).Add("chip_state", Where);
    return exitInterrupted;
  }
  if (Run.Watch != nullptr && Run.Watch->Requested()) {
    // The last step had begun, and a step is never left half done: its
    // result stands, whichever it is.
    Run.Err << "Not interrupted: the stop came during the last step, which finished" << std::endl;
  }
  return Conclude(Board, Result, Run, Seconds.count());
}

// program --repeat on several boards: found one after the other, then each
// programming from a thread of its own.
int RunProductionOnBoards(TProductionFiles& Files, TRun& Run) {
  std::vector<std::unique_ptr<TCliBoard>> Boards;
  if (const int Code = FindBoards(Run, Boards); Code != exitSuccess) {
    return Code;
  }
  TCliBoard& First = *Boards.front();
  Run.ChipFound = ChipName(First.Link.TargetChip());
  if (Boards.size() == 1) {
    // --all-boards found one: a one-board run.
    Run.Details.Add("port", First.Link.Line().Port()).Add("chip", Run.ChipFound);
    return RunFoundBoard(First, Run, &Files, {});
  }
  NoteUnusedOptions(Run.Options, First);
  std::vector<TBoardLink*> Links;
  std::vector<std::string> Ports;
  for (const auto& Board : Boards) {
    NoteLatencyTimer(*Board, Run.Environment.StateDir);
    Links.push_back(&Board->Link);
    Ports.push_back(Board->Link.Line().Port());
  }
  Run.Details.Add("chip", Run.ChipFound);
  // The log's and the serial file's errors name their own files.
  Run.FileInHand.clear();
  TBoardScreen Screen(ScreenModeOf(Run.Options, Run.Environment.OutTakesCursorMoves), Run.Out,
                      Run.Err, Ports, StandardOutputColumns);
  const std::vector<TProductionSummary> Summaries =
      RunOnSeveralBoards(Run.Options, Files, Links, Screen, Run.Watch);
  return ConcludeSeveralBoards(Summaries, Boards, Files, Run);
}

// program, read, verify, erase and blank: the file checked, the board found,
// the workflow run with stops deferred, and the result.
int RunOnBoard(TRun& Run) {
  const TCliOptions& Options = Run.Options;
  std::optional<TProductionFiles> Production;
  THexFile Input;
  if (IsProductionRun(Options)) {
    PrepareProduction(Options, Production.emplace());
    // The serial file's and the log's errors name their own files.
    Run.FileInHand.clear();
    OpenProductionRecords(Options, *Production);
    Run.FileInHand = Options.FileName;
  } else if (Options.Command == TCliCommand::cmdProgram ||
             Options.Command == TCliCommand::cmdVerify) {
    Input = LoadInputImage(Options);
  }
  if (Options.Command == TCliCommand::cmdRead) {
    CheckOutputTarget(Options.FileName);
  }
  if (Production && SeveralBoards(Options)) {
    return RunProductionOnBoards(*Production, Run);
  }
  TCliBoard Board(Options, ScanList(Options, Run.Environment), Run.Out, Run.Err, Run.ErrIsTerminal,
                  Run.Watch);
  if (!Discover(Board, Run)) {
    return exitNoBoard;
  }
  return RunFoundBoard(Board, Run, Production ? &*Production : nullptr, Input);
}

int RunCheck(TRun& Run) {
  // The loader and the count are those of the programming workflow.
  THexFile Image;
  Image.SetSize(Run.Options.ImageSize);
  LoadProgramFile(Image, Run.Options.FileName, Run.Options.Format);
  const std::optional<uint16_t> Last = TBoardLink::LastUsedAddress(Image);
  Run.Out << (Last ? *Last + 1 : 0) << std::endl;
  return exitSuccess;
}

int RunDoctorCommand(TRun& Run) {
  const TDoctorResult Result = RunDoctor(
      Run.Options, ScanList(Run.Options, Run.Environment),
      {Run.Environment.SysfsRoot.value_or("/sys"), Run.Environment.StateDir}, Run.Out, Run.Watch);
  if (Result.Interrupted) {
    Run.Err << "Interrupted: the check-up did not finish" << std::endl;
    return exitInterrupted;
  }
  return Result.Problems == 0 ? exitSuccess : exitOperationFailed;
}

int RunCommand(TRun& Run) {
  Run.FileInHand = Run.Options.FileName;
  switch (Run.Options.Command) {
    case TCliCommand::cmdPorts:
      return RunPorts(Run);
    case TCliCommand::cmdDetect:
      return RunDetect(Run);
    case TCliCommand::cmdProgram:
    case TCliCommand::cmdRead:
    case TCliCommand::cmdVerify:
    case TCliCommand::cmdErase:
    case TCliCommand::cmdBlank:
      return RunOnBoard(Run);
    case TCliCommand::cmdCheck:
      return RunCheck(Run);
    case TCliCommand::cmdInfo:
      PrintFileInfo(Run.Options, Run.Out);
      return exitSuccess;
    case TCliCommand::cmdDoctor:
      return RunDoctorCommand(Run);
    case TCliCommand::cmdNone:
      break;
  }
  return exitUsage;
}

// A file error as the user reads it: "fw.hex: Checksum error at line:3".
std::string FileError(const TRun& Run, const std::string& Message) {
  return Run.FileInHand.empty() ? Message : Run.FileInHand + ": " + Message;
}

// What the image of a refused file stood for: the chip found, the size
// that check and info were given, or before the scan the largest chip.
std::string ImageHolder(const TRun& Run) {
  if (!Run.ChipFound.empty()) {
    return "the " + Run.ChipFound;
  }
  if (Run.Options.Command == TCliCommand::cmdCheck || Run.Options.Command == TCliCommand::cmdInfo) {
    return "the image of --chip or --size";
  }
  for (const TChipKind& Kind : ChipKinds()) {
    if (Kind.MemorySize == LargestChipMemorySize()) {
      return "the largest chip (" + std::string(Kind.Name) + ")";
    }
  }
  return "the largest chip";
}

// The command run, its exceptions turned into exit codes.
int RunGuarded(TRun& Run) {
  try {
    return RunCommand(Run);
  } catch (const EHexFile& Error) {
    Run.Fail(FileError(Run, Error.what()));
    for (const std::string& Hint :
         HexFaultHints(Error, Run.FileInHand, Run.Options.Format, ImageHolder(Run))) {
      Run.Err << "hint: " << Hint << std::endl;
    }
    if (FitsTheLargerChoice(Error, Run.FileInHand, Run.Options.Format)) {
      Run.Err << "hint: for an 89C4051 (4 KB), add --mem 4KB" << std::endl;
    }
    return exitFileError;
  } catch (const EInOutError& Error) {
    Run.Fail(FileError(Run, Error.what()));
    return exitFileError;
  } catch (const EComPort& Error) {
    Run.Fail(Error.what());
    if (!Run.LostBoardText.empty()) {
      Run.Err << Run.LostBoardText << std::endl;
      Run.Details.Add("chip_state", Run.LostBoardText);
    }
    return exitPortError;
  } catch (const std::exception& Error) {
    Run.Fail(Error.what());
    return exitOperationFailed;
  }
}

}  // namespace

int RunCli(const std::vector<std::string>& Args, const TCliEnvironment& Environment,
           std::ostream& Out, std::ostream& Err, bool ErrIsTerminal, TInterruptWatch* Watch) {
  TCliOptions Options;
  try {
    Options = ParseCommandLine(Args);
  } catch (const ECliUsage& Error) {
    Err << "error: " << Error.what() << "\nTry 'korvane-cli --help'." << std::endl;
    // A reader of --json gets its result even for a command line refused.
    if (std::find(Args.begin(), Args.end(), "--json") != Args.end()) {
      Out << TJsonLine()
                 .Add("event", "result")
                 .Add("exit", int64_t{exitUsage})
                 .Add("error", Error.what())
                 .Text()
          << std::endl;
    }
    return exitUsage;
  }
  if (Options.Help) {
    Out << (Options.HelpTopic.empty() ? UsageText() : CommandUsageText(Options.HelpTopic))
        << std::flush;
    return exitSuccess;
  }
  if (Options.Version) {
    Out << "korvane-cli " << KORVANE_VERSION << std::endl;
    return exitSuccess;
  }
  TRun Run{Options, Environment, Out, Err, ErrIsTerminal, Watch, {}, {}, {}};
  const int Code = RunGuarded(Run);
  if (Run.Json()) {
    TJsonLine Result;
    Result.Add("event", Run.FinalEvent)
        .Add("command", Options.CommandName)
        .Add("exit", int64_t{Code});
    // No status text when the command ended before it set any (a file refused).
    if (!Run.Status.empty()) {
      Result.Add("status", Run.Status);
    }
    Result.Append(Run.Details);
    if (!Run.Error.empty()) {
      Result.Add("error", Run.Error);
    }
    Out << Result.Text() << std::endl;
  }
  return Code;
}

}  // namespace korvane::cli
