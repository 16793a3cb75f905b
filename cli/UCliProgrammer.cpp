#include "UCliProgrammer.h"

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

TCliProgrammer::TCliProgrammer(const TCliOptions& Options, TPortListSource Ports, std::ostream& Out,
                               std::ostream& Err, bool ErrIsTerminal, const TInterruptWatch* Watch)
    : TProgrammer(std::move(Ports)),
      FOptions(Options),
      FOut(Out),
      FErr(Err),
      FStatusStream(&Out),
      FMeterShown(ErrIsTerminal && Options.Output == TOutputMode::Text),
      FWatch(Watch),
      FMeter(Err) {
  // The images of a kind whose size is chosen follow --mem.
  ApplyMemorySizeChoice(Options.MemorySize);
}

void TCliProgrammer::SetStatus(const std::string& Text) {
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

void TCliProgrammer::AnnounceChip(std::ostream& Stream) {
  if (Json()) {
    FOut << TJsonLine()
                .Add("event", "chip")
                .Add("port", Port().Port())
                .Add("chip", ChipName(FTargetChip))
                .Text()
         << std::endl;
  } else if (FOptions.Output == TOutputMode::Text) {
    Stream << Port().Port() << ": " << ChipName(FTargetChip) << std::endl;
  }
}

void TCliProgrammer::Note(const std::string& Text) {
  if (FOptions.Output != TOutputMode::Quiet) {
    FMeter.Erase();
    FErr << "note: " << Text << std::endl;
  }
}

void TCliProgrammer::SetProgressRange(int Min, int Max) {
  FProgressMin = Min;
  FProgressMax = Max;
  FProgressEmitted = -1;
  if (FMeterShown) {
    FMeter.Start(Min, Max, StreamLabel(CurrentStatus(), FLastStatusText));
  }
}

void TCliProgrammer::SetProgressPosition(int Position) {
  if (FMeterShown) {
    FMeter.Move(Position);
  }
  if (Json()) {
    EmitProgress(Position);
  }
}

void TCliProgrammer::EmitProgress(int Position) {
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
              .Add("done", int64_t{Position - FProgressMin + 1})
              .Add("total", int64_t{FProgressMax - FProgressMin + 1})
              .Text()
       << std::endl;
}

void TCliProgrammer::ShowMessage(const std::string& Text) {
  // The window's message box waits for a click; here the text is reported
  // and the operation goes on, as it does once the box is closed.
  FMeter.Erase();
  if (Json()) {
    FOut << TJsonLine().Add("event", "message").Add("text", Text).Text() << std::endl;
    return;
  }
  FErr << "message: " << Printable(Text) << std::endl;
}

void TCliProgrammer::WriteTimingMeasured(const TWriteTiming& Timing) {
  // Half as slow again as the wire is what an adapter's latency timer does;
  // a busy machine barely adds to it.
  constexpr double SlowFactor = 1.5;
  if (FSlowWriteWarned || Timing.ProjectedSeconds() <= SlowFactor * Timing.WireSeconds() ||
      FOptions.Output == TOutputMode::Quiet) {
    return;
  }
  FSlowWriteWarned = true;
  char Text[256];
  std::snprintf(Text, sizeof Text,
                "each written byte takes %.1f ms where the wire needs %.1f ms, so writing %u bytes "
                "takes about %.0f s instead of %.0f s",
                Timing.CycleMs, Timing.WireCycleMs, static_cast<unsigned>(Timing.Count),
                Timing.ProjectedSeconds(), Timing.WireSeconds());
  FMeter.Erase();
  FErr << "warning: " << Text << ". " << SlowAdapterFix() << std::endl;
}

}  // namespace korvane::cli
