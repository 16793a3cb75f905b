// The workflows a user runs on a board: program an image into the chip,
// verify the chip against one, read the chip into a file, erase it, check
// that it is blank. The window, the command line and the page run these.
//
// Each takes what it needs as one value (the options, which also carry the
// code-memory size chosen for a kind whose size is chosen, and the image),
// runs the link's operations, which report through the link's observer, and
// returns how it ended as data. A stop asked for through the observer ends
// it at the next safe point with Outcome.Interrupted, the board at its
// prompt. Files and the line raise as the link's operations do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "UBoardLink.h"
#include "UHexFile.h"
#include "ULinkRecords.h"

namespace korvane {

// What a workflow is given.
struct TWorkflowRequest {
  TWorkflowOptions Options;
  // Programming and verification: the file's image, of any size; what lies
  // beyond the chip's size must be FF.
  THexFile Image;
};

// How a workflow ended.
struct TWorkflowResult {
  // No chip was identified: nothing was sent and nothing else is set.
  bool NoChip = false;
  TOutcome Outcome;
  // The last status, "Complete!" (stComplete) when it succeeded.
  TStatus Status = TStatus::stNone;
  // What a programming run did to the chip.
  TChipProgress Progress;
  // Where a read-back verification first differed.
  std::optional<TDifference> Difference;
  // What a blank check found.
  TBlankCheck Blank;
};

// The workflows' one precondition: a chip identified in the board's socket.
bool WorkflowPossible(uint8_t TargetChip);

// Loads FileName into Image as programming does: the HEX loader, and a
// non-empty file must hold at least one record (an empty one means "erase
// only"); or the raw bytes of a binary file. Raises EHexFile or EInOutError.
void LoadProgramFile(THexFile& Image, const std::string& FileName,
                     TImageFormat Format = TImageFormat::Hex);
// The same into a new image of Size bytes.
THexFile LoadProgramFile(const std::string& FileName, uint16_t Size,
                         TImageFormat Format = TImageFormat::Hex);
// Raises EHexFile for an image that is all FF, which cannot be locked
// provably: an erased chip reads FF whether it is locked or not.
void CheckLockable(const THexFile& Image);

// Erase, count, write, verify, optionally lock. An image that is all FF is
// only erased: nothing to write. A bad image (beyond the chip, all FF with
// Lock) raises EHexFile before anything is sent.
TWorkflowResult ProgramChip(TBoardLink& Link, const TWorkflowRequest& Request);
// Count up to the image's last used byte and verify the chip against it
// (read back, or by the checksum when chosen), writing nothing.
TWorkflowResult VerifyImage(TBoardLink& Link, const TWorkflowRequest& Request);
// Read the whole code memory (into the link's chip image) and save it to
// FileName. A failed read or save never touches an existing FileName.
TWorkflowResult ReadToFile(TBoardLink& Link, const TWorkflowOptions& Options,
                           const std::string& FileName, TImageFormat Format = TImageFormat::Hex);
// Erase the chip alone: "Complete!" or "Erase Failed!".
TWorkflowResult EraseOnly(TBoardLink& Link, const TWorkflowOptions& Options);
// Read the whole chip and count what is not FF; succeeds when every byte is FF.
TWorkflowResult BlankCheck(TBoardLink& Link, const TWorkflowOptions& Options);

}  // namespace korvane
