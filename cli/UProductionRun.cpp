#include "UProductionRun.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <thread>

#include "UHexFileIO.h"
#include "USha256.h"
#include "UTerminal.h"

namespace korvane::cli {

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto PollInterval = 1s;
constexpr auto StopCheck = 100ms;

std::string FileBytes(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

// The next serial number: the serial file's, or the start.
uint64_t NextSerial(const TCliOptions& Options) {
  if (!Options.SerialFile) {
    return Options.Serial->Start;
  }
  std::ifstream In(*Options.SerialFile);
  if (!In) {
    ReplaceFileContents(*Options.SerialFile, std::to_string(Options.Serial->Start) + "\n");
    return Options.Serial->Start;
  }
  unsigned long long Number = 0;
  if (!(In >> Number) || Number > Options.Serial->Largest()) {
    throw EHexFile("Serial file " + *Options.SerialFile + " holds no number that " +
                   std::to_string(Options.Serial->Width) + " places hold");
  }
  return Number;
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
  TProductionRun(const TCliOptions& Options, TCliProgrammer& Programmer, TInterruptWatch* Watch,
                 std::ostream& Out, std::ostream& Err)
      : FOptions(Options),
        FProgrammer(Programmer),
        FWatch(Watch),
        FOut(Out),
        FErr(Err),
        FKind(Programmer.TargetChip()),
        FFileSha(Sha256Hex(FileBytes(Options.FileName))) {}

  TProductionSummary Run() {
    for (;;) {
      ProgramOne();
      if (!FOptions.Repeat || Stopped()) {
        break;
      }
      FErr << "Remove the chip and insert the next one (Ctrl-C ends)" << std::endl;
      if (!AwaitNextChip()) {
        break;
      }
    }
    FSummary.Interrupted = Stopped();
    FSummary.StoppedMidChip = FProgrammer.LastOutcome().Interrupted;
    return FSummary;
  }

 private:
  bool Stopped() const { return FWatch != nullptr && FWatch->Requested(); }
  bool Json() const { return FOptions.Output == TOutputMode::Json; }

  void ProgramOne() {
    ++FChipNo;
    THexFile Image;
    Image.SetSize(FProgrammer.SourceImage().Size());
    TProgrammer::LoadProgramFile(Image, FOptions.FileName, FOptions.Format);
    std::optional<uint64_t> Serial;
    if (FOptions.Serial) {
      Serial = NextSerial(FOptions);
      const std::string Bytes = FOptions.Serial->Bytes(*Serial);
      for (size_t Index = 0; Index < Bytes.size(); ++Index) {
        Image.SetByte(static_cast<uint16_t>(FOptions.Serial->Address + Index),
                      static_cast<uint8_t>(Bytes[Index]));
      }
    }
    const auto Started = TClock::now();
    {
      TProgrammer::TBusyScope Busy(FProgrammer);
      FProgrammer.ProgramImage(Image, FProgrammer.WorkflowOptions());
    }
    const double Seconds = std::chrono::duration<double>(TClock::now() - Started).count();
    const bool Ok = FProgrammer.LastOutcome().Succeeded;
    ++(Ok ? FSummary.Programmed : FSummary.Failed);
    if (Ok && Serial && FOptions.SerialFile) {
      // A chip that failed does not use its number up.
      ReplaceFileContents(*FOptions.SerialFile, std::to_string(*Serial + 1) + "\n");
    }
    const std::optional<uint16_t> Last = TProgrammer::LastUsedAddress(Image);
    const uint16_t Count = Last ? static_cast<uint16_t>(*Last + 1) : 0;
    const auto Checksum = static_cast<uint16_t>(-TProgrammer::ImageSum(Image, Count));
    Record(Ok ? "ok" : "failed", FKind, Seconds, Serial, Checksum);
    char Line[96];
    std::snprintf(Line, sizeof Line, "chip %d: OK in %.1f s", FChipNo, Seconds);
    Result(
        Ok ? Line
           : "chip " + std::to_string(FChipNo) + ": FAILED (" + FProgrammer.LastStatusText() + ")",
        Ok ? 0 : 1, Seconds, Serial);
  }

  // The line of one chip on stdout, or its "result" event.
  void Result(const std::string& Line, int Exit, double Seconds, std::optional<uint64_t> Serial) {
    if (!Json()) {
      FOut << Line << std::endl;
      return;
    }
    TJsonLine Event;
    Event.Add("event", "result")
        .Add("command", "program")
        .Add("chip_no", int64_t{FChipNo})
        .Add("exit", int64_t{Exit})
        .Add("status", FProgrammer.LastStatusText())
        .Add("seconds", static_cast<int64_t>(Seconds * 1000 + 0.5) / 1000);
    if (Serial) {
      Event.Add("serial", static_cast<int64_t>(*Serial));
    }
    FOut << Event.Text() << std::endl;
  }

  // One line of the log, on the disk before the next chip starts.
  void Record(const char* Outcome, uint8_t Chip, double Seconds, std::optional<uint64_t> Serial,
              uint16_t Checksum) {
    if (!FOptions.LogPath) {
      return;
    }
    char Time[32];
    std::snprintf(Time, sizeof Time, "%.1f", Seconds);
    TJsonLine Entry;
    Entry.Add("time", IsoTimeNow())
        .Add("chip_no", int64_t{FChipNo})
        .Add("port", FProgrammer.Port().Port())
        .Add("chip", ChipName(Chip))
        .Add("file", FOptions.FileName)
        .Add("file_sha256", FFileSha);
    if (Serial) {
      Entry.Add("serial", static_cast<int64_t>(*Serial));
    }
    Entry.Add("checksum", int64_t{Checksum})
        .Add("result", Outcome)
        .Add("status", FProgrammer.LastStatusText());
    AppendDurably(*FOptions.LogPath,
                  Entry.Text().substr(0, Entry.Text().size() - 1) + ",\"seconds\":" + Time + "}\n");
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

  // Waits for the socket to be seen empty and then to hold a chip of the
  // run's kind; false when the user stopped or the board is gone.
  bool AwaitNextChip() {
    if (FKind == chip89C2051) {
      // This board cannot see its chip: the user says when.
      FErr << "(the 89C2051/4051 board cannot tell: press Enter once the next chip is in)"
           << std::endl;
      while (!Stopped()) {
        if (InputLineReady(static_cast<int>(StopCheck.count()))) {
          std::string Line;
          std::getline(std::cin, Line);
          return !Stopped();
        }
      }
      return false;
    }
    FProgrammer.SetSilent(true);
    bool SeenEmpty = false;
    bool Next = false;
    while (!Next && Sleep(PollInterval)) {
      try {
        FProgrammer.Poll();
      } catch (const EComPort&) {
        // The port went with the board; the next poll scans for it.
        continue;
      }
      const uint8_t Code = FProgrammer.TargetChip();
      if (Code == chipNone) {
        // An empty socket still answers with the banner; no banner at all
        // means the board itself has gone.
        if (!FProgrammer.BannerSeen()) {
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
    FProgrammer.SetSilent(false);
    return Next;
  }

  void Skip(uint8_t Code) {
    ++FChipNo;
    ++FSummary.Skipped;
    Record("skipped", Code, 0, std::nullopt, 0);
    Result("chip " + std::to_string(FChipNo) + ": SKIPPED (" + ChipName(Code) +
               " in the socket, the run is for " + ChipName(FKind) + ")",
           1, 0, std::nullopt);
  }

  const TCliOptions& FOptions;
  TCliProgrammer& FProgrammer;
  TInterruptWatch* FWatch;
  std::ostream& FOut;
  std::ostream& FErr;
  uint8_t FKind;
  std::string FFileSha;
  int FChipNo = 0;
  TProductionSummary FSummary;
};

}  // namespace

void CheckSerialPlace(const TCliOptions& Options, const THexFile& Image) {
  if (!Options.Serial) {
    return;
  }
  const TSerialFormat& Serial = *Options.Serial;
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
  NextSerial(Options);
}

TProductionSummary RunProduction(const TCliOptions& Options, TCliProgrammer& Programmer,
                                 TInterruptWatch* Watch, std::ostream& Out, std::ostream& Err) {
  return TProductionRun(Options, Programmer, Watch, Out, Err).Run();
}

}  // namespace korvane::cli
