#include "USerialCounter.h"

#include <cctype>
#include <cerrno>

#include "UHexFile.h"
#include "UHexFileIO.h"

namespace korvane::cli {

namespace {

// The whole of FileName; nothing when it does not exist.
std::optional<std::string> ReadIfThere(const std::string& FileName) {
  try {
    return ReadInputFile(FileName);
  } catch (const EInOutError& Error) {
    if (Error.ErrorCode() == ENOENT) {
      return std::nullopt;
    }
    throw EInOutError(Error.ErrorCode(), "Serial file " + FileName + ": " + Error.what());
  }
}

// The one decimal number of Text, blanks around it allowed; nothing for
// anything else ("12 junk", "", "-3", digits past 64 bits).
std::optional<uint64_t> OneNumber(const std::string& Text) {
  size_t At = 0;
  const auto SkipBlanks = [&] {
    while (At < Text.size() && std::isspace(static_cast<unsigned char>(Text[At])) != 0) {
      ++At;
    }
  };
  SkipBlanks();
  const size_t First = At;
  uint64_t Number = 0;
  for (; At < Text.size() && std::isdigit(static_cast<unsigned char>(Text[At])) != 0; ++At) {
    const uint64_t Digit = static_cast<uint64_t>(Text[At] - '0');
    if (Number > (UINT64_MAX - Digit) / 10) {
      return std::nullopt;
    }
    Number = Number * 10 + Digit;
  }
  const bool HasDigits = At > First;
  SkipBlanks();
  if (!HasDigits || At != Text.size()) {
    return std::nullopt;
  }
  return Number;
}

// "1 place", "4 places".
std::string Places(unsigned Width) {
  return std::to_string(Width) + (Width == 1 ? " place" : " places");
}

}  // namespace

TSerialCounter::TSerialCounter(const TSerialFormat& Format, std::optional<std::string> File)
    : FFormat(Format), FFile(std::move(File)), FNext(Format.Start) {
  if (!FFile) {
    return;
  }
  FNext = Stored(FFormat.Start);
  // Written back now, so that a file that cannot be replaced is found before
  // a chip is programmed with a number that could not be used up; so is a
  // lock file that cannot be made.
  Store(FNext);
  try {
    const TFileLock Lock(LockName());
  } catch (const EInOutError& Error) {
    throw EInOutError(Error.ErrorCode(), "Serial file " + *FFile + " cannot be locked (" +
                                             LockName() + "): " + Error.what());
  }
}

uint64_t TSerialCounter::Stored(uint64_t Fallback) const {
  const std::optional<std::string> Text = FFile ? ReadIfThere(*FFile) : std::nullopt;
  if (!Text) {
    return Fallback;
  }
  const std::optional<uint64_t> Number = OneNumber(*Text);
  // The number after the largest says that every number is used.
  if (!Number || (*Number > FFormat.Largest() && *Number - 1 != FFormat.Largest())) {
    throw EHexFile("Serial file " + *FFile + " holds no number that " + Places(FFormat.Width) +
                   " hold");
  }
  return *Number;
}

uint64_t TSerialCounter::Take() {
  if (!FSpare.empty()) {
    const uint64_t Number = *FSpare.begin();
    FSpare.erase(FSpare.begin());
    return Number;
  }
  std::optional<TFileLock> Lock;
  if (FFile) {
    Lock.emplace(LockName());
  }
  const uint64_t Number = Stored(FNext);
  if (Number > FFormat.Largest()) {
    throw EHexFile("Serial number " + std::to_string(Number) + " does not fit in " +
                   Places(FFormat.Width) + " of --serial");
  }
  Store(Number + 1);
  FNext = Number + 1;
  return Number;
}

std::optional<std::string> TSerialCounter::GiveBack(uint64_t Number) {
  std::string Reason;
  try {
    std::optional<TFileLock> Lock;
    if (FFile) {
      Lock.emplace(LockName());
    }
    if (Stored(FNext) == Number + 1) {
      // The numbers kept below it go back with it.
      uint64_t First = Number;
      while (First > 0 && FSpare.contains(First - 1)) {
        --First;
      }
      Store(First);
      FSpare.erase(FSpare.lower_bound(First), FSpare.end());
      FNext = First;
      return std::nullopt;
    }
    Reason = "another chip has taken a number since";
  } catch (const EInOutError& Error) {
    Reason = Error.what();
  } catch (const EHexFile& Error) {
    Reason = Error.what();
  }
  FSpare.insert(Number);
  return Reason;
}

void TSerialCounter::Store(uint64_t Number) {
  if (!FFile) {
    return;
  }
  try {
    ReplaceFileContents(*FFile, std::to_string(Number) + "\n");
  } catch (const EInOutError& Error) {
    throw EInOutError(Error.ErrorCode(),
                      "Serial file " + *FFile + " cannot be rewritten: " + Error.what());
  }
}

}  // namespace korvane::cli
