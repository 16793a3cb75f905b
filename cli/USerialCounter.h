// The serial numbers of a production run: from --serial's START, or from the
// number kept in --serial-file, one number to one chip at most, also when
// several runs on several boards share the file.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "UCliOptions.h"

namespace korvane::cli {

class TSerialCounter {
 public:
  // Reads the first number, before any port is opened: File's, or START
  // when File is not given or does not exist (then it is created with
  // START). A File that cannot be read, holds anything but one number that
  // Format's places hold, or cannot be replaced in its folder is refused
  // with EInOutError or EHexFile naming it.
  TSerialCounter(const TSerialFormat& Format, std::optional<std::string> File);

  // The number the next chip gets, as far as this run knows.
  uint64_t Next() const { return Spare().empty() ? FNext : *Spare().begin(); }
  // Takes a number given back earlier in this run that the file could not
  // take back (the smallest), or else the file's number for the chip about
  // to be written (Next() without a file), under the exclusive lock of the file's lock file
  // (PATH.lock, left beside it), so that another run on the same file
  // takes the number after it. The file says the number after it before the
  // chip is touched, so that no failure, crash or power cut from here on
  // can give the number to a second chip. Raises EInOutError (naming the
  // file) or EHexFile (past the largest number) with nothing taken.
  uint64_t Take();
  // Gives back Number, just taken for a chip that not one byte of it
  // reached, with the numbers kept so far just below it. When the file
  // cannot be rewritten, or another chip (of this run
  // or of another) has taken a number since, the file goes on saying the
  // number after them; Number is then kept for this run's next chip, and the
  // reason is returned. No number ever goes to a second chip.
  std::optional<std::string> GiveBack(uint64_t Number);
  // The numbers kept so and not taken again: left unused when the run ends.
  const std::set<uint64_t>& Spare() const { return FSpare; }

 private:
  // The number in the file, or Fallback when there is no file.
  uint64_t Stored(uint64_t Fallback) const;
  void Store(uint64_t Number);
  std::string LockName() const { return *FFile + ".lock"; }

  TSerialFormat FFormat;
  std::optional<std::string> FFile;
  uint64_t FNext = 0;
  std::set<uint64_t> FSpare;
};

}  // namespace korvane::cli
