// The two workflows: program a HEX file into the chip, read the chip into a
// HEX file. The window and the command-line tool both run these.
#include <filesystem>

#include "UProgrammer.h"

namespace korvane {

void TProgrammer::LoadProgramFile(THexFile& Image, const std::string& FileName) {
  Image.LoadFromFile(FileName);
  // Text without a single record (a binary or some other document) loads as
  // an image of FF; programming it would erase the chip and report success for
  // a file that was never a HEX file.
  std::error_code NoSize;
  if (Image.LoadedRecords() == 0 && std::filesystem::file_size(FileName, NoSize) > 0 && !NoSize) {
    throw EHexFile("No HEX record in file");
  }
}

void TProgrammer::CheckLockable(const THexFile& Image) {
  if (!LastUsedAddress(Image)) {
    throw EHexFile(
        "Nothing to lock: the image is all FF, and an erased chip reads FF whether it is "
        "locked or not, so the lock could not be verified");
  }
}

void TProgrammer::ProgramChip(const std::string& FileName) {
  FOutcome = {};
  FProgress = {};
  // A bad file ends here, before anything is sent to the board.
  LoadProgramFile(FSourceImage, FileName);
  if (LockChosen()) {
    CheckLockable(FSourceImage);
  }
  RepaintWindow();
  TWaitCursorScope Cursor(*this);
  try {
    ProgramLoadedImage();
  } catch (const TStopped&) {
    // The outcome says where it stopped; the board is at its prompt.
  }
}

void TProgrammer::ProgramLoadedImage() {
  StopPoint(TStep::stepErase);
  FProgress.EraseStarted = true;
  Report(TStatus::stErasing);
  if (!EraseChip()) {
    Report(TStatus::stEraseFailed);
    return;
  }
  FProgress.Erased = true;
  const std::optional<uint16_t> Last = LastUsedAddress(FSourceImage);
  if (!Last) {
    // Nothing but FF: the erased chip already holds exactly the file. Write
    // nothing rather than a count of 0 or one that wraps past the image.
    Complete();
    return;
  }
  // Below the image's size, so the count neither is 0 nor wraps.
  ProgramErasedChip(static_cast<uint16_t>(*Last + 1));
}

void TProgrammer::ProgramErasedChip(uint16_t Count) {
  StopPoint(TStep::stepCounter);
  Report(TStatus::stInitialForWriting);
  if (!SetCounter(Count)) {
    Report(TStatus::stSetCounterFailed);
    return;
  }
  FProgress.Count = Count;
  StopPoint(TStep::stepWrite);
  Report(TStatus::stWriting, Count);
  RepaintStatus();
  if (!WriteChip(Count)) {
    Report(TStatus::stWriteFailed);
    return;
  }
  StopPoint(FastVerifyChosen() ? TStep::stepFastVerify : TStep::stepVerify);
  if (FastVerifyChosen()) {
    Report(TStatus::stFastVerifying);
    RepaintWindow();
    if (!FastVerifyChip(Count)) {
      Report(TStatus::stFastVerifyFailed);
      return;
    }
  } else {
    Report(TStatus::stVerifying);
    RepaintWindow();
    if (!VerifyChip(Count)) {
      Report(TStatus::stVerifyFailed);
      return;
    }
  }
  FProgress.Verified = true;
  if (!LockChosen()) {
    Complete();
    return;
  }
  StopPoint(TStep::stepLock);
  Report(TStatus::stVerifyLocked);
  if (LockChip(Count)) {
    FProgress.Locked = true;
    Complete();
  } else {
    Report(TStatus::stLockFailed);
  }
}

void TProgrammer::Complete() {
  Report(TStatus::stComplete);
  SetProgressPosition(0);
}

void TProgrammer::ReadToFile(const std::string& FileName) {
  FOutcome = {};
  const uint16_t Count = FTargetChip == chip89C2051 ? CodeMemorySize() : FChipImage.Size();
  FChipImage.Clear();
  TWaitCursorScope Cursor(*this);
  try {
    ReadAndSave(Count, FileName);
  } catch (const TStopped&) {
    // Nothing was saved; the outcome says where it stopped.
  }
}

void TProgrammer::ReadAndSave(uint16_t Count, const std::string& FileName) {
  StopPoint(TStep::stepCounter);
  if (!SetCounter(Count)) {
    Report(TStatus::stReadCounterFailed);
    return;
  }
  Report(TStatus::stReading);
  RepaintWindow();
  const bool Read = ReadChip(Count);
  StopPoint(TStep::stepRead);
  if (!Read) {
    Report(TStatus::stReadFailed);
    return;
  }
  // The file is replaced only once the new one is complete.
  FChipImage.SaveToFile(FileName);
  Record(TStep::stepSave, true);
  SetProgressPosition(0);
  Report(TStatus::stComplete);
}

}  // namespace korvane
