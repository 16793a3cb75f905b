// What a production run shows of one board's chips: the run reports each
// chip's start and end and its waits as data; a view decides how they look.
// One board shows them as the terminal lines of a one-board run
// (TConsoleProductionView); several share one screen (cli/UBoardScreen.h).
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "UCliObserver.h"
#include "UJsonLine.h"

namespace korvane::cli {

// What became of one chip.
struct TChipReport {
  enum class TResult { Ok, Failed, Skipped };
  TResult Result = TResult::Failed;
  // Its number on its board, from 1.
  int ChipNo = 0;
  // The kind in the socket, and the kind the run is for.
  uint8_t Chip = 0;
  uint8_t RunKind = 0;
  double Seconds = 0;
  std::optional<uint64_t> Serial;
  uint16_t Checksum = 0;
  // The link's last status text.
  std::string Status;
  // Why the chip could not be finished, when not by a status of its own.
  std::string Error;

  // "ok", "failed", "skipped", as the log and --json say it.
  const char* ResultWord() const;
  // 0 for a chip programmed, 1 otherwise.
  int Exit() const { return Result == TResult::Ok ? 0 : 1; }
};

// "chip 3: OK in 4.1 s", "chip 3: FAILED (Erase Failed!)", "chip 3: SKIPPED
// (89C51 in the socket, the run is for 89C52)".
std::string ChipLine(const TChipReport& Report);
// The "result" event of --json for the chip.
TJsonLine ChipEvent(const TChipReport& Report);

class TProductionView {
 public:
  virtual ~TProductionView() = default;
  // The status text the board's link set last ("" before any).
  virtual const std::string& LastStatusText() const = 0;
  // Holds the link's status texts back (the polls between chips) or lets
  // them through again.
  virtual void SetSilent(bool Silent) = 0;
  virtual void ChipStarted(int ChipNo) = 0;
  virtual void ChipEnded(const TChipReport& Report) = 0;
  // The chip is done and the next is awaited: seen in the socket, or, where
  // the board cannot see it (89C2051/4051), said with Enter.
  virtual void AwaitingChip(bool ByEnter) = 0;
  // What the user should know besides ("note: ..." on the terminal).
  virtual void Note(const std::string& Text) = 0;
};

// A one-board run on the terminal: its link's observer shows the statuses,
// the chip lines go to Out, the waits and notes to Err.
class TConsoleProductionView final : public TProductionView {
 public:
  TConsoleProductionView(const TCliOptions& Options, TCliObserver& Observer, std::ostream& Out,
                         std::ostream& Err)
      : FOptions(Options), FObserver(Observer), FOut(Out), FErr(Err) {}

  const std::string& LastStatusText() const override { return FObserver.LastStatusText(); }
  void SetSilent(bool Silent) override { FObserver.SetSilent(Silent); }
  void ChipStarted(int) override {}
  void ChipEnded(const TChipReport& Report) override;
  void AwaitingChip(bool ByEnter) override;
  void Note(const std::string& Text) override { FErr << "note: " << Text << std::endl; }

 private:
  const TCliOptions& FOptions;
  TCliObserver& FObserver;
  std::ostream& FOut;
  std::ostream& FErr;
};

}  // namespace korvane::cli
