#include "UWorkflows.h"

#include <cstdio>

namespace korvane {

namespace {

// One workflow on one link: the options as the chip's kind allows them, the
// link's record cleared at the start and copied into the result at the end.
class TWorkflowRun {
 public:
  TWorkflowRun(TBoardLink& Link, const TWorkflowOptions& Options) : FLink(Link), FOptions(Options) {
    FOptions.FastVerify = Options.FastVerify && ChipHasFastVerify(Link.TargetChip());
  }

  // Runs Body unless there is no chip; a stop at a safe point ends it quietly.
  template <typename TBody>
  TWorkflowResult Run(TBody Body) {
    if (!WorkflowPossible(FLink.TargetChip())) {
      FResult.NoChip = true;
      return FResult;
    }
    FLink.ApplyMemorySizeChoice(FOptions.MemorySize);
    FLink.ClearRecord();
    try {
      Body(*this);
    } catch (const TBoardLink::TStopped&) {
      // The outcome says where it stopped; the board is at its prompt.
    }
    FResult.Outcome = FLink.LastOutcome();
    FResult.Status = FLink.CurrentStatus();
    FResult.Progress = FLink.ChipProgress();
    FResult.Difference = FLink.LastDifference();
    return FResult;
  }

  // The chip-sized source image from an image of any size; EHexFile, as
  // the loader raises it, for a byte other than FF beyond the chip.
  void TakeImage(const THexFile& Loaded) {
    THexFile& Source = FLink.SourceImage();
    const uint16_t Size = Source.Size();
    for (uint32_t Address = Size; Address < Loaded.Size(); ++Address) {
      if (Loaded.GetByte(static_cast<uint16_t>(Address)) != 0xFF) {
        char Text[64];
        std::snprintf(Text, sizeof Text, "Exceed Memory Size[Target:%X Size:%X]",
                      static_cast<unsigned>(Address), static_cast<unsigned>(Size));
        throw EHexFile(Text, THexFault::hfExceedMemory, Address, Size);
      }
    }
    Source = Loaded;
    Source.SetSize(Size);
  }

  void Program() {
    if (!Erase()) {
      return;
    }
    FLink.ChipProgress().Erased = true;
    const std::optional<uint16_t> Last = TBoardLink::LastUsedAddress(FLink.SourceImage());
    if (!Last) {
      // Nothing but FF: the erased chip already holds exactly the file. Write
      // nothing rather than a count of 0 or one that wraps past the image.
      Complete();
      return;
    }
    // Below the image's size, so the count neither is 0 nor wraps.
    ProgramErasedChip(static_cast<uint16_t>(*Last + 1));
  }

  void Verify() {
    // A file of nothing but FF asks for a chip that is erased all through.
    const std::optional<uint16_t> Last = TBoardLink::LastUsedAddress(FLink.SourceImage());
    const uint16_t Count = Last ? static_cast<uint16_t>(*Last + 1) : FLink.SourceImage().Size();
    FLink.StopPoint(TStep::stepCounter);
    if (!FLink.SetCounter(Count)) {
      FLink.Report(TStatus::stSetCounterFailed);
      return;
    }
    if (VerifyChosen(Count)) {
      Complete();
    }
  }

  // The erase with its statuses; true when the chip is erased.
  bool Erase() {
    FLink.StopPoint(TStep::stepErase);
    FLink.Report(TStatus::stErasing);
    if (!FLink.EraseChip()) {
      FLink.Report(TStatus::stEraseFailed);
      return false;
    }
    return true;
  }

  // Count and read the whole chip into the chip image, with the statuses of
  // a read; true when it was read.
  bool ReadWholeChip() {
    const uint16_t Count = FLink.ChipImage().Size();
    FLink.ChipImage().Clear();
    FLink.StopPoint(TStep::stepCounter);
    if (!FLink.SetCounter(Count)) {
      FLink.Report(TStatus::stReadCounterFailed);
      return false;
    }
    FLink.Report(TStatus::stReading);
    const bool Read = FLink.ReadChip(Count);
    FLink.StopPoint(TStep::stepRead);
    if (!Read) {
      FLink.Report(TStatus::stReadFailed);
    }
    return Read;
  }

  void CountUsedBytes() {
    const THexFile& Chip = FLink.ChipImage();
    for (uint32_t Address = 0; Address < Chip.Size(); ++Address) {
      const auto At = static_cast<uint16_t>(Address);
      if (Chip.GetByte(At) != 0xFF) {
        FResult.Blank.FirstUsed = FResult.Blank.FirstUsed.value_or(At);
        ++FResult.Blank.UsedBytes;
      }
    }
    FLink.Record(TStep::stepBlankCheck, FResult.Blank.UsedBytes == 0);
  }

  void Complete() {
    FLink.Report(TStatus::stComplete);
    FLink.MoveProgress(0);
  }

  const TWorkflowOptions& Options() const { return FOptions; }
  TBoardLink& Link() { return FLink; }

 private:
  void ProgramErasedChip(uint16_t Count) {
    FLink.StopPoint(TStep::stepCounter);
    FLink.Report(TStatus::stInitialForWriting);
    if (!FLink.SetCounter(Count)) {
      FLink.Report(TStatus::stSetCounterFailed);
      return;
    }
    FLink.ChipProgress().Count = Count;
    FLink.StopPoint(TStep::stepWrite);
    FLink.Report(TStatus::stWriting, Count);
    if (!FLink.WriteChip(Count)) {
      FLink.Report(TStatus::stWriteFailed);
      return;
    }
    if (!VerifyChosen(Count)) {
      return;
    }
    FLink.ChipProgress().Verified = true;
    if (!FOptions.Lock) {
      Complete();
      return;
    }
    FLink.StopPoint(TStep::stepLock);
    FLink.Report(TStatus::stVerifyLocked);
    if (FLink.LockChip(Count)) {
      FLink.ChipProgress().Locked = true;
      Complete();
    } else {
      FLink.Report(TStatus::stLockFailed);
    }
  }

  // The verification the user chose, with its statuses; true when it passed.
  bool VerifyChosen(uint16_t Count) {
    const bool Fast = FOptions.FastVerify;
    FLink.StopPoint(Fast ? TStep::stepFastVerify : TStep::stepVerify);
    FLink.Report(Fast ? TStatus::stFastVerifying : TStatus::stVerifying);
    if (Fast ? FLink.FastVerifyChip(Count) : FLink.VerifyChip(Count)) {
      return true;
    }
    FLink.Report(Fast ? TStatus::stFastVerifyFailed : TStatus::stVerifyFailed);
    return false;
  }

  TBoardLink& FLink;
  TWorkflowOptions FOptions;
  TWorkflowResult FResult;
};

}  // namespace

bool WorkflowPossible(uint8_t TargetChip) {
  return TargetChip != chipNone;
}

void LoadProgramFile(THexFile& Image, const std::string& FileName, TImageFormat Format) {
  if (Format == TImageFormat::Binary) {
    Image.LoadFromBinaryFile(FileName);
  } else {
    Image.LoadFromFile(FileName);
  }
  // A file without a single record loads as an image of FF; programming it
  // would erase the chip and report success for a file that gave it nothing.
  RequireRecords(Image, Format);
}

THexFile LoadProgramFile(const std::string& FileName, uint16_t Size, TImageFormat Format) {
  THexFile Image;
  Image.SetSize(Size);
  LoadProgramFile(Image, FileName, Format);
  return Image;
}

void CheckLockable(const THexFile& Image) {
  if (!TBoardLink::LastUsedAddress(Image)) {
    throw EHexFile(
        "Nothing to lock: the image is all FF, and an erased chip reads FF whether it is "
        "locked or not, so the lock could not be verified");
  }
}

TWorkflowResult ProgramChip(TBoardLink& Link, const TWorkflowRequest& Request) {
  TWorkflowRun Run(Link, Request.Options);
  return Run.Run([&Request](TWorkflowRun& W) {
    // A bad image ends here, before anything is sent to the board.
    W.TakeImage(Request.Image);
    if (W.Options().Lock) {
      CheckLockable(W.Link().SourceImage());
    }
    W.Program();
  });
}

TWorkflowResult VerifyImage(TBoardLink& Link, const TWorkflowRequest& Request) {
  TWorkflowRun Run(Link, Request.Options);
  return Run.Run([&Request](TWorkflowRun& W) {
    W.TakeImage(Request.Image);
    W.Verify();
  });
}

TWorkflowResult ReadToFile(TBoardLink& Link, const TWorkflowOptions& Options,
                           const std::string& FileName, TImageFormat Format) {
  TWorkflowRun Run(Link, Options);
  return Run.Run([&](TWorkflowRun& W) {
    if (!W.ReadWholeChip()) {
      return;
    }
    // The file is replaced only once the new one is complete.
    if (Format == TImageFormat::Binary) {
      Link.ChipImage().SaveToBinaryFile(FileName);
    } else {
      Link.ChipImage().SaveToFile(FileName);
    }
    Link.Record(TStep::stepSave, true);
    Link.MoveProgress(0);
    Link.Report(TStatus::stComplete);
  });
}

TWorkflowResult EraseOnly(TBoardLink& Link, const TWorkflowOptions& Options) {
  TWorkflowRun Run(Link, Options);
  return Run.Run([](TWorkflowRun& W) {
    if (W.Erase()) {
      W.Complete();
    }
  });
}

TWorkflowResult BlankCheck(TBoardLink& Link, const TWorkflowOptions& Options) {
  TWorkflowRun Run(Link, Options);
  return Run.Run([](TWorkflowRun& W) {
    if (W.ReadWholeChip()) {
      W.CountUsedBytes();
    }
  });
}

}  // namespace korvane
