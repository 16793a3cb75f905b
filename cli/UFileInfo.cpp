#include "UFileInfo.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "UBoardLink.h"
#include "UChipTable.h"
#include "UWireTime.h"
#include "UWorkflows.h"

namespace korvane::cli {

namespace {

constexpr uint16_t LargestImage = 65535;
// More ranges than this are summed up rather than listed.
constexpr size_t ListedRanges = 8;
// Code holds single FF bytes (operands, table entries); runs of FF shorter
// than this do not split a range.
constexpr uint32_t JoinedGap = 16;

struct TRange {
  uint16_t First;
  uint16_t Last;
};

// The runs of bytes that are not FF, joined across short runs of FF.
std::vector<TRange> UsedRanges(const THexFile& Image) {
  std::vector<TRange> Ranges;
  for (uint32_t Address = 0; Address < Image.Size(); ++Address) {
    const auto At = static_cast<uint16_t>(Address);
    if (Image.GetByte(At) == 0xFF) {
      continue;
    }
    if (!Ranges.empty() && Address - Ranges.back().Last <= JoinedGap) {
      Ranges.back().Last = At;
    } else {
      Ranges.push_back({At, At});
    }
  }
  return Ranges;
}

std::string Hex4(uint32_t Value) {
  char Text[8];
  std::snprintf(Text, sizeof Text, "0x%04X", static_cast<unsigned>(Value));
  return Text;
}

std::string RangesText(const std::vector<TRange>& Ranges) {
  std::string Text;
  for (size_t Index = 0; Index < Ranges.size() && Index < ListedRanges; ++Index) {
    Text += (Index == 0 ? "" : ", ") + Hex4(Ranges[Index].First) + "-" + Hex4(Ranges[Index].Last);
  }
  if (Ranges.size() > ListedRanges) {
    Text += " and " + std::to_string(Ranges.size() - ListedRanges) + " more";
  }
  return Text;
}

// The kinds whose code memory holds Count bytes; the 89C2051/4051 with the
// smallest memory choice that does.
std::string FittingKinds(uint32_t Count) {
  std::string Text;
  for (const TChipKind& Kind : ChipKinds()) {
    std::string Name(Kind.Name);
    if (Kind.MemorySize == 0) {
      if (Count > 4096) {
        continue;
      }
      Name += Count > 2048 ? " (4KB)" : " (2KB)";
    } else if (Count > Kind.MemorySize) {
      continue;
    }
    Text += (Text.empty() ? "" : ", ") + Name;
  }
  return Text.empty() ? "none of the chip kinds" : Text;
}

std::string Seconds(double Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "%.1f s", Value);
  return Text;
}

}  // namespace

void PrintFileInfo(const TCliOptions& Options, std::ostream& Out) {
  THexFile Image;
  Image.SetSize(Options.ImageSize != 0 ? Options.ImageSize : LargestImage);
  LoadProgramFile(Image, Options.FileName, Options.Format);
  const char* Format = Options.Format == TImageFormat::Binary ? "raw binary" : "Intel HEX";
  Out << "file: " << Options.FileName << " (" << Format << ", " << Image.Size() << "-byte image)\n";

  const std::vector<TRange> Ranges = UsedRanges(Image);
  const std::optional<uint16_t> Last = TBoardLink::LastUsedAddress(Image);
  if (!Last) {
    Out << "used: nothing, every byte is FF (programming it only erases the chip)\n";
    return;
  }
  uint32_t Used = 0;
  for (uint32_t Address = 0; Address < Image.Size(); ++Address) {
    Used += Image.GetByte(static_cast<uint16_t>(Address)) != 0xFF ? 1 : 0;
  }
  const auto Count = static_cast<uint16_t>(*Last + 1);
  const auto Checksum = static_cast<uint16_t>(-TBoardLink::ImageSum(Image, Count));
  Out << "used: " << RangesText(Ranges) << " (" << Used << " bytes not FF)\n"
      << "count: " << Count << " bytes up to the last used address\n"
      << "checksum: " << Hex4(Checksum) << " (the board's \"c\" answer for " << Count << " bytes)\n"
      << "fits: " << FittingKinds(Count) << "\n"
      << "time at 9600 baud: " << Seconds(ProgrammingSeconds(Count, false)) << " with read-back, "
      << Seconds(ProgrammingSeconds(Count, true))
      << " with fast verify (wire and fixed pauses; the chip's erase comes on top)\n";
}

}  // namespace korvane::cli
