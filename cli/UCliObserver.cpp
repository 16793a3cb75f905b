#include "UCliObserver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "UJsonLine.h"
#include "UTerminal.h"

namespace korvane::cli {

namespace {

// The name of the stream that the status before it announces: "Writing",
// "Verify", "Reading", or the erase try that reads the chip back.
std::string StreamLabel(TStatus Status, const std::string& Text) {
  switch (Status) {
    case TStatus::stWriting:
      return "Writing";
    case TStatus::stVerifying:
    case TStatus::stVerifyLocked:
      return "Verify";
    case TStatus::stReading:
      return "Reading";
    default:
      return Text;
  }
}

}  // namespace

const char* StreamPhase(TStatus Status) {
  switch (Status) {
    case TStatus::stWriting:
      return "write";
    case TStatus::stVerifying:
      return "verify";
    case TStatus::stVerifyLocked:
      return "lock";
    case TStatus::stReading:
      return "read";
    case TStatus::stFastVerifying:
      return "checksum";
    default:
      // The 89C2051/4051's erase reads the chip back after each try.
      return "erase";
  }
}

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

std::optional<std::string> SlowWriteWarning(const TWriteTiming& Timing) {
  // Half as slow again as the wire is what an adapter's latency timer does;
  // a busy machine barely adds to it.
  constexpr double SlowFactor = 1.5;
  if (Timing.ProjectedSeconds() <= SlowFactor * Timing.WireSeconds()) {
    return std::nullopt;
  }
  char Text[256];
  std::snprintf(Text, sizeof Text,
                "each written byte takes %.1f ms where the wire needs %.1f ms, so writing %u bytes "
                "takes about %.0f s instead of %.0f s",
                Timing.CycleMs, Timing.WireCycleMs, static_cast<unsigned>(Timing.Count),
                Timing.ProjectedSeconds(), Timing.WireSeconds());
  return std::string(Text) + ". " + SlowAdapterFix();
}

long StopSeconds(const TStopNotice& Notice) {
  return std::max(1L, std::lround(std::ceil(Notice.Seconds)));
}

std::string StoppingText(const TStopNotice& Notice, bool OutputLost) {
  return std::string("Stopping") + (OutputLost ? " (the output was closed)" : "") + ": " +
         (Notice.Step == TStep::stepWrite ? "finishing the write with FF"
                                          : "reading the chip to the end") +
         ", about " + std::to_string(StopSeconds(Notice)) +
         " s; Ctrl-C again abandons the board in its stream";
}

TWorkflowOptions WorkflowOptionsOf(const TCliOptions& Options) {
  return {Options.Lock, Options.FastVerify, Options.MemorySize};
}

TCliObserver::TCliObserver(const TCliOptions& Options, std::ostream& Out, std::ostream& Err,
                           bool ErrIsTerminal, TInterruptWatch* Watch)
    : FOptions(Options),
      FOut(Out),
      FErr(Err),
      FStatusStream(&Out),
      FMeterShown(ErrIsTerminal && Options.Output == TOutputMode::Text),
      FWatch(Watch),
      FMeter(Err, StandardErrorColumns) {}

void TCliObserver::StatusChanged(TStatus Status, const std::string& Text) {
  FStatus = Status;
  // A line says what changed: the same text set twice (a lock that fails
  // inside the operation and again in the workflow) is printed once.
  const bool Changed = Text != FLastStatusText;
  FLastStatusText = Text;
  // The window clears its status line; a terminal has nothing to clear.
  if (Text.empty() || !Changed || FSilent) {
    return;
  }
  if (Json()) {
    FOut << TJsonLine().Add("event", "status").Add("text", Text).Text() << std::endl;
  } else if (FOptions.Output == TOutputMode::Text) {
    FMeter.Erase();
    *FStatusStream << Text << std::endl;
  }
}

void TCliObserver::AnnounceChip(std::ostream& Stream, const TBoardLink& Link) {
  if (Json()) {
    FOut << TJsonLine()
                .Add("event", "chip")
                .Add("port", Link.Line().Port())
                .Add("chip", ChipName(Link.TargetChip()))
                .Text()
         << std::endl;
  } else if (FOptions.Output == TOutputMode::Text) {
    Stream << Link.Line().Port() << ": " << ChipName(Link.TargetChip()) << std::endl;
  }
}

void TCliObserver::Note(const std::string& Text) {
  if (FOptions.Output != TOutputMode::Quiet) {
    FMeter.Erase();
    FErr << "note: " << Text << std::endl;
  }
}

void TCliObserver::ProgressRangeChanged(int Min, int Max) {
  FProgressMin = Min;
  FProgressMax = Max;
  FProgressEmitted = -1;
  FProgressPhase = StreamPhase(FStatus);
  if (FMeterShown) {
    FMeter.Start(Min, Max, StreamLabel(FStatus, FLastStatusText));
  }
}

void TCliObserver::ProgressMoved(int Position) {
  if (FMeterShown) {
    FMeter.Move(Position);
  }
  if (Json()) {
    EmitProgress(Position);
  }
}

void TCliObserver::EmitProgress(int Position) {
  // The operations return to the first position when a stream ends.
  if (Position <= FProgressEmitted || Position < FProgressMin) {
    return;
  }
  const auto Now = std::chrono::steady_clock::now();
  const bool Last = Position >= FProgressMax;
  if (!Last && FProgressEmitted >= 0 && Now - FProgressEmittedAt < std::chrono::milliseconds(100)) {
    return;
  }
  FProgressEmitted = Position;
  FProgressEmittedAt = Now;
  FOut << TJsonLine()
              .Add("event", "progress")
              .Add("phase", FProgressPhase)
              .Add("done", int64_t{Position - FProgressMin + 1})
              .Add("total", int64_t{FProgressMax - FProgressMin + 1})
              .Text()
       << std::endl;
}

void TCliObserver::BoardMessage(const std::string& Text) {
  // The window's message box waits for a click; here the text is reported
  // and the operation goes on, as it does once the box is closed.
  FMeter.Erase();
  if (Json()) {
    FOut << TJsonLine().Add("event", "message").Add("text", Text).Text() << std::endl;
    return;
  }
  FErr << "message: " << Printable(Text) << std::endl;
}

void TCliObserver::WriteTimingMeasured(const TWriteTiming& Timing) {
  if (FSlowWriteWarned || FOptions.Output == TOutputMode::Quiet) {
    return;
  }
  if (const auto Warning = SlowWriteWarning(Timing)) {
    FSlowWriteWarned = true;
    FMeter.Erase();
    FErr << "warning: " << *Warning << std::endl;
  }
}

bool StopAsked(TInterruptWatch* Watch, bool OutputFailed, bool& OutputLost) {
  if (Watch == nullptr) {
    return false;
  }
  // Nobody reads the output any more (a pipe's reader ended): finishing
  // the stream and stopping as for Ctrl-C keeps the board out of it.
  if (OutputFailed && !Watch->Requested()) {
    OutputLost = true;
    Watch->RecordStop();
  }
  return Watch->Requested();
}

bool TCliObserver::StopRequested() {
  return StopAsked(FWatch, FOut.fail(), FOutputLost);
}

void TCliObserver::StopNoticed(const TStopNotice& Notice) {
  if (FStopSaid) {
    return;
  }
  FStopSaid = true;
  FMeter.Erase();
  FErr << StoppingText(Notice, FOutputLost) << std::endl;
  if (Json()) {
    FOut << StoppingEvent(Notice, FOutputLost).Text() << std::endl;
  }
}

TJsonLine StoppingEvent(const TStopNotice& Notice, bool OutputLost) {
  TJsonLine Event;
  Event.Add("event", "stopping")
      .Add("step", Notice.Step == TStep::stepWrite ? "write" : "read")
      .Add("bytes_left", int64_t{Notice.BytesLeft})
      .Add("seconds", int64_t{StopSeconds(Notice)})
      .Add("output_closed", OutputLost);
  return Event;
}

}  // namespace korvane::cli
