#include "UProductionView.h"

#include <cstdio>

#include "UChipTable.h"

namespace korvane::cli {

const char* TChipReport::ResultWord() const {
  switch (Result) {
    case TResult::Ok:
      return "ok";
    case TResult::Skipped:
      return "skipped";
    case TResult::Failed:
      break;
  }
  return "failed";
}

std::string ChipLine(const TChipReport& Report) {
  const std::string Chip = "chip " + std::to_string(Report.ChipNo) + ": ";
  switch (Report.Result) {
    case TChipReport::TResult::Ok: {
      char Seconds[32];
      std::snprintf(Seconds, sizeof Seconds, "%.1f", Report.Seconds);
      return Chip + "OK in " + Seconds + " s";
    }
    case TChipReport::TResult::Skipped:
      return Chip + "SKIPPED (" + ChipName(Report.Chip) + " in the socket, the run is for " +
             ChipName(Report.RunKind) + ")";
    case TChipReport::TResult::Failed:
      break;
  }
  return Chip + "FAILED (" + (Report.Error.empty() ? Report.Status : Report.Error) + ")";
}

TJsonLine ChipEvent(const TChipReport& Report) {
  TJsonLine Event;
  Event.Add("event", "result")
      .Add("command", "program")
      .Add("chip_no", int64_t{Report.ChipNo})
      .Add("exit", int64_t{Report.Exit()})
      .Add("status", Report.Status)
      .AddDecimal("seconds", Report.Seconds, 1);
  if (Report.Serial) {
    Event.Add("serial", static_cast<int64_t>(*Report.Serial));
  }
  if (!Report.Error.empty()) {
    Event.Add("error", Report.Error);
  }
  return Event;
}

void TConsoleProductionView::ChipEnded(const TChipReport& Report) {
  if (FOptions.Output == TOutputMode::Json) {
    FOut << ChipEvent(Report).Text() << std::endl;
  } else {
    FOut << ChipLine(Report) << std::endl;
  }
}

void TConsoleProductionView::AwaitingChip(bool ByEnter) {
  FErr << "Remove the chip and insert the next one (Ctrl-C ends)" << std::endl;
  if (ByEnter) {
    FErr << "(the 89C2051/4051 board cannot tell: press Enter once the next chip is in)"
         << std::endl;
  }
}

}  // namespace korvane::cli
