#include "UProductionRun.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <thread>

#include "UChipTable.h"
#include "UHexFileIO.h"
#include "USha256.h"

namespace korvane::cli {

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto PollInterval = 1s;
constexpr auto StopCheck = 100ms;

// Bytes loaded into Image (whose size stays) as LoadProgramFile
// loads a file of them, with the same refusals.
void LoadImage(THexFile& Image, const std::string& Bytes, TImageFormat Format) {
  Image.Clear();
  if (Format == TImageFormat::Binary) {
    for (size_t Address = 0; Address < Bytes.size(); ++Address) {
      if (Address >= Image.Size()) {
        char Text[64];
        std::snprintf(Text, sizeof Text, "Exceed Memory Size[Target:%X Size:%X]",
                      static_cast<unsigned>(Address), static_cast<unsigned>(Image.Size()));
        throw EHexFile(Text);
      }
      Image.SetByte(static_cast<uint16_t>(Address), static_cast<uint8_t>(Bytes[Address]));
    }
    if (Bytes.empty()) {
      throw EHexFile("No byte in file", THexFault::hfNoRecords, 0, 0);
    }
    return;
  }
  std::istringstream Text(Bytes);
  Image.LoadFromStream(Text);
  RequireRecords(Image, Format);
}

// FF where the serial number goes, or EHexFile naming the first used byte.
void CheckSerialPlace(const TSerialFormat& Serial, const THexFile& Image) {
  for (uint32_t Address = Serial.Address; Address < Serial.Address + Serial.Width; ++Address) {
    if (Address >= Image.Size() || Image.GetByte(static_cast<uint16_t>(Address)) != 0xFF) {
      char Text[128];
      std::snprintf(Text, sizeof Text,
                    "The serial number's place 0x%04X-0x%04X is not free: the file uses 0x%04X",
                    Serial.Address, Serial.Address + Serial.Width - 1,
                    static_cast<unsigned>(Address));
      throw EHexFile(Text);
    }
  }
}

// EHexFile naming --serial when its place runs past Chip's memory (Image).
void CheckSerialFits(const TSerialFormat& Serial, const THexFile& Image, const std::string& Chip) {
  if (Serial.Address + Serial.Width <= Image.Size()) {
    return;
  }
  char Text[160];
  std::snprintf(Text, sizeof Text,
                "--serial's place 0x%04X-0x%04X is past the %s's memory (0x0000-0x%04X)",
                static_cast<unsigned>(Serial.Address),
                static_cast<unsigned>(Serial.Address + Serial.Width - 1), Chip.c_str(),
                static_cast<unsigned>(Image.Size() - 1));
  throw EHexFile(Text);
}

// Whether a byte of the serial number may have reached the chip: the write
// got to its place, the byte being sent when the write ended counted.
bool SerialMayBeOnChip(const TChipProgress& Progress, const TSerialFormat& Serial) {
  return Progress.Count > Serial.Address && Progress.Written >= Serial.Address;
}

// Whether A and B name one file: the same device and inode when both exist,
// otherwise the same path once absolute and free of links.
bool SameFile(const std::string& A, const std::string& B) {
  std::error_code Error;
  if (std::filesystem::exists(A, Error) && std::filesystem::exists(B, Error)) {
    return std::filesystem::equivalent(A, B, Error);
  }
  return std::filesystem::weakly_canonical(A, Error) == std::filesystem::weakly_canonical(B, Error);
}

// FILE, the log and the serial file are three files: a log written into
// FILE or into the serial file would ruin it. EInOutError names both.
void RefuseSharedFiles(const TCliOptions& Options) {
  const std::pair<const char*, std::optional<std::string>> Files[] = {
      {"FILE", Options.FileName},
      {"the log", Options.LogPath},
      {"the serial file", Options.SerialFile}};
  for (size_t First = 0; First < std::size(Files); ++First) {
    for (size_t Second = First + 1; Second < std::size(Files); ++Second) {
      const auto& [FirstRole, FirstPath] = Files[First];
      const auto& [SecondRole, SecondPath] = Files[Second];
      if (FirstPath && SecondPath && SameFile(*FirstPath, *SecondPath)) {
        throw EInOutError(EINVAL, std::string(FirstRole) + " " + *FirstPath + " and " + SecondRole +
                                      " " + *SecondPath + " are one file; name another");
      }
    }
  }
}

// Local time as ISO 8601 with its zone: 2026-12-09T07:15:02+01:00.
std::string IsoTimeNow() {
  const std::tm Local = LocalNow();
  char Text[40];
  std::strftime(Text, sizeof Text, "%Y-%m-%dT%H:%M:%S%z", &Local);
  std::string Result = Text;
  Result.insert(Result.size() - 2, ":");
  return Result;
}

class TProductionRun {
 public:
  TProductionRun(const TCliOptions& Options, TProductionFiles& Files, const TProductionBoard& Board,
                 TInterruptWatch* Watch)
      : FOptions(Options),
        FFiles(Files),
        FLink(Board.Link),
        FView(Board.View),
        FEnter(Board.Enter),
        FNumber(Board.Number),
        FWatch(Watch),
        FKind(Board.Link.TargetChip()) {}

  TProductionSummary Run() {
    if (FWatch != nullptr) {
      FWatch->SetRecordsKept(true);
    }
    try {
      FImage.SetSize(ChipMemorySize(FKind, FOptions.MemorySize));
      LoadImage(FImage, FFiles.FileBytes, FOptions.Format);
      if (FOptions.Serial) {
        CheckSerialFits(*FOptions.Serial, FImage, ChipName(FKind));
      }
      for (;;) {
        ProgramOne();
        if (!FOptions.Repeat || Stopped() || !FSummary.PortError.empty()) {
          break;
        }
        FView.AwaitingChip(FKind == chip89C2051);
        if (!AwaitNextChip()) {
          break;
        }
      }
    } catch (const EInOutError& Error) {
      FSummary.FileError = Error.what();
    } catch (const EHexFile& Error) {
      FSummary.FileError = Error.what();
    }
    FSummary.Interrupted = Stopped() || FSummary.InputEnded;
    FSummary.StoppedMidChip = FLink.LastOutcome().Interrupted || FSummary.Abandoned;
    return FSummary;
  }

 private:
  bool Stopped() const { return FWatch != nullptr && FWatch->Requested(); }

  void ProgramOne() {
    if (FFiles.Log) {
      try {
        FFiles.Log->CheckRoom();
      } catch (const EInOutError& Error) {
        throw BeforeChip(Error);
      }
    }
    TChipReport Chip;
    Chip.Chip = Chip.RunKind = FKind;
    Chip.Serial = TakeSerial();
    const THexFile Image = ImageWith(Chip.Serial);
    Chip.ChipNo = ++FChipNo;
    FView.ChipStarted(FChipNo);
    const auto Started = TClock::now();
    try {
      ProgramChip(FLink, {WorkflowOptionsOf(FOptions), Image});
    } catch (const EComPort& Error) {
      FSummary.PortError = Chip.Error = Error.what();
      // A second stop took the port away: the board is not gone, it was left.
      if (Stopped()) {
        Chip.Error = "abandoned in its stream by a second stop (" + Chip.Error + ")";
        FSummary.Abandoned = true;
      } else {
        FSummary.BoardGone = true;
      }
    }
    Chip.Seconds = std::chrono::duration<double>(TClock::now() - Started).count();
    const bool Ok = Chip.Error.empty() && FLink.LastOutcome().Succeeded;
    ++(Ok ? FSummary.Programmed : FSummary.Failed);
    if (!Ok && Chip.Serial && !SerialMayBeOnChip(FLink.ChipProgress(), *FOptions.Serial)) {
      GiveBack(*Chip.Serial);
    }
    const std::optional<uint16_t> Last = TBoardLink::LastUsedAddress(Image);
    const uint16_t Count = Last ? static_cast<uint16_t>(*Last + 1) : 0;
    Chip.Checksum = static_cast<uint16_t>(-TBoardLink::ImageSum(Image, Count));
    Chip.Result = Ok ? TChipReport::TResult::Ok : TChipReport::TResult::Failed;
    Chip.Status = FView.LastStatusText();
    Report(Chip);
  }

  // The next chip's number, taken before the chip is touched: a serial file
  // that cannot be advanced stops the run here.
  std::optional<uint64_t> TakeSerial() {
    if (!FFiles.Serial) {
      return std::nullopt;
    }
    try {
      const std::lock_guard Lock(FFiles.Guard);
      return FFiles.Serial->Take();
    } catch (const EInOutError& Error) {
      throw BeforeChip(Error);
    }
  }

  void GiveBack(uint64_t Number) {
    std::optional<std::string> Kept;
    {
      const std::lock_guard Lock(FFiles.Guard);
      Kept = FFiles.Serial->GiveBack(Number);
    }
    if (Kept) {
      FView.Note("serial number " + std::to_string(Number) +
                 " goes to this run's next chip: " + *Kept);
    }
  }

  // Error of a file that stops the run before the next chip is touched.
  EInOutError BeforeChip(const EInOutError& Error) const {
    return {Error.ErrorCode(), std::string(Error.what()) + "; chip " + std::to_string(FChipNo + 1) +
                                   " was not programmed"};
  }

  // The run's image with Serial in its place.
  THexFile ImageWith(std::optional<uint64_t> Serial) const {
    THexFile Image = FImage;
    if (Serial) {
      const std::string Bytes = FOptions.Serial->Bytes(*Serial);
      for (size_t Index = 0; Index < Bytes.size(); ++Index) {
        Image.SetByte(static_cast<uint16_t>(FOptions.Serial->Address + Index),
                      static_cast<uint8_t>(Bytes[Index]));
      }
    }
    return Image;
  }

  // The chip's record, then its line: a line on the screen means a record
  // on the disk. A record that cannot be written still gets its line, and
  // then stops the run.
  void Report(const TChipReport& Chip) {
    try {
      Record(Chip);
    } catch (const EInOutError&) {
      FView.ChipEnded(Chip);
      throw;
    }
    FView.ChipEnded(Chip);
  }

  // One line of the log, on the disk before the board's next chip starts.
  void Record(const TChipReport& Chip) {
    if (!FFiles.Log) {
      return;
    }
    TJsonLine Entry;
    Entry.Add("time", IsoTimeNow()).Add("chip_no", int64_t{FChipNo});
    if (FNumber != 0) {
      Entry.Add("board", int64_t{FNumber});
    }
    Entry.Add("port", FLink.Line().Port())
        .Add("chip", ChipName(Chip.Chip))
        .Add("file", FOptions.FileName)
        .Add("file_sha256", FFiles.FileSha256);
    if (Chip.Serial) {
      Entry.Add("serial", static_cast<int64_t>(*Chip.Serial));
    }
    Entry.Add("checksum", int64_t{Chip.Checksum})
        .Add("result", Chip.ResultWord())
        .Add("status", Chip.Status);
    if (!Chip.Error.empty()) {
      Entry.Add("error", Chip.Error);
    }
    Entry.AddDecimal("seconds", Chip.Seconds, 1);
    try {
      const std::lock_guard Lock(FFiles.Guard);
      FFiles.Log->Append(Entry.Text() + "\n");
    } catch (const EInOutError& Error) {
      throw EInOutError(Error.ErrorCode(), std::string(Error.what()) + "; the record of chip " +
                                               std::to_string(FChipNo) + " is not in it");
    }
  }

  // Sleeps for Time in short steps; false when a stop came.
  bool Sleep(TClock::duration Time) {
    const auto Until = TClock::now() + Time;
    while (TClock::now() < Until) {
      if (Stopped()) {
        return false;
      }
      std::this_thread::sleep_for(StopCheck);
    }
    return !Stopped();
  }

  // The 89C2051/4051 board cannot see its chip: the user says when, with
  // Enter. False when the user stopped or the input ended.
  bool AwaitEnter() {
    const TEnterLines::TAnswer Answer =
        FEnter.Await(std::max(FNumber, 1), [this] { return Stopped(); });
    FSummary.InputEnded = Answer == TEnterLines::TAnswer::InputEnded;
    return Answer == TEnterLines::TAnswer::Entered && !Stopped();
  }

  // Waits for the socket to be seen empty and then to hold a chip of the
  // run's kind; false when the user stopped or the board is gone.
  bool AwaitNextChip() {
    if (FKind == chip89C2051) {
      return AwaitEnter();
    }
    FView.SetSilent(true);
    bool SeenEmpty = false;
    bool Next = false;
    while (!Next && Sleep(PollInterval)) {
      try {
        FLink.DetectProgrammer();
      } catch (const EComPort&) {
        // The port went with the board; the next poll scans for it.
        continue;
      }
      const uint8_t Code = FLink.TargetChip();
      if (Code == chipNone) {
        // An empty socket still answers with the banner; no banner at all
        // means the board itself has gone.
        if (!FLink.BannerSeen()) {
          FSummary.BoardGone = true;
          break;
        }
        SeenEmpty = true;
      } else if (SeenEmpty) {
        Next = Code == FKind;
        if (!Next) {
          Skip(Code);
          SeenEmpty = false;
        }
      }
    }
    FView.SetSilent(false);
    return Next;
  }

  void Skip(uint8_t Code) {
    ++FSummary.Skipped;
    TChipReport Chip;
    Chip.Result = TChipReport::TResult::Skipped;
    Chip.ChipNo = ++FChipNo;
    Chip.Chip = Code;
    Chip.RunKind = FKind;
    Chip.Status = FView.LastStatusText();
    Report(Chip);
  }

  const TCliOptions& FOptions;
  TProductionFiles& FFiles;
  TBoardLink& FLink;
  TProductionView& FView;
  TEnterLines& FEnter;
  const int FNumber;
  TInterruptWatch* FWatch;
  uint8_t FKind;
  // FILE in the chip's size, loaded once for every chip.
  THexFile FImage;
  int FChipNo = 0;
  TProductionSummary FSummary;
};

}  // namespace

void PrepareProduction(const TCliOptions& Options, TProductionFiles& Files) {
  Files.FileBytes = ReadInputFile(Options.FileName);
  Files.FileSha256 = Sha256Hex(Files.FileBytes);
  // Checked as every chip's image will be, in the largest image: the chip's
  // own size is applied once the board has named it.
  THexFile Image;
  Image.SetSize(LargestChipMemorySize());
  LoadImage(Image, Files.FileBytes, Options.Format);
  if (Options.Lock) {
    CheckLockable(Image);
  }
  if (Options.Serial) {
    CheckSerialPlace(*Options.Serial, Image);
  }
}

void OpenProductionRecords(const TCliOptions& Options, TProductionFiles& Files) {
  RefuseSharedFiles(Options);
  if (Options.Serial) {
    Files.Serial.emplace(*Options.Serial, Options.SerialFile);
  }
  if (Options.LogPath) {
    Files.Log.emplace(*Options.LogPath);
  }
}

TProductionSummary RunProduction(const TCliOptions& Options, TProductionFiles& Files,
                                 const TProductionBoard& Board, TInterruptWatch* Watch) {
  return TProductionRun(Options, Files, Board, Watch).Run();
}

}  // namespace korvane::cli
