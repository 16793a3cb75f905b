// The two workflows: program a HEX file into the chip, read the chip into a
// HEX file. The window and the command-line tool both run these.
#include <cstdio>

#include "UProgrammer.h"

namespace korvane {

template <typename TBody>
void TProgrammer::RunWorkflow(TBody Body) {
  TWaitCursorScope Cursor(*this);
  try {
    Body();
  } catch (const TStopped&) {
    // The outcome says where it stopped; the board is at its prompt.
  }
}

void TProgrammer::LoadProgramFile(THexFile& Image, const std::string& FileName,
                                  TImageFormat Format) {
  if (Format == TImageFormat::Binary) {
    Image.LoadFromBinaryFile(FileName);
  } else {
    Image.LoadFromFile(FileName);
  }
  // A file without a single record loads as an image of FF; programming it
  // would erase the chip and report success for a file that gave it nothing.
  RequireRecords(Image, Format);
}

void TProgrammer::CheckLockable(const THexFile& Image) {
  if (!LastUsedAddress(Image)) {
    throw EHexFile(
        "Nothing to lock: the image is all FF, and an erased chip reads FF whether it is "
        "locked or not, so the lock could not be verified");
  }
}

void TProgrammer::BeginWorkflow(const TWorkflowOptions& Options) {
  FOptions = Options;
  FOptions.FastVerify = Options.FastVerify && ChipHasFastVerify(FTargetChip);
  ApplyMemorySizeChoice(Options.MemorySize);
  FOutcome = {};
  FProgress = {};
  FDifference.reset();
}

void TProgrammer::FitLoadedFile(const THexFile& Loaded) {
  const uint16_t Size = FSourceImage.Size();
  for (uint32_t Address = Size; Address < Loaded.Size(); ++Address) {
    if (Loaded.GetByte(static_cast<uint16_t>(Address)) != 0xFF) {
      // The words of the loader that meets a record beyond the chip.
      char Text[64];
      std::snprintf(Text, sizeof Text, "Exceed Memory Size[Target:%X Size:%X]",
                    static_cast<unsigned>(Address), static_cast<unsigned>(Size));
      throw EHexFile(Text, THexFault::hfExceedMemory, Address, Size);
    }
  }
  FSourceImage = Loaded;
  FSourceImage.SetSize(Size);
}

void TProgrammer::ProgramChip(const std::string& FileName, const TWorkflowOptions& Options,
                              TImageFormat Format) {
  BeginWorkflow(Options);
  // A bad file ends here, before anything is sent to the board.
  ProgramLoadedFile(LoadChipSizedFile(FileName, Format), Options);
}

THexFile TProgrammer::LoadChipSizedFile(const std::string& FileName, TImageFormat Format) const {
  THexFile Loaded;
  Loaded.SetSize(FSourceImage.Size());
  LoadProgramFile(Loaded, FileName, Format);
  return Loaded;
}

void TProgrammer::ProgramLoadedFile(const THexFile& Loaded, const TWorkflowOptions& Options) {
  BeginWorkflow(Options);
  FitLoadedFile(Loaded);
  if (FOptions.Lock) {
    CheckLockable(FSourceImage);
  }
  RepaintWindow();
  RunWorkflow([this] { ProgramLoadedImage(); });
}

void TProgrammer::ProgramImage(const THexFile& Image, const TWorkflowOptions& Options) {
  BeginWorkflow(Options);
  if (Image.Size() != FSourceImage.Size()) {
    throw EHexFile("Image of " + std::to_string(Image.Size()) + " bytes for a chip of " +
                   std::to_string(FSourceImage.Size()));
  }
  if (FOptions.Lock) {
    CheckLockable(Image);
  }
  FSourceImage = Image;
  RepaintWindow();
  RunWorkflow([this] { ProgramLoadedImage(); });
}

void TProgrammer::ProgramLoadedImage() {
  StopPoint(TStep::stepErase);
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
  if (!VerifyChosen(Count)) {
    return;
  }
  FProgress.Verified = true;
  if (!FOptions.Lock) {
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

bool TProgrammer::VerifyChosen(uint16_t Count) {
  if (FOptions.FastVerify) {
    StopPoint(TStep::stepFastVerify);
    Report(TStatus::stFastVerifying);
    RepaintWindow();
    if (!FastVerifyChip(Count)) {
      Report(TStatus::stFastVerifyFailed);
      return false;
    }
    return true;
  }
  StopPoint(TStep::stepVerify);
  Report(TStatus::stVerifying);
  RepaintWindow();
  if (!VerifyChip(Count)) {
    Report(TStatus::stVerifyFailed);
    return false;
  }
  return true;
}

void TProgrammer::VerifyFile(const std::string& FileName, const TWorkflowOptions& Options,
                             TImageFormat Format) {
  BeginWorkflow(Options);
  VerifyLoadedFile(LoadChipSizedFile(FileName, Format), Options);
}

void TProgrammer::VerifyLoadedFile(const THexFile& Loaded, const TWorkflowOptions& Options) {
  BeginWorkflow(Options);
  FitLoadedFile(Loaded);
  RepaintWindow();
  RunWorkflow([this] {
    // A file of nothing but FF asks for a chip that is erased all through.
    const std::optional<uint16_t> Last = LastUsedAddress(FSourceImage);
    const uint16_t Count = Last ? static_cast<uint16_t>(*Last + 1) : FSourceImage.Size();
    StopPoint(TStep::stepCounter);
    if (!SetCounter(Count)) {
      Report(TStatus::stSetCounterFailed);
      return;
    }
    if (VerifyChosen(Count)) {
      Complete();
    }
  });
}

void TProgrammer::EraseOnly(const TWorkflowOptions& Options) {
  BeginWorkflow(Options);
  RunWorkflow([this] {
    StopPoint(TStep::stepErase);
    Report(TStatus::stErasing);
    if (!EraseChip()) {
      Report(TStatus::stEraseFailed);
      return;
    }
    Complete();
  });
}

void TProgrammer::BlankCheck(const TWorkflowOptions& Options) {
  BeginWorkflow(Options);
  FBlank = {};
  const uint16_t Count = WholeChipCount();
  FChipImage.Clear();
  RunWorkflow([this, Count] {
    if (!ReadWholeChip(Count)) {
      return;
    }
    for (uint32_t Address = 0; Address < Count; ++Address) {
      const auto At = static_cast<uint16_t>(Address);
      if (FChipImage.GetByte(At) != 0xFF) {
        FBlank.FirstUsed = FBlank.FirstUsed.value_or(At);
        ++FBlank.UsedBytes;
      }
    }
    Record(TStep::stepBlankCheck, FBlank.UsedBytes == 0);
  });
}

void TProgrammer::Complete() {
  Report(TStatus::stComplete);
  SetProgressPosition(0);
}

bool TProgrammer::ReadWholeChip(uint16_t Count) {
  StopPoint(TStep::stepCounter);
  if (!SetCounter(Count)) {
    Report(TStatus::stReadCounterFailed);
    return false;
  }
  Report(TStatus::stReading);
  RepaintWindow();
  const bool Read = ReadChip(Count);
  StopPoint(TStep::stepRead);
  if (!Read) {
    Report(TStatus::stReadFailed);
  }
  return Read;
}

uint16_t TProgrammer::WholeChipCount() const {
  return FChipImage.Size();
}

void TProgrammer::ReadToFile(const std::string& FileName, const TWorkflowOptions& Options,
                             TImageFormat Format) {
  BeginWorkflow(Options);
  const uint16_t Count = WholeChipCount();
  FChipImage.Clear();
  RunWorkflow([&] {
    if (!ReadWholeChip(Count)) {
      return;
    }
    // The file is replaced only once the new one is complete.
    if (Format == TImageFormat::Binary) {
      FChipImage.SaveToBinaryFile(FileName);
    } else {
      FChipImage.SaveToFile(FileName);
    }
    Record(TStep::stepSave, true);
    SetProgressPosition(0);
    Report(TStatus::stComplete);
  });
}

}  // namespace korvane
