// The two workflows: program a HEX file into the chip, read the chip into a
// HEX file. The window and the command-line tool both run these.
#include <cstdio>
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

void TProgrammer::ProgramChip(const std::string& FileName) {
  // A bad file ends here, before anything is sent to the board.
  LoadProgramFile(FSourceImage, FileName);
  RepaintWindow();
  ShowWaitCursor();
  try {
    ProgramLoadedImage();
  } catch (...) {
    RestoreCursor();
    throw;
  }
  RestoreCursor();
}

void TProgrammer::ProgramLoadedImage() {
  SetStatus("Erasing...");
  if (!EraseChip()) {
    SetStatus("Erase Failed!");
    return;
  }
  const std::optional<uint16_t> Last = LastUsedAddress(FSourceImage);
  if (!Last) {
    // Nothing but FF: the erased chip already holds exactly the file. Write
    // nothing rather than a count of 0 or one that wraps past the image.
    if (LockChosen()) {
      LockErasedChip();
    } else {
      SetStatus("Complete!");
      SetProgressPosition(0);
    }
    return;
  }
  // Below the image's size, so the count neither is 0 nor wraps.
  ProgramErasedChip(static_cast<uint16_t>(*Last + 1));
}

void TProgrammer::ProgramErasedChip(uint16_t Count) {
  SetStatus("Initial for Writing");
  if (!SetCounter(Count)) {
    SetStatus("Set Counter Failed!");
    return;
  }
  char Text[48];
  std::snprintf(Text, sizeof Text, "Writing... [%u Bytes]", static_cast<unsigned>(Count));
  SetStatus(Text);
  RepaintStatus();
  if (!WriteChip(Count)) {
    SetStatus("Write Failed!");
    return;
  }
  if (FastVerifyChosen()) {
    SetStatus("Fast Verify...");
    RepaintWindow();
    if (!FastVerifyChip(Count)) {
      SetStatus("Fast Verify Failed!");
      return;
    }
  } else {
    SetStatus("Verify...");
    RepaintWindow();
    if (!VerifyChip(Count)) {
      SetStatus("Verify Failed!");
      return;
    }
  }
  if (!LockChosen()) {
    SetStatus("Complete!");
    SetProgressPosition(0);
    return;
  }
  SetStatus("Verify Locked code");
  if (LockChip(Count)) {
    SetStatus("Complete!");
    SetProgressPosition(0);
  } else {
    SetStatus("Lock Failed!");
  }
}

void TProgrammer::LockErasedChip() {
  // The lock is proven by reading the chip back, and the board streams as
  // many bytes as its counter says: give it the whole image.
  const uint16_t Count = FSourceImage.Size();
  SetStatus("Verify Locked code");
  if (!SetCounter(Count)) {
    SetStatus("Set Counter Failed!");
    return;
  }
  if (LockChip(Count)) {
    SetStatus("Complete!");
    SetProgressPosition(0);
  } else {
    SetStatus("Lock Failed!");
  }
}

void TProgrammer::ReadToFile(const std::string& FileName) {
  const uint16_t Count = FTargetChip == chip89C2051 ? CodeMemorySize() : FChipImage.Size();
  FChipImage.Clear();
  ShowWaitCursor();
  try {
    ReadAndSave(Count, FileName);
  } catch (...) {
    RestoreCursor();
    throw;
  }
  RestoreCursor();
}

void TProgrammer::ReadAndSave(uint16_t Count, const std::string& FileName) {
  if (!SetCounter(Count)) {
    SetStatus("Set Counter Failed");
    return;
  }
  SetStatus("Reading...");
  RepaintWindow();
  if (!ReadChip(Count)) {
    SetStatus("Read Failed!");
    return;
  }
  // The file is replaced only once the new one is complete.
  FChipImage.SaveToFile(FileName);
  SetProgressPosition(0);
  SetStatus("Complete!");
}

}  // namespace korvane
