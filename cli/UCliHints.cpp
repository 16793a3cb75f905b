#include "UCliHints.h"

#include <cstdio>
#include <filesystem>

#include "UBoardLink.h"
#include "UChipTable.h"
#include "UText.h"
#include "UWorkflows.h"

namespace korvane::cli {

namespace {

std::string Hex4(uint32_t Value) {
  char Text[12];
  std::snprintf(Text, sizeof Text, "0x%04X", static_cast<unsigned>(Value));
  return Text;
}

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

std::vector<std::string> HexFaultHints(const EHexFile& Error, const std::string& FileName,
                                       TImageFormat Format, const std::string& Holder) {
  std::vector<std::string> Hints;
  if (Error.Fault() == THexFault::hfRecordType) {
    const std::optional<std::string> Meaning = RecordMeaning(Error.RecordType());
    if (!Meaning) {
      return Hints;
    }
    Hints.push_back("hint: line " + std::to_string(Error.Line()) + " is " + *Meaning +
                    "; these chips take 16-bit addresses and data records only");
    Hints.push_back(
        "hint: for a file whose data lies below 64 KB, write it again with 16-bit addresses: "
        "srec_cat " +
        FileName + " -intel -o " + SixteenBitName(FileName) + " -intel -address-length=2");
  } else if (Error.Fault() == THexFault::hfExceedMemory) {
    const std::optional<uint16_t> Highest = HighestAddress(FileName, Format);
    const std::string Reach = Highest && *Highest >= Error.Address()
                                  ? "has data up to " + Hex4(*Highest)
                                  : "has data at " + Hex4(Error.Address());
    Hints.push_back("hint: " + FileName + " " + Reach + "; " + Holder + " holds 0x0000-" +
                    Hex4(Error.ImageSize() - 1u) + " (" + std::to_string(Error.ImageSize()) +
                    " bytes)");
    // The 20-pin board cannot tell an 89C4051 from an 89C2051: the user says.
    if (Error.ImageSize() == 2048 && Highest && *Highest < 4096) {
      Hints.push_back("hint: for an 89C4051 (4 KB), add --mem 4KB");
    }
  }
  return Hints;
}

std::optional<std::string> PortNamedLikeAChip(const std::string& PortName) {
  std::string Name = UpperCase(PortName);
  // The makers' prefix ("AT89C52") is often typed too.
  if (Name.starts_with("AT")) {
    Name.erase(0, 2);
  }
  if (!ChipSizeByName(Name, 2048)) {
    return std::nullopt;
  }
  return "hint: -p (--port) names the serial port, such as /dev/ttyUSB0 ('korvane-cli ports' "
         "lists them); the chip in the socket is found by itself, so '" +
         PortName + "' needs no option";
}

bool ReadsAllFF(const THexFile& Image, uint32_t Count) {
  for (uint32_t Address = 0; Address < Count && Address < Image.Size(); ++Address) {
    if (Image.GetByte(static_cast<uint16_t>(Address)) != 0xFF) {
      return false;
    }
  }
  return true;
}

std::string BlankOrLockedNote() {
  return "the chip reads as all FF: it is blank or locked (a locked chip reads FF; erase unlocks "
         "it)";
}

std::string MemoryChoiceNote(uint16_t MemorySize, bool Given) {
  const bool Four = MemorySize == 4096;
  std::string Text = std::string("the board cannot tell an 89C2051 from an 89C4051; ") +
                     (Four ? "4 KB (4096 bytes)" : "2 KB (2048 bytes)") + " used";
  Text += Given ? ", as --mem says" : "";
  return Text + (Four ? "; --mem 2KB for an 89C2051" : "; --mem 4KB for an 89C4051");
}

std::string SummaryLine(const TRunSummary& Summary) {
  char Time[32];
  std::snprintf(Time, sizeof Time, "%.1f s", Summary.Seconds);
  if (Summary.EraseOnly) {
    return std::string("nothing to write: the chip was erased in ") + Time + " (" +
           Summary.FileName + " is all FF)";
  }
  std::string Line = std::to_string(Summary.Bytes) + " bytes " + Summary.Done + " in " + Time +
                     " (" + Summary.FileName;
  if (Summary.Checksum) {
    Line += ", checksum " + Hex4(*Summary.Checksum);
  }
  return Line + ")";
}

TStuckBoard StuckBoardText(const std::string& Port) {
  return {"the programmer board on " + Port +
              " answers with its write stream's handshake instead of its banner: a run that "
              "was stopped twice left it in its stream",
          "reset the board (switch its power off and on, or unplug it), then run the command "
          "again"};
}

std::string AbandonedBoardText() {
  return "the board is left in its stream: reset it (switch its power off and on) before the "
         "next run";
}

}  // namespace korvane::cli
