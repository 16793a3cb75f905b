#include "UFileHints.h"

#include <filesystem>
#include <optional>

#include "UBoardLink.h"
#include "UChipTable.h"
#include "UPlatformWords.h"
#include "UText.h"
#include "UWorkflows.h"

namespace korvane {

namespace {

// What a record type other than data and end is, in the words of the format.
std::optional<std::string> RecordMeaning(uint8_t Type) {
  switch (Type) {
    case 0x02:
      return "an extended segment address record (type 02), which moves the addresses after it";
    case 0x03:
      return "a start segment address record (type 03), which names where execution starts";
    case 0x04:
      return "an extended linear address record (type 04), which sets the upper 16 bits of the "
             "addresses after it";
    case 0x05:
      return "a start linear address record (type 05), which names where execution starts";
    default:
      return std::nullopt;
  }
}

// The highest address FileName puts data at, as programming would load it
// into the largest image there is; nothing when even that fails.
std::optional<uint16_t> HighestAddress(const std::string& FileName, TImageFormat Format) {
  try {
    THexFile Image;
    Image.SetSize(0xFFFF);
    LoadProgramFile(Image, FileName, Format);
    return TBoardLink::LastUsedAddress(Image);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// A name for the rewritten file beside FileName: "fw.hex" gives "fw-16bit.hex".
std::string SixteenBitName(const std::string& FileName) {
  const std::filesystem::path Path(FileName);
  std::filesystem::path Name = Path;
  Name.replace_filename(Path.stem().string() + "-16bit" + Path.extension().string());
  return Name.string();
}

}  // namespace

bool FitsTheLargerChoice(const EHexFile& Error, const std::string& FileName, TImageFormat Format) {
  if (Error.Fault() != THexFault::hfExceedMemory || Error.ImageSize() != ChosenMemorySizeDefault) {
    return false;
  }
  const std::optional<uint16_t> Highest = HighestAddress(FileName, Format);
  return Highest && *Highest < FindChipKind(chip89C2051)->SizeChoices.back();
}

std::vector<std::string> HexFaultHints(const EHexFile& Error, const std::string& FileName,
                                       TImageFormat Format, const std::string& Holder) {
  std::vector<std::string> Hints;
  switch (Error.Fault()) {
    case THexFault::hfRecordType: {
      const std::optional<std::string> Meaning = RecordMeaning(Error.RecordType());
      if (!Meaning) {
        break;
      }
      Hints.push_back("line " + std::to_string(Error.Line()) + " is " + *Meaning +
                      "; these chips take 16-bit addresses and data records only");
      Hints.push_back(
          "for a file whose data lies below 64 KB, write it again with 16-bit "
          "addresses: " +
          PlatformWords().SixteenBitAdvice(FileName, SixteenBitName(FileName)));
      break;
    }
    case THexFault::hfExceedMemory: {
      const std::optional<uint16_t> Highest = HighestAddress(FileName, Format);
      const std::string Reach = Highest && *Highest >= Error.Address()
                                    ? "has data up to " + Hex4(*Highest)
                                    : "has data at " + Hex4(Error.Address());
      Hints.push_back(FileName + " " + Reach + "; " + Holder + " holds 0x0000-" +
                      Hex4(Error.ImageSize() - 1u) + " (" + std::to_string(Error.ImageSize()) +
                      " bytes)");
      break;
    }
    case THexFault::hfNoRecords:
      Hints.push_back(FileName + (Format == TImageFormat::Binary
                                      ? " is empty: there is nothing to program"
                                      : " holds no Intel HEX record at all: it is empty, or not "
                                        "the HEX file that an assembler or compiler wrote"));
      break;
    case THexFault::hfOther:
      break;
  }
  return Hints;
}

}  // namespace korvane
